// A document with a scratch program directory, the recording frame and a small view that
// hands the analyzers' messages to the document, as the main view does.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "document/Document.h"
#include "tests/support/EventRecorder.h"
#include "tests/support/FakeFrame.h"
#include "tests/support/FakeLister.h"
#include "tests/support/FakeView.h"
#include "tests/support/ScratchDir.h"

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = scratch.Path();
        ASSERT_FALSE(dir.empty());
        app.SetProgramDir(dir);
        app.ApplyOption("-P");
        doc = std::make_unique<CQuillo95Doc>(app, frame);
        view.doc = doc.get();
        doc->SetView(&view);
        doc->Subscribe(&events);
    }
    void TearDown() override {
        view.doc = nullptr;
        doc.reset();
    }

    // Copies the named test modules into the program directory and loads them in that order.
    void Load(const std::vector<std::string>& modules) {
        std::vector<std::string> files;
        for (const std::string& m : modules) {
            files.push_back(m + ".kqa");
            // Never over a copy that may be mapped still (or a file the test made itself).
            if (std::filesystem::exists(dir + "/" + m + ".kqa")) continue;
            std::filesystem::copy_file(std::string(QUILLON_TESTMODULE_DIR) + "/" + m + ".kqa",
                                       dir + "/" + m + ".kqa", std::filesystem::copy_options::none);
        }
        FakeLister lister(files);
        doc->LoadAnalyzers(lister);
    }

    CKQTreeEntry* Branch(KQAID id) {
        CAnalyzer* a = doc->Analyzers().FindByID(id);
        return a == nullptr ? nullptr : a->m_branch;
    }
    // Entries at the tree's root other than the host's own (history) entry beside the top.
    int AnalyzerRoots() const {
        int n = 0;
        for (const CKQTreeEntry* e : doc->SystemTree()) n += e->m_kqaid != KQAID_HOST;
        return n;
    }
    static int Count(const CKQTreeEntry* e, const char* counter) {
        return e == nullptr ? 0 : std::atoi(e->GetAttrValue(counter).c_str());
    }
    static CKQTreeEntry* Child(CKQTreeEntry* e, const std::string& key) {
        return e == nullptr || e->GetSubtree() == nullptr ? nullptr : e->GetSubtree()->Find(key);
    }
    static bool HasTip(const CKQTreeEntry* e, int32_t priority, int32_t textID, int32_t descID) {
        for (int i = 0; e != nullptr && i < e->GetTipCount(); ++i) {
            const CTip* t = e->GetTip(i);
            if (t->m_priority == priority && t->m_textID == textID && t->m_descID == descID)
                return true;
        }
        return false;
    }
    static int TipsWithText(const CKQTreeEntry* e, int32_t textID) {
        int n = 0;
        for (int i = 0; e != nullptr && i < e->GetTipCount(); ++i)
            if (e->GetTip(i)->m_textID == textID) ++n;
        return n;
    }
    // Cancel is pressed when an analyzer reports this position.
    void PressCancelAt(int position) {
        frame.onSetProgress = [this, position](int p) {
            if (p == position && frame.progressCancel != nullptr) *frame.progressCancel = 1;
        };
    }

    CScratchDir scratch{"kqhost"};
    std::string dir;
    CAppState app;
    FakeFrame frame;
    EventRecorder events;  // the document's changes
    FakeView view;
    std::unique_ptr<CQuillo95Doc> doc;
};
