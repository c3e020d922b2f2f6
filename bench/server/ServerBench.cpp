// Team database benchmark. Each part runs against a floor measured in the same run:
// - storing one machine (the unattended run's last step: a new snapshot and this machine's own
//   row updated) through the results database, against the same insert and update in one
//   transaction of plain libpq;
// - eight writer processes storing 500 records each through the results database's idle
//   steps, against eight plain libpq clients inserting the same rows in the same batches.
// Usage: server_bench ADMIN_CONNINFO [repetitions]
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "database/Database.h"
#include "database/RecordStream.h"
#include "server/ServerRecordStore.h"
#include "server/ServerSchema.h"
#include "bench/support/BenchServerDatabase.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWriters = 8;
constexpr int kPerWriter = 500;

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct QuietHost : IDatabaseHost {
    void SetModifiedFlag(bool) override {}
    bool SaveModified() override { return false; }
    bool PropertiesStep() override { return false; }
    bool RecordPropertiesUI(CRecordEntry*) override { return false; }
    void LogLine(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void SetStatusText(const std::string&) override {}
    void ListRecord(CRecordEntry*, int) override {}
    void ListingRequest(int) override {}
    uint32_t Now() override { return static_cast<uint32_t>(time(nullptr)); }
};

// A machine's record: the shape of a real analysis, about 40 attributes in three levels.
void FillMachine(CKQTreeEntry& e, const std::string& sysid, int n) {
    e.m_key = "System";
    e.SetAttr("SysName", sysid, 0, 0);
    CKQTree* sub = e.AddSubtree();
    for (int c = 0; c < 4; ++c) {
        CKQTreeEntry* child = sub->Add("Test" + std::to_string(c));
        for (int i = 0; i < 8; ++i)
            child->SetAttr("Figure" + std::to_string(i), std::to_string(n * 7 + c * 100 + i), 0,
                           1 | 4);
        child->AddTip(50, 1000 + c, 2000 + c);
    }
}

bool Exec(PGconn* conn, const char* sql, std::vector<std::string> values = {}) {
    std::vector<const char*> v;
    std::vector<int> lengths, formats;
    for (const std::string& s : values) {
        v.push_back(s.data());
        lengths.push_back(static_cast<int>(s.size()));
        formats.push_back(1);
    }
    PGresult* r = PQexecParams(conn, sql, static_cast<int>(v.size()), nullptr, v.data(),
                               lengths.data(), formats.data(), 0);
    const ExecStatusType st = PQresultStatus(r);
    const bool ok = st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
    if (!ok) std::fprintf(stderr, "%s", PQerrorMessage(conn));
    PQclear(r);
    return ok;
}

std::string Bytes(const std::string& sysid, int n) {
    CKQTreeEntry e;
    FillMachine(e, sysid, n);
    std::string bytes;
    SerializeRecord(e, bytes);
    return bytes;
}

// The unattended run's last step through the results database: a new snapshot, then this
// machine's own row updated.
std::vector<double> StoreOneMachine(const std::string& conninfo, int runs) {
    std::vector<double> times;
    QuietHost host;
    CResultsDatabase db(host);
    auto store = std::make_unique<CServerRecordStore>();
    if (store->Open(conninfo) != StoreError::None || !db.UseStore(std::move(store))) return times;
    CRecordEntry* mirror = db.AddCurrentSystemRecord("", "THISBOX");
    if (!mirror) return times;
    mirror->SetCurrent(true);
    mirror->Hold();  // the document holds the running machine's record
    FillMachine(*mirror, "THISBOX", 0);
    mirror->SetChanged();
    db.IdleStepsToEnd();
    for (int i = 1; i <= runs; ++i) {
        const auto t0 = Clock::now();
        CRecordEntry* snap = db.NewRecord("");
        const std::string sysid = "THISBOX+" + std::to_string(1000 + i);
        FillMachine(*snap, sysid, i);
        db.AddSavedRecord(snap, sysid);
        snap->SetChanged();
        CRecordEntry* own = db.CurrentSystemRecord();
        if (!own) return {};
        CResultsDatabase::ClearEntry(*own);
        FillMachine(*own, "THISBOX", i);
        own->SetChanged();
        db.IdleStepsToEnd();
        times.push_back(Ms(t0));
    }
    return times;
}

std::vector<double> StoreOneMachineFloor(const std::string& conninfo, int runs) {
    std::vector<double> times;
    PGconn* conn = PQconnectdb(conninfo.c_str());
    Exec(conn, "INSERT INTO records (sysid, bytes) VALUES ($1, $2)", {"FLOORBOX", Bytes("F", 0)});
    for (int i = 1; i <= runs; ++i) {
        const auto t0 = Clock::now();
        Exec(conn, "BEGIN");
        Exec(conn, "INSERT INTO records (sysid, bytes) VALUES ($1, $2)",
             {"FLOORBOX+" + std::to_string(1000 + i), Bytes("F", i)});
        Exec(conn, "UPDATE records SET bytes = $2 WHERE folded = $1", {"floorbox", Bytes("F", i)});
        Exec(conn, "COMMIT");
        times.push_back(Ms(t0));
    }
    PQfinish(conn);
    return times;
}

// One writer: kPerWriter records through the database's idle steps, or plain inserts in
// batches of the same size. Exits 0 when every record went in.
int Writer(const std::string& conninfo, int w, bool plain, int batch) {
    if (plain) {
        PGconn* conn = PQconnectdb(conninfo.c_str());
        bool ok = PQstatus(conn) == CONNECTION_OK;
        for (int i = 0; ok && i < kPerWriter; i += batch) {
            ok = Exec(conn, "BEGIN");
            for (int j = i; ok && j < std::min(kPerWriter, i + batch); ++j) {
                const std::string sysid = "P" + std::to_string(w) + "-" + std::to_string(j);
                ok = Exec(conn, "INSERT INTO records (sysid, bytes) VALUES ($1, $2)",
                          {sysid, Bytes(sysid, j)});
            }
            ok = ok && Exec(conn, "COMMIT");
        }
        PQfinish(conn);
        return ok ? 0 : 1;
    }
    QuietHost host;
    CResultsDatabase db(host);
    auto store = std::make_unique<CServerRecordStore>();
    if (store->Open(conninfo) != StoreError::None || !db.UseStore(std::move(store))) return 1;
    for (int j = 0; j < kPerWriter; ++j) {
        const std::string sysid = "D" + std::to_string(w) + "-" + std::to_string(j);
        CRecordEntry* rec = db.NewRecord("");
        FillMachine(*rec, sysid, j);
        db.AddImportedRecord(rec, sysid);
        rec->SetChanged();
    }
    db.SetStepBudget(1000 * 1000 * 1000, batch);
    db.IdleStepsToEnd();
    return db.UnstoredCount() == 0 ? 0 : 1;
}

// Records per second of kWriters processes at once.
double Writers(const std::string& self, const std::string& conninfo, bool plain, int batch) {
    const auto t0 = Clock::now();
    std::vector<pid_t> pids;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        if (pid == 0) _exit(Writer(conninfo, w, plain, batch));
        pids.push_back(pid);
    }
    int failed = 0;
    for (pid_t pid : pids) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
    }
    const double ms = Ms(t0);
    if (failed) std::printf("  %d writers FAILED\n", failed);
    (void)self;
    return kWriters * kPerWriter / (ms / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: server_bench ADMIN_CONNINFO [repetitions]\n");
        return 2;
    }
    const std::string admin = argv[1];
    const int reps = argc > 2 ? std::atoi(argv[2]) : 3;
    CBenchServerDatabase database(admin, "server");
    const std::string conninfo = database.Conninfo();
    const int rc = database.Ready() ? 0 : 2;
    const int batch = CResultsDatabase::kStepMaxRecords / 10;  // 100 records per idle step
    for (int r = 0; rc == 0 && r < reps; ++r) {
        std::printf("run %d\n", r + 1);
        PGconn* conn = PQconnectdb(conninfo.c_str());
        Exec(conn, "DELETE FROM records");
        PQfinish(conn);
        const double floorMs = Median(StoreOneMachineFloor(conninfo, 50));
        const double storeMs = Median(StoreOneMachine(conninfo, 50));
        std::printf(
            "  store one machine  median %7.2f ms   floor %6.2f ms   ratio %.2f (target < 20 ms)\n",
            storeMs, floorMs, storeMs / floorMs);
        const double plain = Writers(argv[0], conninfo, true, batch);
        const double ours = Writers(argv[0], conninfo, false, batch);
        std::printf(
            "  %d writers x %d    %7.0f records/s   floor %6.0f records/s   ratio %.2f"
            " (target floor/ours <= 2)\n",
            kWriters, kPerWriter, ours, plain, plain / ours);
        std::fflush(stdout);
    }
    return rc;
}
