#include "database/JsonResults.h"

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

class CRecordBuilder {
public:
    CRecordBuilder(IJsonTextSource& texts, size_t& replaced)
        : m_texts(texts), m_replaced(replaced) {}

    // Every string goes through here, so that the invalid bytes are counted where they are.
    const std::string& Text(const std::string& s) {
        m_replaced += CJsonResultsWriter::InvalidUtf8Bytes(s);
        return s;
    }

    Json Attribute(const CAttr& a) {
        Json j;
        j["name"] = Text(a.m_id);
        j["value"] = Text(a.m_value);
        double number = 0;
        std::string unit;
        if ((a.m_data & DATA_NUMERIC) != 0 &&
            CJsonResultsWriter::SplitFigure(a.m_value, number, unit)) {
            j["number"] = number;
            j["unit"] = unit;  // a part of the value, already counted
        }
        j["flags"] = Json{{"word", a.m_data},
                          {"numeric", (a.m_data & DATA_NUMERIC) != 0},
                          {"highlight", (a.m_data & DATA_HIGHLIGHT) != 0},
                          {"alternativeIcon", (a.m_data & DATA_ALTICON) != 0}};
        return j;
    }

    void Entry(const CKQTreeEntry& e, Json& path, uint16_t kqaid, Json& entries, Json& conditions) {
        Json j;
        j["path"] = path;
        if (kqaid != 0) j["analyzer"] = Text(m_texts.AnalyzerName(kqaid));
        Json attrs = Json::array();
        for (const CAttr& a : e.m_attrs) attrs.push_back(Attribute(a));
        j["attributes"] = std::move(attrs);
        Json tips = Json::array();
        for (const CTip& t : e.m_tips) {
            std::string text = kqaid != 0 ? m_texts.TipText(kqaid, t) : std::string();
            tips.push_back(
                Json{{"priority", t.m_priority}, {"textId", t.m_textID}, {"text", Text(text)}});
        }
        j["tips"] = std::move(tips);
        (IsConditions(e.m_key) ? conditions : entries).push_back(std::move(j));
        if (const CKQTree* sub = e.GetSubtree()) {
            for (const CKQTreeEntry* child : *sub) {
                uint16_t id = child->m_kqaid != 0 ? child->m_kqaid : kqaid;
                if (id == 0) id = m_texts.AnalyzerOf(*child);
                path.push_back(Text(child->m_key));
                Entry(*child, path, id, entries, conditions);
                path.erase(path.end() - 1);
            }
        }
    }

private:
    IJsonTextSource& m_texts;
    size_t& m_replaced;
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

std::string CJsonResultsWriter::Record(const CKQTreeEntry& record, bool current) {
    CRecordBuilder build(m_texts, m_replaced);
    Json j;
    // Both are attribute values too, counted where the attributes are.
    j["identifier"] = record.GetAttrCount() > 0 ? record.m_attrs[0].m_value : std::string();
    j["description"] = m_texts.Description(record);
    j["current"] = current;
    Json entries = Json::array(), conditions = Json::array(), path = Json::array();
    build.Entry(record, path, record.m_kqaid, entries, conditions);
    j["entries"] = std::move(entries);
    j["conditions"] = std::move(conditions);
    std::string text = m_records++ == 0 ? "\n" : ",\n";
    text += Dump(j);
    return text;
}

std::string CJsonResultsWriter::Tail() { return m_records == 0 ? "]}\n" : "\n]}\n"; }
