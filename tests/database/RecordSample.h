// Sample record trees and a field-by-field comparison for the database tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tree/KQTree.h"

// A record of three levels: top entry, two children (sharing a key), a grandchild; attributes
// with data and type words, tips of every kind of priority.
inline void FillSample(CKQTreeEntry& e, const std::string& sysid, int salt = 0) {
    e.m_key = "Top" + std::to_string(salt);
    e.SetAttr("SysName", sysid, 0, 0);
    e.SetAttr("Speed", std::to_string(100 + salt), 5, 1 | 4);
    e.SetAttr("Empty", "", 0, 0);
    e.SetAttr("Long", std::string(300, 'x'), 0, 0x80000000u);
    e.AddTip(80, 1001, 2001);
    e.AddTip(0, 1002, 2002);
    e.AddTip(-1, 1003, 2003);
    CKQTree* sub = e.AddSubtree();
    for (int i = 0; i < 2; ++i) {
        CKQTreeEntry* c = sub->Add("Disk");
        c->SetAttr("Size", std::to_string(i * 10 + salt), 0, 1);
        c->AddTip(55, 3000 + i, 4000 + i);
        CKQTreeEntry* g = c->AddSubtree()->Add("Part" + std::to_string(i));
        g->SetAttr("Fs", "ext4 \xc3\xa9", 0, 8);
    }
    sub->Add("NoSubtree");
    sub->Add("EmptySubtree")->AddSubtree();
}

// Everything a record stream keeps; type words are not stored and come back 0.
// A copy from the cache keeps them (stored = false).
inline void ExpectSameRecord(const CKQTreeEntry& a, const CKQTreeEntry& b,
                             const std::string& where = "top", bool stored = true) {
    SCOPED_TRACE(where);
    EXPECT_EQ(a.m_key, b.m_key);
    ASSERT_EQ(a.GetAttrCount(), b.GetAttrCount());
    for (int i = 0; i < a.GetAttrCount(); ++i) {
        EXPECT_EQ(a.GetAttr(i)->m_id, b.GetAttr(i)->m_id);
        EXPECT_EQ(a.GetAttr(i)->m_value, b.GetAttr(i)->m_value);
        EXPECT_EQ(a.GetAttr(i)->m_data, b.GetAttr(i)->m_data);
        EXPECT_EQ(b.GetAttr(i)->m_type, stored ? 0 : a.GetAttr(i)->m_type);
    }
    ASSERT_EQ(a.GetTipCount(), b.GetTipCount());
    for (int i = 0; i < a.GetTipCount(); ++i) {
        EXPECT_EQ(a.GetTip(i)->m_priority, b.GetTip(i)->m_priority);
        EXPECT_EQ(a.GetTip(i)->m_textID, b.GetTip(i)->m_textID);
        EXPECT_EQ(a.GetTip(i)->m_descID, b.GetTip(i)->m_descID);
    }
    const int na = a.GetSubtree() ? a.GetSubtree()->GetCount() : 0;
    const int nb = b.GetSubtree() ? b.GetSubtree()->GetCount() : 0;
    ASSERT_EQ(na, nb);
    for (int i = 0; i < na; ++i)
        ExpectSameRecord(*a.GetSubtree()->GetAt(i), *b.GetSubtree()->GetAt(i),
                         where + "/" + a.GetSubtree()->GetAt(i)->m_key, stored);
}
