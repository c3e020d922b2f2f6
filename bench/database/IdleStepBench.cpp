// Idle saving benchmark: an exchange file of N records (20,000 unless given) is imported into
// an open database, then the idle step runs until it has nothing left to do. Every step is
// timed: median, 99th percentile and longest, against single-record commits of the same size
// measured in the same run. Usage: idle_bench [records] [runs] [step budget in us]
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "document/Document.h"
#include "tests/support/FakeFrame.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

void WriteExchange(const std::string& path, int n) {
    std::ofstream out(path, std::ios::binary);
    out << "{Quillon 95 Exchange File}\r\n";
    for (int i = 0; i < n; ++i) {
        out << "[System]\r\nSysName=BOX" << i << "+5a5a5a5a\r\n";
        for (int a = 1; a < 10; ++a) out << "Attr" << a << "=value " << i * 31 + a << "\r\n";
        out << "<Tip>=80 1001 2001\r\n";
        for (int c = 0; c < 3; ++c) {
            out << ".[Child" << c << "]\r\n";
            for (int a = 0; a < 5; ++a) out << "Attr" << a << "=" << i + a << " MB/s;#0x5\r\n";
            out << "..[Grand" << c << "]\r\n";
            for (int a = 0; a < 5; ++a) out << "Attr" << a << "=detail " << (i ^ a) << "\r\n";
        }
    }
}

// One record per transaction, synchronous=FULL, plain SQLite: the floor of a single commit.
std::vector<double> SingleCommits(const std::string& path, const std::string& blob, int count) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL;"
                 "CREATE TABLE t(name TEXT PRIMARY KEY, data BLOB)",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?1, ?2)", -1, &ins, nullptr);
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        const std::string name = "R" + std::to_string(i);
        auto t0 = Clock::now();
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_bind_text(ins, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
        sqlite3_bind_blob(ins, 2, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
        sqlite3_step(ins);
        sqlite3_reset(ins);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        ms.push_back(Ms(t0));
    }
    sqlite3_finalize(ins);
    sqlite3_close(db);
    return ms;
}

bool ParseCount(const char* text, long max, int& out) {
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || n < 1 || n > max) return false;
    out = static_cast<int>(n);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int n = 20000, runs = 3, budgetUs = 0;
    if (argc > 4 || (argc > 1 && !ParseCount(argv[1], 1000000, n)) ||
        (argc > 2 && !ParseCount(argv[2], 100, runs)) ||
        (argc > 3 && !ParseCount(argv[3], 1000000, budgetUs))) {
        std::fprintf(stderr,
                     "usage: idle_bench [records 1..1000000] [runs 1..100] [step budget us]\n");
        return 2;
    }
    std::string tmpl = (std::filesystem::temp_directory_path() / "kqidleXXXXXX").string();
    if (!mkdtemp(tmpl.data())) return 2;
    const std::string dir = tmpl;
    WriteExchange(dir + "/many.kqx", n);

    std::vector<double> steps, floor;
    std::vector<int> perStep;
    double totalMs = 0;
    for (int run = 0; run < runs; ++run) {
        std::filesystem::remove(dir + "/Quillo97.kqd");
        FakeFrame frame;
        CAppState app;
        app.SetProgramDir(dir);
        CQuillo95Doc doc(app, frame);
        if (budgetUs > 0) doc.Database().SetStepBudget(budgetUs, CResultsDatabase::kStepMaxRecords);
        if (!doc.OnSaveDocument(dir + "/Quillo97.kqd")) return 1;  // a database that opens
        doc.ImportFile(dir + "/many.kqx");
        if (static_cast<int>(doc.Database().Directory().size()) != n) {
            std::fprintf(stderr, "import gave %zu records\n", doc.Database().Directory().size());
            return 1;
        }
        auto all = Clock::now();
        for (;;) {
            const size_t before = doc.Database().UnstoredCount();
            auto t0 = Clock::now();
            const bool more = doc.IdleStep();
            steps.push_back(Ms(t0));
            perStep.push_back(static_cast<int>(before - doc.Database().UnstoredCount()));
            if (!more) break;
        }
        totalMs += Ms(all);
        if (doc.Database().Cache().GetCount() != 0 || doc.IsModified()) {
            std::fprintf(stderr, "idle saving left work behind\n");
            return 1;
        }
        // The floor, in the same run: single commits of one record of the same size.
        std::string blob;
        CRecordEntry sample;
        doc.Database().LoadRecord(sample, doc.Database().Directory().back());
        SerializeRecord(sample, blob);
        std::vector<double> f =
            SingleCommits(dir + "/floor" + std::to_string(run) + ".db", blob, 300);
        floor.insert(floor.end(), f.begin(), f.end());
    }
    std::vector<double> recs(perStep.begin(), perStep.end());
    const double median = Percentile(steps, 0.5), p99 = Percentile(steps, 0.99);
    const double longest = *std::max_element(steps.begin(), steps.end());
    const double fMedian = Percentile(floor, 0.5), fP99 = Percentile(floor, 0.99);
    const double fMax = *std::max_element(floor.begin(), floor.end());
    std::printf("%d records, %d runs, %zu idle steps, %.0f ms per drain\n", n, runs, steps.size(),
                totalMs / runs);
    std::printf(
        "  idle step      median %7.2f ms   p99 %7.2f ms   longest %7.2f ms"
        "   (target p99 < 20 ms)\n",
        median, p99, longest);
    std::printf("  single commit  median %7.2f ms   p99 %7.2f ms   longest %7.2f ms   (floor)\n",
                fMedian, fP99, fMax);
    std::printf(
        "  ratio to floor median %.2f   p99 %.2f;  records per step median %.0f, max %.0f\n",
        median / fMedian, p99 / fP99, Percentile(recs, 0.5),
        *std::max_element(recs.begin(), recs.end()));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return p99 < 20.0 ? 0 : 1;
}
