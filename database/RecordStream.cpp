// The serialised entry format of record streams, and the directory stream.
#include "database/RecordStream.h"

#include "database/Archive.h"
#include "tree/KQTree.h"

namespace {

// Deeper nesting than this only comes from a damaged stream; refusing it keeps the
// recursion off the end of the stack.
constexpr int kMaxDepth = 200;

// The smallest serialised forms, for checking counts against what remains.
constexpr size_t kMinAttr = 1 + 1 + 4;
constexpr size_t kMinTip = 3 * 4;
constexpr size_t kMinEntry = 2 + 1 + 2 + 4 + 2 + 4 + 4;

void WriteEntry(CArchiveWriter& ar, const CKQTreeEntry& e) {
    ar.WriteU16(1);  // entry format: the tip block follows
    ar.WriteString(e.m_key);
    ar.WriteU16(1);  // attribute format: each attribute carries its data word
    ar.WriteI32(static_cast<int32_t>(e.m_attrs.size()));
    for (const CAttr& a : e.m_attrs) {
        ar.WriteString(a.m_id);
        ar.WriteString(a.m_value);
        ar.WriteU32(a.m_data);
    }
    ar.WriteU16(0);  // tip block marker
    ar.WriteI32(static_cast<int32_t>(e.m_tips.size()));
    for (const CTip& t : e.m_tips) {
        ar.WriteI32(t.m_priority);
        ar.WriteI32(t.m_textID);
        ar.WriteI32(t.m_descID);
    }
    const CKQTree* sub = e.GetSubtree();
    ar.WriteU32(sub ? static_cast<uint32_t>(sub->GetCount()) : 0u);
    if (sub)
        for (const CKQTreeEntry* child : *sub) WriteEntry(ar, *child);
}

bool ReadEntry(CArchiveReader& ar, CKQTreeEntry& e, int depth) {
    if (depth > kMaxDepth) return false;
    uint16_t format = 0, attrFormat = 0;
    int32_t count = 0;
    if (!ar.ReadU16(format) || !ar.ReadString(e.m_key) || !ar.ReadU16(attrFormat) ||
        !ar.ReadI32(count))
        return false;
    const size_t attrSize = attrFormat > 0 ? kMinAttr : kMinAttr - 4;
    if (count < 0 || !ar.CanHold(static_cast<uint64_t>(count), attrSize)) return false;
    std::string id, value;
    for (int32_t i = 0; i < count; ++i) {
        uint32_t data = 0;
        if (!ar.ReadString(id) || !ar.ReadString(value)) return false;
        if (attrFormat > 0 && !ar.ReadU32(data)) return false;
        // Attributes read from a record get type word 0: it is not stored.
        if (e.SetAttr(id, value, 0, data) < 0) return false;
    }
    if (format >= 1) {
        uint16_t marker = 0;
        if (!ar.ReadU16(marker) || !ar.ReadI32(count)) return false;
        if (count < 0 || !ar.CanHold(static_cast<uint64_t>(count), kMinTip)) return false;
        for (int32_t i = 0; i < count; ++i) {
            int32_t p = 0, t = 0, d = 0;
            if (!ar.ReadI32(p) || !ar.ReadI32(t) || !ar.ReadI32(d)) return false;
            if (e.AddTip(p, t, d) == 0) return false;
        }
    }
    uint32_t children = 0;
    if (!ar.ReadU32(children)) return false;
    if (children == 0) return true;
    if (!ar.CanHold(children, kMinEntry)) return false;
    CKQTree* sub = e.AddSubtree();
    if (!sub) return false;
    for (uint32_t i = 0; i < children; ++i) {
        CKQTreeEntry* child = sub->Add(std::string());
        if (!child || !ReadEntry(ar, *child, depth + 1)) return false;
    }
    return true;
}

}  // namespace

bool SerializeRecord(const CKQTreeEntry& entry, std::string& out) {
    out.clear();
    CArchiveWriter ar(out);
    WriteEntry(ar, entry);
    return true;
}

bool DeserializeRecord(const std::string& data, CKQTreeEntry& entry) {
    CArchiveReader ar(data);
    return ReadEntry(ar, entry, 0);
}

bool SerializeDirectory(const std::vector<std::string>& directory, std::string& out) {
    out.clear();
    CArchiveWriter ar(out);
    ar.WriteU16(0);
    ar.WriteCount(static_cast<uint32_t>(directory.size()));
    for (const std::string& s : directory) ar.WriteString(s);
    return true;
}

bool DeserializeDirectory(const std::string& data, std::vector<std::string>& directory) {
    directory.clear();
    CArchiveReader ar(data);
    uint16_t ignored = 0;
    uint32_t n = 0;
    if (!ar.ReadU16(ignored) || !ar.ReadCount(n) || !ar.CanHold(n, 1)) return false;
    directory.reserve(n);
    std::string s;
    for (uint32_t i = 0; i < n; ++i) {
        if (!ar.ReadString(s)) {
            directory.clear();
            return false;
        }
        directory.push_back(s);
    }
    return true;
}
