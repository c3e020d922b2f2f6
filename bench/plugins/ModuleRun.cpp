// Loads one analyzer module through the program's own host code, fills its branch, runs its
// tests a number of times and prints every attribute and tip, one per line, for compare.sh:
//   time <run> <seconds>
//   attr <run> <item path>\t<value>
//   tip <priority>\t<text>
//   log <text>
// Usage: kqa_modulerun <module.kqa> [runs] [--no-gui]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "analyzers/Analyzer.h"

#ifdef KQA_BENCH_WITH_QT
#include <QGuiApplication>
#include <memory>
#endif

namespace {

class CPrintView : public CWnd {
public:
    intptr_t SendMessage(uint32_t message, uintptr_t, intptr_t lParam) override {
        if (message == UM_ANALYZERLOG)
            std::printf("log %s\n", reinterpret_cast<const char*>(lParam));
        if (message == UM_ANALYZERPROGRESS) ++progress;
        return message == UM_ANALYZERREQUEST ? 0 : 1;
    }
    long progress = 0;
};

void PrintAttrs(const CKQTreeEntry* e, const std::string& path, int run) {
    for (const CAttr& a : e->m_attrs)
        std::printf("attr %d %s\t%s\n", run, (path.empty() ? a.m_id : path + "~" + a.m_id).c_str(),
                    a.m_value.c_str());
    if (e->GetSubtree())
        for (const CKQTreeEntry* c : *e->GetSubtree())
            PrintAttrs(c, path.empty() ? c->GetKey() : path + "~" + c->GetKey(), run);
}

void PrintTips(CAnalyzer& a, const CKQTreeEntry* e) {
    for (const CTip& t : e->m_tips) {
        CTip copy = t;
        CString text;
        a.GetTipText(&copy, text);
        std::printf("tip %d\t%s\n", t.m_priority, text.c_str());
    }
    if (e->GetSubtree())
        for (const CKQTreeEntry* c : *e->GetSubtree()) PrintTips(a, c);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <module.kqa> [runs] [--no-gui]\n", argv[0]);
        return 2;
    }
    int runs = argc > 2 && argv[2][0] != '-' ? std::atoi(argv[2]) : 1;
    bool gui = true;
    for (int i = 2; i < argc; ++i)
        if (std::strcmp(argv[i], "--no-gui") == 0) gui = false;
#ifdef KQA_BENCH_WITH_QT
    std::unique_ptr<QGuiApplication> app;
    if (gui) {
        if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
            !std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
#else
    (void)gui;
#endif
    CPrintView view;
    CAnalyzer a;
    if (!a.Load(argv[1], &view)) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    CKQTree tree;
    CKQTreeEntry* branch = tree.Add(a.GetName());
    branch->m_kqaid = a.GetID();
    a.GetSystemInfo(branch);
    for (int run = 1; run <= runs; ++run) {
        int cancel = 0;
        auto t0 = std::chrono::steady_clock::now();
        a.RunTests(cancel);
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("time %d %.3f\n", run, s);
        PrintAttrs(branch, "", run);
        std::fflush(stdout);
    }
    if (runs == 0) PrintAttrs(branch, "", 0);
    a.GenTips();
    PrintTips(a, branch);
    std::printf("progress %ld\n", view.progress);
    return 0;
}
