// The exchange file reader on arbitrary bytes. A record stored before the import must come
// through unchanged, and every record the import adds must be the one its directory entry
// and identifier name.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "database/Database.h"
#include "database/ExchangeFile.h"
#include "tests/support/FakeHosts.h"

namespace {

int InputFile() {
    static int fd = memfd_create("fuzz.kqx", 0);
    return fd;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fd = InputFile();
    if (fd < 0) return 0;
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    FakeDatabaseHost dbHost;
    FakeExchangeHost host;
    CResultsDatabase db(dbHost);
    CKQTreeEntry* kept = db.NewRecord("Kept");
    kept->SetAttr("SysName", "KEPT", 0, 0);
    kept->SetAttr("Value", "original", 0, 5);
    kept->AddSubtree()->Add("Child")->AddTip(80, 1, 2);
    db.AddImportedRecord(static_cast<CRecordEntry*>(kept), "KEPT");
    std::string before;
    SerializeRecord(*kept, before);

    {
        CExchangeFile file(db, host);
        file.m_fileList = {path};
        file.ImportAll(&db.ImportTree());
    }

    std::string after;
    SerializeRecord(*kept, after);
    Check(before == after, "stored record changed");
    Check(static_cast<size_t>(db.Cache().GetCount()) == db.Directory().size(),
          "cache and directory disagree");
    for (size_t i = 0; i < db.Directory().size(); ++i) {
        const std::string& sysid = db.Directory()[i];
        Check(CResultsDatabase::IsStorableSysid(sysid), "unstorable identifier added");
        CKQTreeEntry* e = db.Cache().GetAt(static_cast<int>(i));
        Check(CResultsDatabase::GetRecordSysid(*e) == sysid, "record renamed");
        std::string stream;
        Check(SerializeRecord(*e, stream), "record cannot be written");
        CRecordEntry back;
        Check(DeserializeRecord(stream, back), "record cannot be read back");
    }
    return 0;
}
