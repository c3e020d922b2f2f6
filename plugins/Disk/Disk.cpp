// Disk analyzer (40): block devices, file systems, and the disk speed tests.
#include "DiskBranch.h"
#include "DiskTexts.h"

using namespace kqa;

namespace {
CWnd* g_view = nullptr;

KQARC RunDiskTests(CKQTreeEntry* branch, int& cancel) {
    if (!branch) return KQARC_FAIL;
    CProgress progress(g_view, disk::kID, cancel);
    const std::string dir = DiskTestDirectory();
    progress.Log(Format("Disk test in %s", HomeTilde(dir).c_str()));
    CConditionsProbe probe(disk::kModule.version);
    CDiskBench bench(dir, progress, &probe);
    DiskBenchResult r = bench.Run(BenchScale());
    const bool cancelled = progress.Cancelled();
    StoreDiskResult(branch, r, dir, cancelled);
    StoreConditions(Child(branch, disk::kConditions), probe.Finish());
    if (!r.error.empty())
        progress.Log("Disk test not run: " + r.error);
    else if (cancelled)
        progress.Log("Disk test cancelled");
    else {
        progress.Log(Format(
            "Sequential write %.0f MB/s, sequential read %.0f MB/s, random 4 KiB read %.0f IOPS "
            "(%.0f MiB file%s, %s); %d segments written, %d read, %d random batches, %d progress "
            "messages, %.1f s",
            r.writeMBs.value_or(0), r.readMBs.value_or(0), r.randomIOPS.value_or(0),
            r.fileBytes / 1048576.0, r.shrunk ? ", shrunk to the free space" : "",
            r.directIO ? "direct I/O" : "through the page cache", r.segmentsWritten, r.segmentsRead,
            r.randomBatches, r.units, r.seconds));
        if (!r.directIO) progress.Log("Direct I/O refused: " + r.directNote);
        if (r.shrunk) progress.Log("The test file was shrunk to fit the free space");
    }
    return cancelled ? KQARC_CANCELLED : r.error.empty() ? KQARC_OK : KQARC_FAIL;
}
}  // namespace

KQARC kqaInitialize(CWnd* view, CAnalyzerInfo& info) {
    g_view = view;
    Describe(info, disk::kModule);
    return KQARC_OK;
}

KQARC kqaGetSystemInfo(CKQTreeEntry* branch) {
    if (!branch) return KQARC_FAIL;
    CDiskInventory inv;
    inv.Read();
    FillDiskBranch(branch, inv, DiskTestDirectory());
    Log(g_view, disk::kID,
        Format("%zu block devices, %zu file systems", inv.Devices().size(),
               inv.FileSystems().size()));
    return KQARC_OK;
}

KQARC kqaRunTests(CKQTreeEntry* branch, int& cancel) { return RunDiskTests(branch, cancel); }

KQARC kqaRunATest(CKQTreeEntry* branch, CKQTreeEntry* item, int& cancel) {
    // The disk test is one test: it runs for the branch or its test entry.
    if (!branch || !item) return KQARC_FAIL;
    if (item != branch && item->GetKey() != disk::kTests && item->GetKey() != disk::kConditions)
        return KQARC_FAIL;
    return RunDiskTests(branch, cancel);
}

KQARC kqaGenTips(CKQTreeEntry* branch) {
    if (!branch) return KQARC_FAIL;
    GenerateDiskTips(branch);
    return KQARC_OK;
}

KQARC kqaGetTipText(CTip* tip, CString& text) { return disk::Texts().TipText(tip, text); }
KQARC kqaGetTipDesc(CTip* tip, CString& text) { return disk::Texts().TipDesc(tip, text); }
KQARC kqaGetAttrDesc(CAttr* attr, CString& text) { return disk::Texts().AttrDesc(attr, text); }
