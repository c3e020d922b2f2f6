// System data tree shared by the program and every analyzer module (libkqutil.so).
// Standard C++ only: modules link this library without the rest of the program.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tree/KQUtilExport.h"

class CKQTree;
class CKQTreeEntry;

struct CAttr {
    std::string m_id;
    std::string m_value;
    uint32_t m_data = 0;  // data word: DATA_* bits (KQAnalyzer.h)
    int32_t m_type = 0;   // type word (help context of the attribute)

    CAttr() = default;
    CAttr(std::string id, std::string value, int32_t type, uint32_t data)
        : m_id(std::move(id)), m_value(std::move(value)), m_data(data), m_type(type) {}
    const std::string& GetID() const { return m_id; }
};

struct CTip {
    int32_t m_priority = 0;  // below 0: status note, never listed as a tip
    int32_t m_textID = 0;
    int32_t m_descID = 0;

    CTip() = default;
    CTip(int32_t priority, int32_t textID, int32_t descID)
        : m_priority(priority), m_textID(textID), m_descID(descID) {}
};

enum RDTYPE : int32_t { RDTYPE_NONE = 0, RDTYPE_REPORT = 1, RDTYPE_CHART = 2 };

struct CRepItem {
    uint16_t m_kqaid = 0;
    std::string m_text;
};

class KQUTIL_API CRepDef {
public:
    CRepDef() = default;
    CRepDef(std::string name, RDTYPE type) : m_name(std::move(name)), m_type(type) {}

    const std::string& GetName() const { return m_name; }
    RDTYPE GetType() const { return m_type; }
    // Named values set by modules ("Units" of a chart); empty when absent.
    std::string GetAttrValue(const std::string& key) const;
    void SetAttrValue(const std::string& key, const std::string& value);
    // Inserts before position (appends when position is at or past the end, at the head when
    // it is negative); returns the index. These two throw std::bad_alloc when memory runs out.
    int InsertReportItem(int position, uint16_t kqaid, const std::string& text);
    int AppendReportItem(uint16_t kqaid, const std::string& text);
    int GetItemCount() const { return static_cast<int>(m_items.size()); }

    std::string m_name;
    RDTYPE m_type = RDTYPE_NONE;
    std::vector<CRepItem> m_items;  // read directly by the program
    std::map<std::string, std::string> m_values;
};

// Creates the entries of a tree; a database tree makes record entries at every depth.
// Entry and tree operations report memory running out by their failure value (null, negative
// or 0) and leave the tree as it was.
using KQEntryFactory = CKQTreeEntry* (*)(const std::string& key);

// Bits of an entry's flag word: how the details tree last showed it.
enum : uint32_t { ENTRY_EXPANDED = 1, ENTRY_SELECTED = 2 };

class KQUTIL_API CKQTreeEntry {
public:
    explicit CKQTreeEntry(const std::string& key = std::string());
    virtual ~CKQTreeEntry();
    CKQTreeEntry(const CKQTreeEntry&) = delete;
    CKQTreeEntry& operator=(const CKQTreeEntry&) = delete;

    // Subtree: created with the factory of the tree that holds this entry (an entry outside
    // any tree uses SetSubtreeFactory's). An existing subtree is returned as it is; null on
    // failure.
    CKQTree* AddSubtree();
    CKQTree* AddSubtree(KQEntryFactory factory);
    void SetSubtreeFactory(KQEntryFactory factory) { m_subtreeFactory = factory; }
    void DeleteSubtree();

    // Attributes. SetAttr replaces the value of an existing identifier, else appends;
    // returns the index, negative on failure (empty identifier). Type and data word are
    // replaced too. Pointers from GetAttr stay valid until the next attribute is appended.
    int SetAttr(const std::string& id, const std::string& value, int32_t type, uint32_t data);
    // Appends without looking for the identifier: for readers of stored records, whose
    // identifiers are known to differ. Same results as SetAttr otherwise.
    int AppendAttr(std::string id, std::string value, int32_t type, uint32_t data);
    int GetAttrCount() const { return static_cast<int>(m_attrs.size()); }
    CAttr* GetAttr(int index);
    const CAttr* GetAttr(int index) const;
    std::string GetAttrID(int index) const;
    std::string GetAttrValue(int index) const;
    std::string GetAttrValue(const std::string& id) const;
    int FindAttr(const std::string& id) const;  // index or -1
    void RemoveAllAttrs() { m_attrs.clear(); }

    // Tips. A tip whose text ID is already present replaces that tip (priority and description),
    // so repeated runs never pile up duplicates; returns its 1-based position, 0 on failure.
    int AddTip(int32_t priority, int32_t textID, int32_t descID);
    int RemoveTip(int32_t textID);  // number removed
    int GetTipCount() const { return static_cast<int>(m_tips.size()); }
    CTip* GetTip(int index);
    const CTip* GetTip(int index) const;
    int32_t GetTipPriority(int index) const;
    bool GetTipResIDs(int index, int32_t& textID, int32_t& descID) const;
    void RemoveAllTips() { m_tips.clear(); }

    const std::string& GetUniqueID() const { return m_uniqueID; }
    void SetUniqueID(const std::string& id) { m_uniqueID = id; }

    // Report definitions. AddReportDef returns the index of the definition of that name and
    // type, adding it when absent; EmptyReportDef removes its items (1 when found, else 0).
    // Both make that definition the one AddReportItem appends to; EmptyReportDef of a missing
    // definition leaves none. AddReportDef answers -1 when it cannot add. Pointers from
    // GetRepDefPtr stay valid until the next definition is added to this entry.
    int AddReportDef(const std::string& name, RDTYPE type);
    int EmptyReportDef(const std::string& name, RDTYPE type);
    int AddReportItem(const std::string& text, uint16_t kqaid);  // index, -1 without a definition
    int FindReportDef(const std::string& name, RDTYPE type) const;  // index or -1
    void RemoveAllRepDefs();
    int GetRepDefCount() const { return static_cast<int>(m_repDefs.size()); }
    CRepDef* GetRepDefPtr(int index);
    const CRepDef* GetRepDefPtr(int index) const;

    const std::string& GetKey() const { return m_key; }
    CKQTree* GetSubtree() const { return m_subtree; }
    CKQTree* GetOwner() const { return m_owner; }
    CKQTreeEntry* GetParentEntry() const;  // entry whose subtree holds this one, or null
    uint16_t GetEffectiveKQAID() const;    // own KQAID, else the nearest ancestor's; 0 = none

    // Members read directly by the program and the modules.
    std::string m_key;
    std::vector<CAttr> m_attrs;
    std::vector<CTip> m_tips;
    std::vector<CRepDef> m_repDefs;
    CKQTree* m_subtree = nullptr;
    uint32_t m_flags = 0;   // ENTRY_EXPANDED, ENTRY_SELECTED (details tree)
    uint16_t m_kqaid = 0;   // 0 = inherit the parent's
    uint16_t m_bitmap = 0;  // bitmap resource ID, 0 = none
    std::string m_uniqueID;

private:
    friend class CKQTree;
    CKQTree* m_owner = nullptr;
    int m_lastRepDef = -1;  // definition last named to AddReportDef / EmptyReportDef
    KQEntryFactory m_subtreeFactory = nullptr;
};

class KQUTIL_API CKQTree {
public:
    explicit CKQTree(KQEntryFactory factory = nullptr);
    ~CKQTree();
    CKQTree(const CKQTree&) = delete;
    CKQTree& operator=(const CKQTree&) = delete;

    CKQTreeEntry* Add(const std::string& key);         // appended; null on failure
    CKQTreeEntry* InsertHead(const std::string& key);  // first in the list
    void RemoveAll();                                  // deletes all entries and subtrees
    bool Remove(CKQTreeEntry* entry);                  // deletes one entry with its subtree

    int GetCount() const { return static_cast<int>(m_entries.size()); }
    bool IsEmpty() const { return m_entries.empty(); }
    CKQTreeEntry* GetAt(int index) const;
    CKQTreeEntry* GetHead() const { return m_entries.empty() ? nullptr : m_entries.front(); }
    int IndexOf(const CKQTreeEntry* entry) const;
    CKQTreeEntry* Find(const std::string& key) const;  // first entry with that key
    KQEntryFactory GetFactory() const { return m_factory; }
    // Entries and subtrees made from now on come from factory (null: plain entries).
    void SetFactory(KQEntryFactory factory) { m_factory = factory; }
    CKQTreeEntry* GetParent() const { return m_parent; }

    std::vector<CKQTreeEntry*>::const_iterator begin() const { return m_entries.begin(); }
    std::vector<CKQTreeEntry*>::const_iterator end() const { return m_entries.end(); }

private:
    friend class CKQTreeEntry;
    CKQTreeEntry* Make(const std::string& key);
    CKQTreeEntry* Insert(size_t position, const std::string& key);
    std::vector<CKQTreeEntry*> m_entries;
    KQEntryFactory m_factory;
    CKQTreeEntry* m_parent = nullptr;
};

// Item paths: entry names and an attribute identifier joined with '~'.
KQUTIL_API std::string ReplaceSepIDs(const std::string& path, char c);
// Splits off the leading node ID (up to the first '~'); the path keeps what follows the '~'.
// Without a '~' the whole path is the ID and the path is left empty, so callers loop until
// the path is empty.
KQUTIL_API std::string GetNodeID(std::string& path);
