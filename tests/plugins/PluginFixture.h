// The shipped modules loaded by the real host: a scratch program directory holding copies of
// the modules, a fixture machine as the modules' root directory, and a small benchmark scale.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/Document.h"
#include "tests/support/FakeFrame.h"
#include "tests/support/FakeLister.h"
#include "tests/support/FakeView.h"
#include "tests/support/ScratchDir.h"

namespace plugintest {

namespace fs = std::filesystem;

inline void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = scratch.Path();
        ASSERT_FALSE(dir.empty());
        fs::create_directories(dir / "bin");
        fs::create_directories(dir / "home");
        setenv("HOME", (dir / "home").c_str(), 1);
        setenv("QUILLON_BENCH_SCALE", "0.01", 1);
        unsetenv("XDG_CURRENT_DESKTOP");
        unsetenv("DESKTOP_SESSION");
        unsetenv("QUILLON_SYSROOT");
        app.SetProgramDir((dir / "bin").string());
        app.ApplyOption("-P");
        NewDocument();
    }
    void TearDown() override {
        view.doc = nullptr;
        doc.reset();
        unsetenv("QUILLON_SYSROOT");
        unsetenv("QUILLON_BENCH_SCALE");
    }

    void NewDocument() {
        view.doc = nullptr;
        doc.reset();
        doc = std::make_unique<CQuillo95Doc>(app, frame);
        view.doc = doc.get();
        doc->SetView(&view);
    }

    // A fixture machine as the modules' root. It is read in place; the first change makes a
    // private copy (fixtures are many small files, and most tests only read them).
    void UseMachine(const std::string& machine) {
        m_machine = machine;
        setenv("QUILLON_SYSROOT", (fs::path(KQA_FIXTURES) / machine).c_str(), 1);
    }
    fs::path Root() const {
        return fs::path(getenv("QUILLON_SYSROOT") ? getenv("QUILLON_SYSROOT") : "/");
    }
    fs::path PrivateRoot() {
        const fs::path root = dir / ("root-" + m_machine);
        if (!fs::exists(root))
            fs::copy(fs::path(KQA_FIXTURES) / m_machine, root, fs::copy_options::recursive);
        setenv("QUILLON_SYSROOT", root.c_str(), 1);
        return root;
    }
    void Write(const std::string& abs, const std::string& text) {
        WriteFile(PrivateRoot() / abs.substr(1), text);
    }
    void Remove(const std::string& abs) { fs::remove_all(PrivateRoot() / abs.substr(1)); }
    // A directory where a file is expected: reading it fails.
    void MakeUnreadable(const std::string& abs) {
        Remove(abs);
        fs::create_directories(PrivateRoot() / abs.substr(1));
    }

    // Copies the named shipped modules into the program directory and loads them in that order.
    void Load(const std::vector<std::string>& modules) {
        std::vector<std::string> files;
        for (const auto& m : modules) {
            const fs::path target = dir / "bin" / (m + ".kqa");
            if (!fs::exists(target))
                fs::copy_file(fs::path(QUILLON_BIN_DIR) / (m + ".kqa"), target);
            files.push_back(m + ".kqa");
        }
        FakeLister lister(files);
        doc->LoadAnalyzers(lister);
    }
    void LoadAll() { Load({"System", "CPU", "Memory"}); }

    CKQTreeEntry* Branch(KQAID id) {
        CAnalyzer* a = doc->Analyzers().FindByID(id);
        return a == nullptr ? nullptr : a->m_branch;
    }
    static CKQTreeEntry* Sub(CKQTreeEntry* e, const std::string& key) {
        return e == nullptr || e->GetSubtree() == nullptr ? nullptr : e->GetSubtree()->Find(key);
    }
    std::string Value(KQAID id, const std::string& entry, const std::string& attr) {
        CKQTreeEntry* e = entry.empty() ? Branch(id) : Sub(Branch(id), entry);
        return e == nullptr ? std::string("<no entry>") : e->GetAttrValue(attr);
    }
    bool Has(KQAID id, const std::string& entry, const std::string& attr) {
        CKQTreeEntry* e = entry.empty() ? Branch(id) : Sub(Branch(id), entry);
        return e != nullptr && e->FindAttr(attr) >= 0;
    }
    // Tips with that text ID anywhere in the branch.
    std::vector<CTip> Tips(KQAID id, int32_t textID) {
        std::vector<CTip> out;
        std::function<void(CKQTreeEntry*)> walk = [&](CKQTreeEntry* e) {
            if (!e) return;
            for (const CTip& t : e->m_tips)
                if (t.m_textID == textID) out.push_back(t);
            if (e->GetSubtree())
                for (CKQTreeEntry* c : *e->GetSubtree())
                    if (c->m_kqaid == 0) walk(c);
        };
        walk(Branch(id));
        return out;
    }
    bool Raised(KQAID id, int32_t textID) { return !Tips(id, textID).empty(); }

    // Every entry of the tree with the analyzer it belongs to.
    void ForEachEntry(const std::function<void(CKQTreeEntry*, KQAID)>& f) {
        std::function<void(CKQTreeEntry*, KQAID)> walk = [&](CKQTreeEntry* e, KQAID id) {
            if (e->m_kqaid != 0) id = e->m_kqaid;
            f(e, id);
            if (e->GetSubtree())
                for (CKQTreeEntry* c : *e->GetSubtree()) walk(c, id);
        };
        for (CKQTreeEntry* e : doc->SystemTree()) walk(e, 0);
    }

    std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string m_machine;
    CScratchDir scratch{"kqplug"};
    fs::path dir;
    CAppState app;
    FakeFrame frame;
    FakeView view;
    std::unique_ptr<CQuillo95Doc> doc;
};

}  // namespace plugintest
