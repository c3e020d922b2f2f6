// Import and export of exchange files with 1,000, 10,000 and 100,000 records of about 40
// attributes in three levels. Every measurement runs in a child process of its own, so that
// its peak memory is its own. The floors, measured in the same run: reading the same file
// line by line and splitting each line at its first "=" (both halves kept as strings), and
// writing the same bytes.
//   bench_exchange [sizes...]
// JSON export of the same records against the exchange-file export, interleaved in one run:
//   bench_exchange --json [records] [rounds]
// Both files are synced before they take their names, so on a disk the time follows the bytes
// (JSON writes 2.6 times as many); TMPDIR=/dev/shm leaves the writers alone to compare.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "document/Document.h"
#include "database/ExchangeFile.h"

namespace {

class NullFrame : public IFrameServices {
public:
    void SetStatusText(const std::string&) override {}
    void ShowListing(bool) override {}
    void LogLine(const std::string&) override {}
    void ShowLog() override {}
    int MessageBox(const std::string& text, const std::string&, MsgIcon, MsgButtons) override {
        std::fprintf(stderr, "box: %s\n", text.c_str());
        return IDOK;
    }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void ProcessEvents() override {}
    std::vector<std::string> OpenFileDialog(const FileDialogRequest&, unsigned& e) override {
        e = 0;
        return {};
    }
    std::optional<std::string> SaveFileDialog(const FileDialogRequest&) override { return {}; }
    bool CreateProgress(int*) override { return false; }
    void SetProgressAnalyzer(const std::string&, int32_t, const std::string&) override {}
    void SetProgress(int) override {}
    void DestroyProgress() override {}
    void Sleep(unsigned) override {}
    uint32_t Now() override { return 0x5A5A5A5A; }
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long PeakKB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// One record: 14 attributes at the top, 13 in each of two levels below, two tips.
void FillRecord(CKQTreeEntry& r, int n) {
    const std::string s = std::to_string(n);
    r.SetAttr("SysName", "BENCH-" + s, 0, 0);
    for (int i = 1; i < 14; ++i)
        r.SetAttr("Attr" + std::to_string(i), "value " + s + " of " + std::to_string(i), 0,
                  i % 3 == 0 ? 5u : 0u);
    r.AddTip(80, 1000 + n % 7, 2000);
    CKQTreeEntry* cpu = r.AddSubtree()->Add("CPU");
    for (int i = 0; i < 13; ++i)
        cpu->SetAttr("Cpu" + std::to_string(i), std::to_string(n * 13 + i) + " MHz", 0, 1);
    cpu->AddTip(50, 3000, 4000);
    CKQTreeEntry* cache = cpu->AddSubtree()->Add("Cache");
    for (int i = 0; i < 13; ++i) cache->SetAttr("Level" + std::to_string(i), "256 KB", 0, 0);
}

// One timed run of a phase; the child keeps the best of a few, since the machine is shared.
int RunOnce(const std::string& phase, int n, const std::string& dir, double& t, long& baseline);

int Child(const std::string& phase, int n, const std::string& dir) {
    const int reps = n >= 100000 ? 2 : 3;
    double best = 1e30;
    long baseline = 0;
    for (int i = 0; i < reps; ++i) {
        double t = 0;
        long base = 0;
        if (int rc = RunOnce(phase, n, dir, t, base)) return rc;
        if (t < best) best = t;
        if (i == 0) baseline = base;
    }
    std::printf("%.6f %ld %ld\n", best, baseline, PeakKB());
    return 0;
}

int RunOnce(const std::string& phase, int n, const std::string& dir, double& t, long& baseline) {
    const std::string file = dir + "/bench" + std::to_string(n) + ".kqx";
    CAppState app;
    NullFrame frame;
    baseline = PeakKB();
    if (phase == "export" || phase == "export-json") {
        CQuillo95Doc doc(app, frame);
        CRecordEntry* mirror = doc.Database().AddCurrentSystemRecord("System", "MIRROR");
        mirror->SetAttr("SysName", "MIRROR", 0, 0);
        std::vector<int32_t> keys;
        for (int i = 0; i < n; ++i) {
            CKQTreeEntry* r = doc.Database().NewRecord("System");
            FillRecord(*r, i);
            keys.push_back(doc.Database().AddImportedRecord(static_cast<CRecordEntry*>(r),
                                                            "BENCH-" + std::to_string(i)));
        }
        baseline = PeakKB();
        auto start = std::chrono::steady_clock::now();
        if (phase == "export" ? !doc.ExportRecords(keys, file)
                              : !doc.ExportJson(keys, file + ".json"))
            return 1;
        t = Seconds(start);
    } else if (phase == "export-tree") {
        // The writer alone: the cached records written where they are, without the copy
        // that exporting records makes of each.
        CQuillo95Doc doc(app, frame);
        CKQTree records(CRecordEntry::Make);
        for (int i = 0; i < n; ++i) FillRecord(*records.Add("System"), i);
        baseline = PeakKB();
        auto start = std::chrono::steady_clock::now();
        CExchangeFile out(doc.Database(), doc);
        if (!out.OpenForWrite(file + ".tree") || !out.WriteTree(&records, -1, 0) || !out.Close())
            return 1;
        t = Seconds(start);
    } else if (phase == "export-floor") {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        const std::string bytes = ss.str();
        baseline = PeakKB();
        auto start = std::chrono::steady_clock::now();
        int fd = ::open((file + ".copy").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        for (size_t done = 0; done < bytes.size();) {
            ssize_t w =
                ::write(fd, bytes.data() + done, std::min<size_t>(65536, bytes.size() - done));
            if (w <= 0) return 1;
            done += static_cast<size_t>(w);
        }
        ::close(fd);
        t = Seconds(start);
    } else if (phase == "export-floor-lines") {
        // The same lines handed one by one to a buffered stream.
        std::ifstream in(file, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) lines.push_back(l + "\n");
        baseline = PeakKB();
        auto start = std::chrono::steady_clock::now();
        FILE* f = std::fopen((file + ".lines").c_str(), "wb");
        if (!f) return 1;
        for (const std::string& l : lines) std::fwrite(l.data(), 1, l.size(), f);
        if (std::fclose(f) != 0) return 1;
        t = Seconds(start);
    } else if (phase == "import-floor") {
        auto start = std::chrono::steady_clock::now();
        std::vector<std::pair<std::string, std::string>> halves;
        int fd = ::open(file.c_str(), O_RDONLY);
        std::vector<char> block(65536);
        std::string line;
        auto take = [&](std::string& l) {
            if (!l.empty() && l.back() == '\r') l.pop_back();
            size_t eq = l.find('=');
            if (eq == std::string::npos)
                halves.emplace_back(l, std::string());
            else
                halves.emplace_back(l.substr(0, eq), l.substr(eq + 1));
        };
        for (;;) {
            ssize_t got = ::read(fd, block.data(), block.size());
            if (got <= 0) break;
            const char* p = block.data();
            const char* end = p + got;
            while (p < end) {
                const char* nl = static_cast<const char*>(std::memchr(p, '\n', end - p));
                if (!nl) {
                    line.append(p, end);
                    break;
                }
                line.append(p, nl);
                take(line);
                line.clear();
                p = nl + 1;
            }
        }
        if (!line.empty()) take(line);
        ::close(fd);
        t = Seconds(start);
        if (halves.size() < static_cast<size_t>(n) * 40) return 1;
    } else if (phase == "import") {
        CQuillo95Doc doc(app, frame);
        auto start = std::chrono::steady_clock::now();
        doc.ImportFile(file);
        t = Seconds(start);
        if (doc.Database().Cache().GetCount() != n) return 1;
    } else {
        return 2;
    }
    return 0;
}

struct Result {
    double seconds = 0;
    long baselineKB = 0, peakKB = 0;
};

bool RunChild(const std::string& self, const std::string& phase, int n, const std::string& dir,
              Result& r) {
    std::string cmd =
        "'" + self + "' --child " + phase + " " + std::to_string(n) + " '" + dir + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return false;
    int got = std::fscanf(p, "%lf %ld %ld", &r.seconds, &r.baselineKB, &r.peakKB);
    int rc = pclose(p);
    return got == 3 && rc == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::string(argv[1]) == "--child")
        return Child(argv[2], std::atoi(argv[3]), argv[4]);

    std::string tmpl = (std::filesystem::temp_directory_path() / "kqbenchXXXXXX").string();
    if (!mkdtemp(tmpl.data())) return 1;
    const std::string dir = tmpl;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

    if (argc >= 2 && std::string(argv[1]) == "--json") {
        const int n = argc >= 3 ? std::atoi(argv[2]) : 10000;
        const int rounds = argc >= 4 ? std::atoi(argv[3]) : 5;
        std::vector<double> kqx, json;
        for (int i = 0; i < rounds; ++i) {
            Result a, b;
            if (!RunChild(self, "export", n, dir, a) || !RunChild(self, "export-json", n, dir, b)) {
                std::printf("failed\n");
                return 1;
            }
            kqx.push_back(a.seconds);
            json.push_back(b.seconds);
        }
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        const std::string base = dir + "/bench" + std::to_string(n) + ".kqx";
        std::printf("%d records, %d rounds interleaved\n", n, rounds);
        std::printf("exchange file: median %.4f s, %.1f MB\n", median(kqx),
                    std::filesystem::file_size(base) / 1048576.0);
        std::printf("JSON:          median %.4f s, %.1f MB\n", median(json),
                    std::filesystem::file_size(base + ".json") / 1048576.0);
        std::printf("JSON / exchange file: %.2f\n", median(json) / median(kqx));
        std::filesystem::remove_all(dir);
        return 0;
    }

    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {1000, 10000, 100000};

    std::printf("%8s %-13s %10s %12s %10s %12s %8s\n", "records", "phase", "seconds", "records/s",
                "peak MB", "MB over base", "x floor");
    for (int n : sizes) {
        Result ex, exTree, exFloor, exLines, im, imFloor;
        bool ok =
            RunChild(self, "export", n, dir, ex) && RunChild(self, "export-tree", n, dir, exTree) &&
            RunChild(self, "export-floor", n, dir, exFloor) &&
            RunChild(self, "export-floor-lines", n, dir, exLines) &&
            RunChild(self, "import-floor", n, dir, imFloor) && RunChild(self, "import", n, dir, im);
        if (!ok) {
            std::printf("%8d failed\n", n);
            continue;
        }
        const auto fileSize =
            std::filesystem::file_size(dir + "/bench" + std::to_string(n) + ".kqx");
        auto row = [&](const char* name, const Result& r, const Result* floor) {
            std::printf("%8d %-13s %10.4f %12.0f %10.1f %12.1f", n, name, r.seconds, n / r.seconds,
                        r.peakKB / 1024.0, (r.peakKB - r.baselineKB) / 1024.0);
            if (floor) std::printf(" %8.2f", r.seconds / floor->seconds);
            std::printf("\n");
        };
        row("export", ex, &exFloor);
        row("export-tree", exTree, &exFloor);
        row("export-floor", exFloor, nullptr);
        row("export-lines", exLines, nullptr);
        std::printf("%8d export / line-by-line floor: %.2f\n", n, ex.seconds / exLines.seconds);
        row("import", im, &imFloor);
        row("import-floor", imFloor, nullptr);
        std::printf("%8d file %.1f MB; import holds %.0f bytes of peak memory per record\n", n,
                    fileSize / 1048576.0, im.peakKB * 1024.0 / n);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
