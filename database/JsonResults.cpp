#include "database/JsonResults.h"

#include <array>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "analyzers/KQAnalyzer.h"

using Json = nlohmann::ordered_json;

namespace {

// Entries whose attributes are the conditions a test ran under end in this.
constexpr std::string_view kConditionsSuffix = " Test Conditions";

bool IsConditions(const std::string& key) {
    return key.size() > kConditionsSuffix.size() &&
           std::string_view(key).substr(key.size() - kConditionsSuffix.size()) == kConditionsSuffix;
}

bool IsCont(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the well-formed sequence at s[i], or 0 with bad set to the bytes of its
// longest ill-formed start (at least 1).
size_t SequenceAt(std::string_view s, size_t i, size_t& bad) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
    } else {
        bad = 1;
        return 0;
    }
    size_t k = 1;
    for (; k < len && i + k < s.size(); ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (k == 1 ? (b < lo || b > hi) : !IsCont(b)) break;
    }
    if (k == len) return len;
    bad = k;
    return 0;
}

// Writes one record straight into a string: a tree of objects per attribute cost twenty
// times the exchange file's export. A string of plain printable ASCII is written as it is;
// any other goes through nlohmann, which escapes it and writes invalid UTF-8 as U+FFFD (the
// writer counts those bytes itself).
class CRecordOut {
    // Printable ASCII other than the quote and the backslash.
    static constexpr auto kPlain = [] {
        std::array<bool, 256> plain{};
        for (int c = 0x20; c < 0x7F; ++c) plain[size_t(c)] = c != '"' && c != '\\';
        return plain;
    }();

public:
    CRecordOut(IJsonTextSource& texts, size_t& replaced, std::string& out)
        : m_texts(texts), m_replaced(replaced), m_out(out) {}

    void Str(const std::string& s, bool counted = true) {
        // Written as it is, and taken back when a byte needs escaping or checking.
        const size_t start = m_out.size();
        m_out.push_back('"');
        m_out.append(s);
        const char* p = m_out.data() + start + 1;
        for (size_t i = 0; i < s.size(); ++i) {
            if (!kPlain[static_cast<unsigned char>(p[i])]) {
                m_out.resize(start);
                if (counted) m_replaced += CJsonResultsWriter::InvalidUtf8Bytes(s);
                m_out += Json(s).dump(-1, ' ', false, Json::error_handler_t::replace);
                return;
            }
        }
        m_out.push_back('"');
    }
    void Int(int64_t v) {
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        m_out.append(buf, r.ptr);
    }
    // Finite only (SplitFigure sees to it): the shortest form that reads back the same.
    void Number(double v) {
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        m_out.append(buf, r.ptr);
    }

    void Attribute(const CAttr& a) {
        m_out.append("{\"name\":");
        Str(a.m_id);
        m_out.append(",\"value\":");
        Str(a.m_value);
        double number = 0;
        std::string unit;
        if ((a.m_data & DATA_NUMERIC) != 0 &&
            CJsonResultsWriter::SplitFigure(a.m_value, number, unit)) {
            m_out.append(",\"number\":");
            Number(number);
            m_out.append(",\"unit\":");
            Str(unit, false);  // a part of the value, already counted
        }
        if (a.m_data != 0) {  // absent: 0, as most attributes are
            m_out.append(",\"flags\":");
            Int(a.m_data);
        }
        m_out.push_back('}');
    }

    // The entry and its subtree, depth first; conditions entries are kept for the end.
    void Entry(const CKQTreeEntry& e, std::vector<const std::string*>& path, uint16_t kqaid,
               bool& firstEntry, std::string& conditions) {
        const bool isConditions = IsConditions(e.m_key);
        // A conditions entry goes to the record's conditions, written after its entries.
        if (isConditions) std::swap(m_out, conditions);
        if (isConditions ? !m_out.empty() : !firstEntry) m_out.push_back(',');
        if (!isConditions) firstEntry = false;
        m_out.append("{\"path\":[");
        for (size_t i = 0; i < path.size(); ++i) {
            if (i > 0) m_out.push_back(',');
            Str(*path[i], false);  // counted where the key was met
        }
        m_out.push_back(']');
        if (kqaid != 0) {
            m_out.append(",\"analyzer\":");
            Str(m_texts.AnalyzerName(kqaid));
        }
        m_out.append(",\"attributes\":[");
        for (size_t i = 0; i < e.m_attrs.size(); ++i) {
            if (i > 0) m_out.push_back(',');
            Attribute(e.m_attrs[i]);
        }
        m_out.push_back(']');
        if (!e.m_tips.empty()) m_out.append(",\"tips\":[");
        for (size_t i = 0; i < e.m_tips.size(); ++i) {
            const CTip& t = e.m_tips[i];
            if (i > 0) m_out.push_back(',');
            m_out.append("{\"priority\":");
            Int(t.m_priority);
            m_out.append(",\"textId\":");
            Int(t.m_textID);
            m_out.append(",\"text\":");
            Str(kqaid != 0 ? m_texts.TipText(kqaid, t) : std::string());
            m_out.push_back('}');
        }
        m_out.append(e.m_tips.empty() ? "}" : "]}");
        if (isConditions) std::swap(m_out, conditions);
        if (const CKQTree* sub = e.GetSubtree()) {
            for (const CKQTreeEntry* child : *sub) {
                // A branch of its own analyzer (named by its key in a stored record), else
                // the parent's.
                uint16_t id = child->m_kqaid != 0 ? child->m_kqaid : m_texts.AnalyzerOf(*child);
                if (id == 0) id = kqaid;
                m_replaced += CJsonResultsWriter::InvalidUtf8Bytes(child->m_key);
                path.push_back(&child->m_key);
                Entry(*child, path, id, firstEntry, conditions);
                path.pop_back();
            }
        }
    }

private:
    IJsonTextSource& m_texts;
    size_t& m_replaced;
    std::string& m_out;
};

std::string Dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace

size_t CJsonResultsWriter::InvalidUtf8Bytes(std::string_view text) {
    size_t invalid = 0;
    for (size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        size_t bad = 0;
        const size_t len = SequenceAt(text, i, bad);
        if (len != 0) {
            i += len;
        } else {
            invalid += bad;
            i += bad;
        }
    }
    return invalid;
}

bool CJsonResultsWriter::SplitFigure(const std::string& value, double& number, std::string& unit) {
    const char* b = value.data();
    const char* e = b + value.size();
    while (b < e && (*b == ' ' || *b == '\t')) ++b;
    if (b < e && *b == '+') ++b;
    auto r = std::from_chars(b, e, number, std::chars_format::general);
    if (r.ec != std::errc() || !std::isfinite(number)) return false;
    const char* u = r.ptr;
    while (u < e && (*u == ' ' || *u == '\t')) ++u;
    while (e > u && (e[-1] == ' ' || e[-1] == '\t')) --e;
    unit.assign(u, e);
    return true;
}

std::string CJsonResultsWriter::Head(const std::string& program) {
    m_records = 0;
    m_replaced = 0;
    Json head;
    head["format"] = kFormat;
    head["version"] = kVersion;
    m_replaced += InvalidUtf8Bytes(program);
    head["program"] = program;
    std::string text = Dump(head);
    text.pop_back();  // the records follow inside the same object
    return text + ",\"records\":[";
}

void CJsonResultsWriter::Record(const CKQTreeEntry& record, bool current, std::string& text) {
    text.append(m_records++ == 0 ? "\n" : ",\n");
    CRecordOut out(m_texts, m_replaced, text);
    // Both are attribute values too, counted where the attributes are.
    text.append("{\"identifier\":");
    out.Str(record.GetAttrCount() > 0 ? record.m_attrs[0].m_value : std::string(), false);
    text.append(",\"description\":");
    out.Str(m_texts.Description(record), false);
    text.append(current ? ",\"current\":true,\"entries\":[" : ",\"current\":false,\"entries\":[");
    std::vector<const std::string*> path;
    bool firstEntry = true;
    std::string conditions;
    // The record is the first analyzer's branch (the System analyzer's, whose children the
    // other analyzers' branches are).
    const uint16_t id = record.m_kqaid != 0 ? record.m_kqaid : m_texts.AnalyzerOf(record);
    out.Entry(record, path, id, firstEntry, conditions);
    text.append("],\"conditions\":[");
    text += conditions;
    text.append("]}");
}

std::string CJsonResultsWriter::Tail() { return m_records == 0 ? "]}\n" : "\n]}\n"; }
