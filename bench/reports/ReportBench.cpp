// Compiling a report of 200 items with 12 stored systems selected, the records on disk
// (a freshly opened database caches nothing). Against two references measured in the same
// run: reading the 12 records once (the floor) and looking every cell up on its own (each
// lookup loads its record again). Usage: report_bench [runs] [--server ADMIN_CONNINFO] (the
// records in a team database of their own on that server instead of the file).
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/BenchTiming.h"
#include "document/DocReportSource.h"
#include "document/Document.h"
#include "reports/ReportCompiler.h"
#include "tests/support/FakeFrame.h"
#include "bench/support/BenchServerDatabase.h"
#include "server/ServerRecordStore.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::Ms;

// About 250 attributes: 10 on the top entry, 8 branches with 3 children of 10 each.
void FillSystem(CKQTreeEntry& e, const std::string& sysid, int n) {
    e.m_key = "System";
    e.SetAttr("SysName", sysid, 0, 0);
    for (int i = 1; i < 10; ++i) e.SetAttr("Top" + std::to_string(i), std::to_string(n + i), 0, 1);
    CKQTree* sub = e.AddSubtree();
    for (int b = 0; b < 8; ++b) {
        CKQTreeEntry* branch = sub->Add("Branch" + std::to_string(b));
        CKQTree* children = branch->AddSubtree();
        for (int c = 0; c < 3; ++c) {
            CKQTreeEntry* child = children->Add("Child" + std::to_string(c));
            for (int i = 0; i < 10; ++i)
                child->SetAttr("Attr" + std::to_string(i),
                               std::to_string(n * 7 + b * 100 + c * 10 + i) + " MB/s", 0, 1);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    std::unique_ptr<CBenchServerDatabase> server;
    if (argc > 3 && std::string(argv[2]) == "--server") {
        server = std::make_unique<CBenchServerDatabase>(argv[3], "report");
        if (!server->Ready()) return 1;
    }
    // The database on the server, when there is one: a fresh connection caches nothing.
    auto useServer = [&server](CQuillo95Doc& doc) {
        auto store = std::make_unique<CServerRecordStore>();
        return store->Open(server->Conninfo()) == StoreError::None &&
               doc.Database().UseStore(std::move(store));
    };
    char tmpl[] = "/tmp/kqreportbenchXXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;

    CAppState app;
    app.SetProgramDir(dir);
    FakeFrame frame;
    {
        CQuillo95Doc doc(app, frame);
        if (server && !useServer(doc)) return 1;
        CRecordEntry* mirror = doc.Database().AddCurrentSystemRecord("System", "MIRROR");
        FillSystem(*mirror, "MIRROR", 0);
        mirror->SetChanged();
        for (int s = 0; s < 12; ++s) {
            const std::string sysid = "SYS-" + std::to_string(s);
            auto* e = static_cast<CRecordEntry*>(doc.Database().NewRecord("System"));
            FillSystem(*e, sysid, s + 1);
            e->SetChanged();
            doc.Database().AddImportedRecord(e, sysid);
        }
        if (server)
            doc.Database().IdleStepsToEnd();
        else if (!doc.OnSaveDocument(app.DatabasePath()))
            return 1;
    }

    CQuillo95Doc doc(app, frame);
    if (server ? !useServer(doc) : !doc.OnOpenDocument(app.DatabasePath())) return 1;
    FillSystem(*doc.SystemTree().Add("System"), "MIRROR", 0);
    std::vector<int32_t> selection;
    for (int s = 0; s < 12; ++s) selection.push_back(doc.KeyForSysid("SYS-" + std::to_string(s)));

    // 200 items: the name, headings, and paths spread over the whole tree.
    std::vector<std::string> lines = {"SysName"};
    for (int i = 0; lines.size() < 201; ++i) {
        if (i % 25 == 0) {
            lines.push_back("~ Group " + std::to_string(i / 25));
            continue;
        }
        lines.push_back("Branch" + std::to_string(i % 8) + "~Child" + std::to_string(i % 3) +
                        "~Attr" + std::to_string(i % 10));
    }

    std::vector<double> compile, floor, perCell;
    size_t check = 0;
    for (int r = 0; r < runs; ++r) {
        auto t0 = Clock::now();
        CDocReportSource source(doc);
        CReportCompiler compiler(source);
        CReportTable table;
        compiler.Compile(lines, selection, table);
        compile.push_back(Ms(t0));
        check += table.m_cells.back().back().size();

        t0 = Clock::now();
        for (int32_t key : selection) {
            CRecordEntry record;
            doc.LoadSystemTree(doc.ResolveRecordKey(key), record);
            check += record.GetAttrCount();
        }
        floor.push_back(Ms(t0));

        if (r < 3) {  // slow: a few runs are enough
            t0 = Clock::now();
            std::string value;
            for (int32_t key : selection)
                for (size_t l = 1; l < lines.size(); ++l)
                    check += doc.LookupValue(key, lines[l], value);
            perCell.push_back(Ms(t0));
        }
    }
    std::printf("report of %zu items, %zu systems selected, records %s, %d runs\n",
                lines.size() - 1, selection.size(), server ? "on the server" : "on disk", runs);
    const double c = Median(compile), f = Median(floor), p = Median(perCell);
    std::printf("compile (median)                 %8.2f ms   target < 150 ms\n", c);
    std::printf("floor: read 12 records once      %8.2f ms   compile/floor %.2f\n", f, c / f);
    std::printf("reference: each cell on its own  %8.2f ms   per-cell/compile %.1f\n", p, p / c);
    std::printf("(check %zu)\n", check);
    std::filesystem::remove_all(dir);
    return 0;
}
