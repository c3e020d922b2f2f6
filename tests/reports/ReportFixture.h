// A document with hand-made analyzers and branches, as loading would leave them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "document/AppState.h"
#include "document/Document.h"
#include "tests/support/FakeFrame.h"

class ReportFixture : public ::testing::Test {
protected:
    void SetUp() override {
        app.SetProgramDir(::testing::TempDir());
        doc = std::make_unique<CQuillo95Doc>(app, frame);
    }
    void TearDown() override { doc.reset(); }

    // An analyzer record without a module; its branch is an entry of the system tree.
    CAnalyzer* AddAnalyzer(KQAID id, const std::string& name, CKQTreeEntry* branch,
                           const std::string& extra = std::string()) {
        auto* a = new CAnalyzer;
        a->m_info.m_id = id;
        a->m_info.m_name = name;
        a->m_info.m_extra = extra;
        a->m_branch = branch;
        if (branch) branch->m_kqaid = id;
        doc->Analyzers().Insert(a);
        return a;
    }

    // The top entry as branch building makes it: "Highlights" and "All Details" first.
    CKQTreeEntry* AddTop(const std::string& key) {
        CKQTreeEntry* top = doc->SystemTree().Add(key);
        top->AddReportDef("Highlights", RDTYPE_REPORT);
        top->AddReportDef("All Details", RDTYPE_REPORT);
        top->m_flags |= 2;
        return top;
    }

    using Items = std::vector<std::pair<std::string, int>>;
    static Items ItemsOf(const CRepDef* def) {
        Items items;
        if (def)
            for (const CRepItem& i : def->m_items) items.emplace_back(i.m_text, i.m_kqaid);
        return items;
    }
    const CRepDef* TopDef(const std::string& name) const {
        CKQTreeEntry* top = doc->SystemTree().GetHead();
        return top ? top->GetRepDefPtr(top->FindReportDef(name, RDTYPE_REPORT)) : nullptr;
    }

    FakeFrame frame;
    CAppState app;
    std::unique_ptr<CQuillo95Doc> doc;
};
