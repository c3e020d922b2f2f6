#include "tree/KQTree.h"

#include <algorithm>
#include <new>
#include <utility>

// ---------------------------------------------------------------------------
// CRepDef

std::string CRepDef::GetAttrValue(const std::string& key) const {
    auto it = m_values.find(key);
    return it == m_values.end() ? std::string() : it->second;
}

void CRepDef::SetAttrValue(const std::string& key, const std::string& value) {
    m_values[key] = value;
}

int CRepDef::InsertReportItem(int position, uint16_t kqaid, const std::string& text) {
    const int count = GetItemCount();
    if (position < 0) position = 0;
    if (position >= count) return AppendReportItem(kqaid, text);
    m_items.insert(m_items.begin() + position, CRepItem{kqaid, text});
    return position;
}

int CRepDef::AppendReportItem(uint16_t kqaid, const std::string& text) {
    m_items.push_back(CRepItem{kqaid, text});
    return GetItemCount() - 1;
}

// ---------------------------------------------------------------------------
// CKQTreeEntry

CKQTreeEntry::CKQTreeEntry(const std::string& key) : m_key(key) {}

CKQTreeEntry::~CKQTreeEntry() { delete m_subtree; }

CKQTree* CKQTreeEntry::AddSubtree() {
    return AddSubtree(m_owner ? m_owner->m_factory : m_subtreeFactory);
}

CKQTree* CKQTreeEntry::AddSubtree(KQEntryFactory factory) {
    // A second call hands back the subtree already there: replacing it would lose its entries.
    if (m_subtree) return m_subtree;
    m_subtree = new (std::nothrow) CKQTree(factory);
    if (m_subtree) m_subtree->m_parent = this;
    return m_subtree;
}

void CKQTreeEntry::DeleteSubtree() {
    delete m_subtree;
    m_subtree = nullptr;
}

int CKQTreeEntry::SetAttr(const std::string& id, const std::string& value, int32_t type,
                          uint32_t data) {
    if (id.empty()) return -1;
    const int index = FindAttr(id);
    try {
        if (index >= 0) {
            CAttr& a = m_attrs[static_cast<size_t>(index)];
            a.m_value = value;
            a.m_type = type;
            a.m_data = data;
            return index;
        }
        m_attrs.emplace_back(id, value, type, data);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return GetAttrCount() - 1;
}

int CKQTreeEntry::AppendAttr(std::string id, std::string value, int32_t type, uint32_t data) {
    if (id.empty()) return -1;
    try {
        m_attrs.emplace_back(std::move(id), std::move(value), type, data);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return GetAttrCount() - 1;
}

CAttr* CKQTreeEntry::GetAttr(int index) {
    return index >= 0 && index < GetAttrCount() ? &m_attrs[static_cast<size_t>(index)] : nullptr;
}

const CAttr* CKQTreeEntry::GetAttr(int index) const {
    return index >= 0 && index < GetAttrCount() ? &m_attrs[static_cast<size_t>(index)] : nullptr;
}

std::string CKQTreeEntry::GetAttrID(int index) const {
    const CAttr* a = GetAttr(index);
    return a ? a->m_id : std::string();
}

std::string CKQTreeEntry::GetAttrValue(int index) const {
    const CAttr* a = GetAttr(index);
    return a ? a->m_value : std::string();
}

std::string CKQTreeEntry::GetAttrValue(const std::string& id) const {
    const CAttr* a = GetAttr(FindAttr(id));
    return a ? a->m_value : std::string();
}

int CKQTreeEntry::FindAttr(const std::string& id) const {
    // Entries hold a few dozen attributes at most: a linear scan beats any index here.
    const int count = GetAttrCount();
    for (int i = 0; i < count; ++i)
        if (m_attrs[static_cast<size_t>(i)].m_id == id) return i;
    return -1;
}

int CKQTreeEntry::AddTip(int32_t priority, int32_t textID, int32_t descID) {
    // One tip per text ID: generating tips again updates the tip instead of adding a copy.
    const int count = GetTipCount();
    for (int i = 0; i < count; ++i) {
        CTip& t = m_tips[static_cast<size_t>(i)];
        if (t.m_textID == textID) {
            t.m_priority = priority;
            t.m_descID = descID;
            return i + 1;
        }
    }
    try {
        m_tips.emplace_back(priority, textID, descID);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return GetTipCount();
}

int CKQTreeEntry::RemoveTip(int32_t textID) {
    const auto before = m_tips.size();
    std::erase_if(m_tips, [textID](const CTip& t) { return t.m_textID == textID; });
    return static_cast<int>(before - m_tips.size());
}

CTip* CKQTreeEntry::GetTip(int index) {
    return index >= 0 && index < GetTipCount() ? &m_tips[static_cast<size_t>(index)] : nullptr;
}

const CTip* CKQTreeEntry::GetTip(int index) const {
    return index >= 0 && index < GetTipCount() ? &m_tips[static_cast<size_t>(index)] : nullptr;
}

int32_t CKQTreeEntry::GetTipPriority(int index) const {
    const CTip* t = GetTip(index);
    return t ? t->m_priority : 0;
}

bool CKQTreeEntry::GetTipResIDs(int index, int32_t& textID, int32_t& descID) const {
    const CTip* t = GetTip(index);
    if (!t) return false;
    textID = t->m_textID;
    descID = t->m_descID;
    return true;
}

int CKQTreeEntry::FindReportDef(const std::string& name, RDTYPE type) const {
    const int count = GetRepDefCount();
    for (int i = 0; i < count; ++i) {
        const CRepDef& d = m_repDefs[static_cast<size_t>(i)];
        if (d.m_type == type && d.m_name == name) return i;
    }
    return -1;
}

int CKQTreeEntry::AddReportDef(const std::string& name, RDTYPE type) {
    int index = FindReportDef(name, type);
    if (index < 0) {
        try {
            m_repDefs.emplace_back(name, type);
        } catch (const std::bad_alloc&) {
            return -1;  // the definition named before stays the current one
        }
        index = GetRepDefCount() - 1;
    }
    m_lastRepDef = index;
    return index;
}

int CKQTreeEntry::EmptyReportDef(const std::string& name, RDTYPE type) {
    // Naming a definition that is not there leaves no current one, so that items meant
    // for it are refused rather than added to another definition.
    m_lastRepDef = FindReportDef(name, type);
    if (m_lastRepDef < 0) return 0;
    m_repDefs[static_cast<size_t>(m_lastRepDef)].m_items.clear();
    return 1;
}

int CKQTreeEntry::AddReportItem(const std::string& text, uint16_t kqaid) {
    if (m_lastRepDef < 0 || m_lastRepDef >= GetRepDefCount()) return -1;
    try {
        return m_repDefs[static_cast<size_t>(m_lastRepDef)].AppendReportItem(kqaid, text);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

CRepDef* CKQTreeEntry::GetRepDefPtr(int index) {
    return index >= 0 && index < GetRepDefCount() ? &m_repDefs[static_cast<size_t>(index)]
                                                  : nullptr;
}

const CRepDef* CKQTreeEntry::GetRepDefPtr(int index) const {
    return index >= 0 && index < GetRepDefCount() ? &m_repDefs[static_cast<size_t>(index)]
                                                  : nullptr;
}

void CKQTreeEntry::RemoveAllRepDefs() {
    m_repDefs.clear();
    m_lastRepDef = -1;
}

CKQTreeEntry* CKQTreeEntry::GetParentEntry() const { return m_owner ? m_owner->m_parent : nullptr; }

uint16_t CKQTreeEntry::GetEffectiveKQAID() const {
    for (const CKQTreeEntry* e = this; e; e = e->GetParentEntry())
        if (e->m_kqaid != 0) return e->m_kqaid;
    return 0;
}

// ---------------------------------------------------------------------------
// CKQTree

CKQTree::CKQTree(KQEntryFactory factory) : m_factory(factory) {}

CKQTree::~CKQTree() { RemoveAll(); }

CKQTreeEntry* CKQTree::Make(const std::string& key) {
    CKQTreeEntry* e = nullptr;
    try {
        e = m_factory ? m_factory(key) : new CKQTreeEntry(key);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (e) e->m_owner = this;
    return e;
}

CKQTreeEntry* CKQTree::Insert(size_t position, const std::string& key) {
    CKQTreeEntry* e = Make(key);
    if (e == nullptr) return nullptr;
    try {
        m_entries.insert(m_entries.begin() + static_cast<std::ptrdiff_t>(position), e);
    } catch (const std::bad_alloc&) {
        delete e;
        return nullptr;
    }
    return e;
}

CKQTreeEntry* CKQTree::Add(const std::string& key) { return Insert(m_entries.size(), key); }

CKQTreeEntry* CKQTree::InsertHead(const std::string& key) { return Insert(0, key); }

void CKQTree::RemoveAll() {
    // Detach first: an entry's destructor may look at the tree it belonged to.
    std::vector<CKQTreeEntry*> entries;
    entries.swap(m_entries);
    for (CKQTreeEntry* e : entries) delete e;
}

bool CKQTree::Remove(CKQTreeEntry* entry) {
    auto it = std::find(m_entries.begin(), m_entries.end(), entry);
    if (it == m_entries.end()) return false;
    m_entries.erase(it);
    delete entry;
    return true;
}

CKQTreeEntry* CKQTree::GetAt(int index) const {
    return index >= 0 && index < GetCount() ? m_entries[static_cast<size_t>(index)] : nullptr;
}

int CKQTree::IndexOf(const CKQTreeEntry* entry) const {
    auto it = std::find(m_entries.begin(), m_entries.end(), entry);
    return it == m_entries.end() ? -1 : static_cast<int>(it - m_entries.begin());
}

CKQTreeEntry* CKQTree::Find(const std::string& key) const {
    for (CKQTreeEntry* e : m_entries)
        if (e->m_key == key) return e;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Item paths

std::string ReplaceSepIDs(const std::string& path, char c) {
    std::string out(path);
    std::replace(out.begin(), out.end(), '~', c);
    return out;
}

std::string GetNodeID(std::string& path) {
    const auto pos = path.find('~');
    std::string id;
    if (pos == std::string::npos) {
        id.swap(path);
    } else {
        id = path.substr(0, pos);
        path.erase(0, pos + 1);
    }
    return id;
}
