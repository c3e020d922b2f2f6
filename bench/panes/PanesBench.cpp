// Database pane benchmark on the offscreen platform. Each size runs in a child process of its
// own (the program starts itself again), so that its peak memory is its own.
// Usage: panes_bench [sizes...]
//        panes_bench --server ADMIN_CONNINFO [sizes...]   (a team database on that server: a
//        database of its own per size, made and dropped here; the floor is one plain libpq
//        SELECT of the same rows, decoded, with the same lookups)
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <libpq-fe.h>

#include "app/Quillo95View.h"
#include "database/RecordStream.h"
#include "document/Document.h"
#include "server/ServerRecordStore.h"
#include "server/ServerSchema.h"
#include "tests/support/FakeFrame.h"
#include "bench/support/BenchServerDatabase.h"

namespace {

using Clock = std::chrono::steady_clock;

// Processor time of this thread: tells work from waiting for a processor on a shared machine.
double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// The record shape of the database benchmark: 15 numeric highlights in three children.
void FillRecord(CKQTreeEntry& e, const std::string& sysid, int n) {
    e.m_key = "System";
    e.SetAttr("SysName", sysid, 0, 0);
    for (int i = 1; i < 10; ++i)
        e.SetAttr("Attr" + std::to_string(i), "value " + std::to_string(n * 31 + i), 0, i & 1);
    e.AddTip(80, 1001, 2001);
    e.AddTip(40, 1002, 2002);
    CKQTree* sub = e.AddSubtree();
    for (int c = 0; c < 3; ++c) {
        CKQTreeEntry* child = sub->Add("Child" + std::to_string(c));
        for (int i = 0; i < 5; ++i)
            child->SetAttr("Attr" + std::to_string(i), std::to_string(n + c * 1000 + i) + " MB/s",
                           0, 1 | 4);
        CKQTreeEntry* grand = child->AddSubtree()->Add("Grand" + std::to_string(c));
        for (int i = 0; i < 5; ++i)
            grand->SetAttr("Attr" + std::to_string(i), "detail " + std::to_string(n ^ i), 0, 0);
    }
}

class BenchHost : public IViewHost {
public:
    void RemoveCover() override {}
    void AutoRunFinished(bool) override {}
    void DefaultHelp() override {}
    void HelpIndex() override {}
    void ShowAnalyzerHelp(const std::string&, int) override {}
    void OpenPage(const std::string&) override {}
};

struct Stats {
    double median = 0, p99 = 0, longest = 0;
};

Stats Summarise(std::vector<double> v) {
    Stats s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.median = v[v.size() / 2];
    s.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    s.longest = v.back();
    return s;
}

bool WriteDatabase(int n, const std::string& path) {
    FakeFrame frame;
    CAppState app;
    CQuillo95Doc doc(app, frame);
    for (int i = 0; i < n; ++i) {
        const std::string sysid = "BOX" + std::to_string(i) + "+5a5a5a5a";
        auto* rec = static_cast<CRecordEntry*>(doc.Database().NewRecord(std::string()));
        FillRecord(*rec, sysid, i);
        doc.Database().AddImportedRecord(rec, sysid);
        rec->SetChanged();
    }
    return doc.Database().Save(path);
}

// A place is a directory (the file) or a conninfo naming a team database.
bool IsServer(const std::string& place) { return place.find('=') != std::string::npos; }

bool WriteServer(int n, const std::string& conninfo) {
    CServerRecordStore store;
    if (store.Open(conninfo) != StoreError::None) return false;
    std::string bytes;
    for (int i = 0; i < n; ++i) {
        CKQTreeEntry rec;
        const std::string sysid = "BOX" + std::to_string(i) + "+5a5a5a5a";
        FillRecord(rec, sysid, i);
        SerializeRecord(rec, bytes);
        int64_t version = 0;
        if (store.Insert(sysid, bytes, version) != StoreError::None) return false;
        if ((i + 1) % 1000 == 0 && store.Commit() != StoreError::None) return false;
    }
    return store.Commit() == StoreError::None;
}

// The server's floor: one SELECT of every row in order, each decoded, the same lookups.
double MeasureServerFloor(const std::string& conninfo, int& cells, double& cpuMs) {
    FakeFrame frame;
    CAppState app;
    CQuillo95Doc doc(app, frame);
    auto store = std::make_unique<CServerRecordStore>();
    if (store->Open(conninfo) != StoreError::None || !doc.Database().UseStore(std::move(store)))
        return -1;
    CDbColumns columns;
    doc.ChooseColumns(columns);  // as the pane chooses them for this database
    PGconn* conn = PQconnectdb(conninfo.c_str());
    if (PQstatus(conn) != CONNECTION_OK) {
        PQfinish(conn);
        return -1;
    }
    const auto t0 = Clock::now();
    const double cpu0 = CpuMs();
    PGresult* r = PQexecParams(conn, "SELECT sysid, bytes FROM records ORDER BY ord", 0, nullptr,
                               nullptr, nullptr, nullptr, 1);
    std::string value;
    for (int row = 0; row < PQntuples(r); ++row) {
        CRecordEntry temp;
        const std::string bytes(PQgetvalue(r, row, 1), static_cast<size_t>(PQgetlength(r, row, 1)));
        if (!DeserializeRecord(bytes, temp)) continue;
        for (const std::string& key : columns.m_keys) {
            value.clear();
            if (doc.EntryLookup(&temp, key, value)) ++cells;
        }
    }
    PQclear(r);
    cpuMs = CpuMs() - cpu0;
    const double ms = Ms(t0);
    PQfinish(conn);
    return ms;
}

// The floor: the same records loaded and the same column values looked up, no pane.
double MeasureFloor(const std::string& path, int& cells, double& cpuMs) {
    FakeFrame frame;
    CAppState app;
    CQuillo95Doc doc(app, frame);
    if (!doc.OnOpenDocument(path)) return -1;
    const auto t0 = Clock::now();
    const double cpu0 = CpuMs();
    CDbColumns columns;
    doc.ChooseColumns(columns);
    std::string value;
    for (const std::string& sysid : doc.Database().Directory()) {
        CRecordEntry temp;
        if (!doc.Database().LoadRecord(temp, sysid)) continue;
        for (const std::string& key : columns.m_keys) {
            value.clear();
            if (doc.EntryLookup(&temp, key, value)) ++cells;
        }
    }
    cpuMs = CpuMs() - cpu0;
    return Ms(t0);
}

int RunSize(int n, const std::string& dir) {
    int argc = 1;
    char name[] = "panes_bench";
    char* argv[] = {name, nullptr};
    QApplication qapp(argc, argv);

    const bool server = IsServer(dir);
    const std::string path = dir + "/Quillo97.kqd";
    int floorCells = 0;
    double floorCpuMs = 0;
    const double floorMs = server ? MeasureServerFloor(dir, floorCells, floorCpuMs)
                                  : MeasureFloor(path, floorCells, floorCpuMs);

    FakeFrame frame;  // the listing reaches the pane straight from the document
    CAppState app;
    const std::string empty = std::filesystem::temp_directory_path().string();
    app.SetProgramDir(server ? empty : dir);  // no modules there
    app.ApplyOption("-P");
    BenchHost host;
    CQuillo95Doc doc(app, frame);
    if (server) {
        auto store = std::make_unique<CServerRecordStore>();
        if (store->Open(dir) != StoreError::None) return 1;
        if (!doc.Database().UseStore(std::move(store))) return 1;
    } else if (!doc.OnOpenDocument(path)) {
        return 1;
    }
    QMainWindow window;
    auto* view = new CQuillo95View(doc, host, &window);
    window.setCentralWidget(view);
    window.resize(1024, 768);
    window.show();
    QApplication::processEvents();
    view->OnInitialUpdate();
    view->OnTimer(1);  // panes created: the Database pane has queued its listing

    // Showing the pane, then the idle loop until the last row is listed.
    std::vector<double> steps, events;
    steps.reserve(size_t(n) + 1);
    const auto t0 = Clock::now();
    const double cpu0 = CpuMs();
    view->OnCommand(ID_VIEW_DATABASE);
    QApplication::processEvents();
    const double showMs = Ms(t0);
    double stepCpu = 0, eventCpu = 0;
    while (!doc.Database().Requests().empty()) {
        auto s = Clock::now();
        double c = CpuMs();
        doc.IdleStep();
        steps.push_back(Ms(s));
        stepCpu += CpuMs() - c;
        s = Clock::now();
        c = CpuMs();
        QApplication::processEvents();  // what the event loop does between idle calls
        events.push_back(Ms(s));
        eventCpu += CpuMs() - c;
    }
    const double listMs = Ms(t0);
    const double listCpuMs = CpuMs() - cpu0;
    CDatabaseList* list = view->m_databasePane.List();
    const int rows = list->RowCount();

    // Sorting: a numeric column ascending, then column 0 by text and back to document order.
    auto timed = [&](int column) {
        const auto s = Clock::now();
        list->OnHeaderClick(column);
        QApplication::processEvents();
        return Ms(s);
    };
    const double numericMs = timed(std::min(3, list->ColumnCount() - 1));
    const double col0TextMs = timed(0);
    timed(0);
    const double col0OrderMs = timed(0);
    // A save step that writes to disk is timed apart from the listing.
    const auto s = Clock::now();
    doc.Database().MarkDirectoryChanged();
    doc.IdleStep();
    const double saveStepMs = Ms(s);

    double stepSum = 0, eventSum = 0;
    for (double v : steps) stepSum += v;
    for (double v : events) eventSum += v;
    const Stats st = Summarise(steps), ev = Summarise(events);
    std::printf("  rows listed       %10d  (%d columns)\n", rows, list->ColumnCount());
    std::printf("  show to last row  %10.1f ms   floor %10.1f ms   ratio %.2f (target <= 2)\n",
                listMs, floorMs, listMs / floorMs);
    std::printf("  processor time    %10.1f ms   floor %10.1f ms   ratio %.2f\n", listCpuMs,
                floorCpuMs, listCpuMs / floorCpuMs);
    std::printf("    processor time  listing steps %.1f ms, events %.1f ms\n", stepCpu, eventCpu);
    std::printf("    of which        showing %.1f ms, listing steps %.1f ms, events %.1f ms\n",
                showMs, stepSum, eventSum);
    std::printf("  listing step      median %.3f ms   p99 %.3f ms   longest %.3f ms (p99 < 5)\n",
                st.median, st.p99, st.longest);
    std::printf("  events between    median %.3f ms   p99 %.3f ms   longest %.3f ms\n", ev.median,
                ev.p99, ev.longest);
    std::printf(
        "  sort numeric      %10.1f ms   column 0 text %.1f ms   column 0 order %.1f ms"
        " (< 300)\n",
        numericMs, col0TextMs, col0OrderMs);
    std::printf("  save step         %10.1f ms (directory write, apart)\n", saveStepMs);
    std::fflush(stdout);
    return rows == n && floorCells > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // The database is written by a child of its own: building it in memory is not the pane's.
    if (argc == 4 && std::string(argv[1]) == "--write") {
        const std::string place = argv[3];
        return (IsServer(place) ? WriteServer(std::atoi(argv[2]), place)
                                : WriteDatabase(std::atoi(argv[2]), place + "/Quillo97.kqd"))
                   ? 0
                   : 1;
    }
    if (argc == 4 && std::string(argv[1]) == "--child") {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return RunSize(std::atoi(argv[2]), argv[3]);
    }
    std::string admin;
    int first = 1;
    if (argc >= 3 && std::string(argv[1]) == "--server") {
        admin = argv[2];
        first = 3;
    }
    std::vector<int> sizes;
    for (int i = first; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {1000, 10000, 100000};
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    int failures = 0;
    for (int n : sizes) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kqpanesXXXXXX").string();
        if (!mkdtemp(tmpl.data())) return 2;
        std::unique_ptr<CBenchServerDatabase> database;
        if (!admin.empty()) {
            std::filesystem::remove_all(tmpl);
            database = std::make_unique<CBenchServerDatabase>(admin, std::to_string(n));
            if (!database->Ready()) return 2;
            tmpl = database->Conninfo();
        }
        std::printf("%d records\n", n);
        std::fflush(stdout);
        auto run = [&](const char* mode, struct rusage& ru) {
            const pid_t pid = fork();
            if (pid == 0) {
                const std::string count = std::to_string(n);
                execl(self.c_str(), self.c_str(), mode, count.c_str(), tmpl.c_str(),
                      static_cast<char*>(nullptr));
                _exit(127);
            }
            int status = 0;
            wait4(pid, &status, 0, &ru);
            return status;
        };
        struct rusage ru {};
        int status = run("--write", ru);
        if (status == 0) status = run("--child", ru);
        std::printf("  peak memory       %10.1f MB (child's maxrss; target < 400 at 100k)\n",
                    ru.ru_maxrss / 1024.0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::printf("  FAILED (status %d)\n", status);
            ++failures;
        }
        std::error_code ec;
        if (admin.empty()) std::filesystem::remove_all(tmpl, ec);
    }
    return failures == 0 ? 0 : 1;
}
