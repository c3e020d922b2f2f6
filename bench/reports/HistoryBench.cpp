// The History report over 100 snapshots of this machine, the records on disk (a freshly
// opened database caches nothing): finding them by their identifiers' prefix, ordering them and
// compiling the report. Usage: history_bench [runs] [--from FILE.kqx] [--keep PATH]
// --from takes this machine's exchange file as the record to repeat (its figures made measured
// figures, the earlier ones 30 % better on memory copy); --keep leaves the database at PATH.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/support/BenchTiming.h"
#include "database/ExchangeParser.h"
#include "document/DocReportSource.h"
#include "document/Document.h"
#include "reports/ReportCompiler.h"
#include "resources/Strings.h"
#include "tests/support/FakeFrame.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::Ms;

// About 250 attributes, 40 of them measured figures with their conditions.
void FillSystem(CKQTreeEntry& e) {
    e.m_key = "System";
    e.SetAttr("SysName", "MIRROR", 0, 0);
    CKQTree* sub = e.AddSubtree();
    for (int b = 0; b < 8; ++b) {
        CKQTree* children = sub->Add("Branch" + std::to_string(b))->AddSubtree();
        for (int c = 0; c < 3; ++c) {
            CKQTreeEntry* child = children->Add("Child" + std::to_string(c));
            for (int i = 0; i < 10; ++i)
                child->SetAttr("Attr" + std::to_string(i), std::to_string(b * 100 + i) + " MB/s", 0,
                               DATA_NUMERIC | DATA_HIGHLIGHT);
            if (c == 0) child->SetAttr("Module Version", "1.2", 0, 0);
        }
    }
}

// Highlighted figures of entries that hold test conditions become measured figures; times in
// nanoseconds are lower-is-better. value scales the figures named "Copy".
void MakeMeasured(CKQTreeEntry& e, double copyScale) {
    if (e.FindAttr("Module Version") >= 0) {
        const std::vector<CAttr> attrs = e.m_attrs;
        for (const CAttr& a : attrs) {
            if ((a.m_data & DATA_HIGHLIGHT) == 0 || (a.m_data & DATA_NUMERIC) == 0) continue;
            const std::string unit =
                a.m_value.substr(std::min(a.m_value.size(), a.m_value.find(' ') + 1));
            uint32_t data = a.m_data | DATA_MEASURED;
            if (unit == "ns") data |= DATA_LOWER_BETTER;
            double v = LeadingNumber(a.m_value);
            if (a.m_id.find("Copy") != std::string::npos) v *= copyScale;
            e.SetAttr(a.m_id, KQFormat("%.0f %s", v, unit.c_str()), a.m_type, data);
            e.SetAttr(a.m_id + " Spread", "2.0 %", 0, 0);
        }
    }
    if (CKQTree* sub = e.GetSubtree())
        for (CKQTreeEntry* child : *sub) MakeMeasured(*child, copyScale);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 15;
    std::string from, keep;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--from" && i + 1 < argc)
            from = argv[++i];
        else if (a == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else
            runs = std::max(1, atoi(argv[i]));
    }
    CKQTreeEntry model;
    std::string mirrorID = "MIRROR";
    if (!from.empty()) {
        std::ifstream in(from, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        const std::string text = bytes.str();
        CExchangeParser parser{std::string_view(text)};
        CExchangeRecord record;
        if (!parser.ReadHeader() || !parser.Next(record)) return 1;
        CResultsDatabase::CopyEntry(model, record.entry);
        // An exported record carries a snapshot's identifier: this machine's is before the "+".
        mirrorID = record.sysid.substr(0, record.sysid.rfind('+'));
    } else {
        FillSystem(model);
    }
    char tmpl[] = "/tmp/kqhistorybenchXXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    CAppState app;
    app.SetProgramDir(dir);
    FakeFrame frame;
    constexpr int kSnapshots = 100;
    const uint32_t latest = 1796803200;  // 2026-12-09
    {
        CQuillo95Doc doc(app, frame);
        CRecordEntry* mirror = doc.Database().AddCurrentSystemRecord(model.m_key, mirrorID);
        CResultsDatabase::CopyEntry(*mirror, model);
        doc.Database().SetRecordSysid(*mirror, mirrorID);
        mirror->SetAttr("Measured", "2026-12-09 16:00", 0, DATA_HIGHLIGHT);
        MakeMeasured(*mirror, 1.0);
        mirror->SetChanged();
        for (int s = 0; s < kSnapshots; ++s) {
            const uint32_t when = latest - uint32_t(kSnapshots - s) * 6 * 3600;
            const std::string sysid = mirrorID + "+" + KQFormat("%08x", when);
            auto* e = static_cast<CRecordEntry*>(doc.Database().NewRecord(model.m_key));
            CResultsDatabase::CopyEntry(*e, model);
            doc.Database().SetRecordSysid(*e, sysid);
            const std::time_t t = when;
            std::tm local{};
            localtime_r(&t, &local);
            char measured[32];
            std::strftime(measured, sizeof measured, "%Y-%m-%d %H:%M", &local);
            e->SetAttr("Measured", measured, 0, DATA_HIGHLIGHT);
            MakeMeasured(*e, 1.3 + 0.02 * (s % 3));
            e->SetChanged();
            doc.Database().AddImportedRecord(e, sysid);
        }
        if (!doc.OnSaveDocument(app.DatabasePath())) return 1;
    }

    CQuillo95Doc doc(app, frame);
    if (!doc.OnOpenDocument(app.DatabasePath())) return 1;
    CKQTreeEntry* top = doc.SystemTree().Add(model.m_key);
    top->SetAttr(model.GetAttrID(0), mirrorID, 0, 0);
    top->m_kqaid = KQAID_SYSTEM;
    doc.RefreshCurrentResults(false);  // as loading the analyzers does
    std::vector<double> compile, build;
    size_t check = 0, columns = 0, rows = 0;
    for (int r = 0; r < runs; ++r) {
        auto t0 = Clock::now();
        doc.BuildHistory();
        build.push_back(Ms(t0));
        const std::vector<CRepDef*> defs = doc.Definitions(RDTYPE_REPORT);
        if (defs.empty() || !IsHistoryDefinition(*defs.back())) return 1;
        std::vector<std::string> lines;
        for (const CRepItem& item : defs.back()->m_items) lines.push_back(item.m_text);

        t0 = Clock::now();
        std::vector<int32_t> keys;
        std::vector<std::string> headers;
        for (const CHistoryColumn& c : doc.HistoryColumns()) {
            keys.push_back(c.key);
            headers.push_back(c.header);
        }
        CDocReportSource source(doc);
        CReportCompiler compiler(source);
        CReportTable table;
        compiler.Compile(lines, keys, table, &headers);
        compile.push_back(Ms(t0));
        columns = keys.size();
        rows = table.m_cells.size();
        check += table.m_cells.empty() ? 0 : table.m_cells.back().back().size();
    }
    std::printf(
        "History report: %zu columns (%d snapshots and the current results), %zu rows, "
        "records on disk, %d runs\n",
        columns, kSnapshots, rows, runs);
    std::printf("listing and compiling (median)   %8.2f ms   target < 150 ms\n", Median(compile));
    std::printf("definitions and regression tips  %8.2f ms   (after a run or an open)\n",
                Median(build));
    std::printf("regression tips: %zu (check %zu)\n", doc.Regressions().size(), check);
    if (!keep.empty())
        std::filesystem::copy_file(app.DatabasePath(), keep,
                                   std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove_all(dir);
    return 0;
}
