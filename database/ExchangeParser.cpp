#include "database/ExchangeParser.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "resources/Strings.h"

namespace {

constexpr size_t kBlockSize = 64 * 1024;
// Entries nested deeper than this are added beside their parent level instead: a hostile
// file must not drive the reader, the record writer or the tree's destructor off the stack.
constexpr int kMaxNesting = 200;

void Trim(std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && CExchangeParser::IsBlank(s[b])) ++b;
    while (e > b && CExchangeParser::IsBlank(s[e - 1])) --e;
    if (b > 0 || e < s.size()) s = s.substr(b, e - b);
}

bool IsIntChar(char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-'; }

}  // namespace

std::string ExchangeMessageText(const CExchangeMessage& message) {
    std::string text = FormatKQString(message.id, message.arg, message.arg2);
    if (message.line > 0) text += KQFormat(LoadKQString(IDS_AT_LINE_FMT).c_str(), message.line);
    return text;
}

void CExchangeRecord::Clear() {
    line = sysidLine = 0;
    sysid.clear();
    sysidIsTip = false;
    entry.m_key.clear();
    entry.RemoveAllAttrs();
    entry.RemoveAllTips();
    entry.DeleteSubtree();
}

CExchangeParser::CExchangeParser(std::string_view bytes)
    : m_bytes(bytes),
      m_readBuffer(new (std::nothrow) char[kReadBufferSize]),
      m_tipKeyword(LoadKQString(IDS_TIP_MARKER)) {}

CExchangeParser::CExchangeParser(ReadFn read)
    : m_read(std::move(read)),
      m_block(new (std::nothrow) char[kBlockSize]),
      m_readBuffer(new (std::nothrow) char[kReadBufferSize]),
      m_tipKeyword(LoadKQString(IDS_TIP_MARKER)) {}

void CExchangeParser::Message(KQStringId id, bool box, bool markLog, const std::string& arg,
                              const std::string& arg2) {
    m_messages.push_back(CExchangeMessage{id, arg, arg2, m_lineNumber, box, markLog});
}

void CExchangeParser::Fail(KQStringId id) {
    Message(id, true, false);
    m_failed = true;
    m_done = true;
}

std::vector<CExchangeMessage> CExchangeParser::TakeMessages() {
    std::vector<CExchangeMessage> taken;
    taken.swap(m_messages);
    return taken;
}

// ---- lines ----

bool CExchangeParser::FillInput() {
    m_inPos = m_inLen = 0;
    if (m_eof) return true;
    if (!m_read) {
        // Bytes in memory are one block, then the end.
        m_in = m_bytes.data();
        m_inLen = m_bytes.size();
        m_bytes = std::string_view();
        if (m_inLen == 0) m_eof = true;
        return true;
    }
    const long n = m_read(m_block.get(), kBlockSize);
    if (n < 0) return false;
    m_in = m_block.get();
    m_inLen = static_cast<size_t>(n);
    if (n == 0) m_eof = true;
    return true;
}

bool CExchangeParser::ReadLine() {
    for (;;) {
        ++m_lineNumber;
        if (m_failed) return false;
        // One line of at most kLineLimit - 1 bytes, as a text-mode read gives it: CR LF
        // arrives as LF; a longer line leaves its rest for the next read.
        char* buf = m_readBuffer.get();
        const size_t max = kLineLimit - 1;
        size_t n = 0;
        bool gotAny = false;
        while (n < max) {
            if (m_inPos == m_inLen) {
                if (!FillInput()) {
                    Fail(IDS_ERR_CANT_READ_FILE);
                    return false;
                }
                if (m_inLen == 0) break;  // end of file
            }
            const char* p = m_in + m_inPos;
            size_t want = std::min(m_inLen - m_inPos, max - n);
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', want));
            size_t take = nl ? static_cast<size_t>(nl - p) + 1 : want;
            const char* cr = static_cast<const char*>(std::memchr(p, '\r', take));
            if (!cr) {
                std::memcpy(buf + n, p, take);
                n += take;
                m_inPos += take;
                gotAny = true;
                if (nl) break;
                continue;
            }
            size_t k = static_cast<size_t>(cr - p);
            std::memcpy(buf + n, p, k);
            n += k;
            m_inPos += k + 1;
            gotAny = true;
            if (m_inPos == m_inLen && !FillInput()) {
                Fail(IDS_ERR_CANT_READ_FILE);
                return false;
            }
            if (m_inPos < m_inLen && m_in[m_inPos] == '\n') continue;  // CR LF: the LF follows
            buf[n++] = '\r';
        }
        if (gotAny) buf[n] = '\0';
        // The buffer is cut at the first line end (and, as a C string, at a NUL byte); at the
        // end of the file it still holds the last line read.
        size_t len = std::strlen(buf);
        const char* nl = static_cast<const char*>(std::memchr(buf, '\n', len));
        if (nl) len = static_cast<size_t>(nl - buf);
        m_line.assign(buf, len);
        Trim(m_line);
        if (!gotAny) return false;
        if (m_line.empty() || m_line[0] == ';') continue;
        return true;
    }
}

bool CExchangeParser::ReadHeader() {
    m_lineNumber = 0;
    if (!m_readBuffer || (m_read && !m_block)) {
        Fail(IDS_ERR_NOT_ENOUGH_MEMORY);
        return false;
    }
    m_readBuffer[0] = '\0';
    m_line.clear();
    m_done = true;  // until the header is whole
    if (!ReadLine()) {
        // A read error was reported already; it is not also "nothing to read".
        if (!m_failed) Message(IDS_ERR_NOTHING_TO_READ, true, false);
        return false;
    }
    if (m_line != LoadKQString(IDS_EXCHANGE_HEADER)) {
        Message(IDS_ERR_MISSING_IDENTIFIER, true, false);
        return false;
    }
    while (ReadLine() && m_line[0] == '{') m_headerLines.push_back(m_line);
    if (m_failed) return false;
    // At the end of the file the line still holds the last one read: a file of header lines
    // only goes on to Error 1005.
    m_done = m_line.empty();
    return !m_done;
}

// ---- records ----

bool CExchangeParser::AddLine(CKQTreeEntry& entry, const std::string& id, const std::string& value,
                              uint32_t data) {
    if (id == m_tipKeyword) {
        int32_t a, b, c;
        ParseTipInts(value, a, b, c);
        if (entry.AddTip(a, b, c) == 0) {
            Fail(IDS_ERR_NOT_ENOUGH_MEMORY);
            return false;
        }
    } else if (entry.SetAttr(id, value, 0, data) < 0) {
        Fail(IDS_ERR_NOT_ENOUGH_MEMORY);
        return false;
    }
    return true;
}

bool CExchangeParser::Next(CExchangeRecord& record) {
    record.Clear();
    if (m_done) return false;
    std::string key, id, value;
    int depth = -1;
    if (!m_started) {
        m_started = true;
        if (!(IsEntryHeader(m_line, key, depth) && depth == 0)) {
            Message(IDS_ERR_EXPECTED_RECORD_LINE, true, false);
            for (;;) {
                if (!ReadLine()) {
                    m_done = true;
                    return false;
                }
                if (IsEntryHeader(m_line, key, depth) && depth == 0) break;
            }
        }
    }
    bool have = false;  // the record's identity was read
    uint32_t data = 0;
    for (;;) {
        if (IsEntryHeader(m_line, key, depth)) {
            if (depth == 0) {
                // A new record; this line starts it at the next call when one was read.
                if (have) return true;
                m_pending = true;
                m_pendingKey = key;
                m_pendingLine = m_lineNumber;
                m_skipping = false;
            } else if (m_pending) {
                // Entries before the record's Sysid line: the record has no identity and
                // nothing may attach to the previous one. Skip to the next record.
                Message(IDS_WARN_RECORD_SKIPPED, false, true, m_pendingKey, std::string());
                ++m_skipped;
                m_pending = false;
                m_skipping = true;
            } else if (have) {
                // The record's levels end at the next record's header, the end of the file
                // or an error.
                if (ReadBelow(record.entry, depth, 0) < 0) {
                    m_done = true;
                    return true;
                }
                continue;
            }
        } else if (!m_skipping && ParseAttrLine(m_line, id, value, data)) {
            if (m_pending) {
                m_pending = false;
                record.line = m_pendingLine;
                record.entry.m_key = m_pendingKey;
                record.sysid = value;
                record.sysidLine = m_lineNumber;
                record.sysidIsTip = id == m_tipKeyword;
                have = true;
            }
            // A second line for the identifier attribute would rename the record away from
            // its directory entry and stream: the identifier stays as first read.
            if (have && !(record.entry.GetAttrCount() > 0 && record.entry.m_attrs[0].m_id == id) &&
                !AddLine(record.entry, id, value, data))
                return true;
        }
        if (!ReadLine()) {
            m_done = true;
            return have;
        }
    }
}

int CExchangeParser::ReadBelow(CKQTreeEntry& parent, int h, int depth) {
    CKQTree* sub = parent.GetSubtree();
    if (!sub) sub = parent.AddSubtree();
    if (!sub) {
        Fail(IDS_ERR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    ++m_nesting;
    // A child level may end on a header that is still deeper than this one: the same
    // subtree goes on filling at that depth.
    do {
        h = ReadLevel(sub, h);
    } while (h > depth);
    --m_nesting;
    return h;
}

int CExchangeParser::ReadLevel(CKQTree* tree, int depth) {
    CKQTreeEntry* current = nullptr;
    std::string key, id, value;
    uint32_t data = 0;
    for (;;) {
        int h = 0;
        if (IsEntryHeader(m_line, key, h)) {
            if (h <= depth || current) {  // else there is nothing to hang it on
                if (h > depth && m_nesting >= kMaxNesting) h = depth;
                if (h > depth) {
                    h = ReadBelow(*current, h, depth);
                    if (h == depth) continue;  // the line that ended them is an entry here
                }
                if (h < depth) return h;
                current = tree->Add(key);
                if (!current) {
                    Fail(IDS_ERR_NOT_ENOUGH_MEMORY);
                    return -1;
                }
            }
        } else if (ParseAttrLine(m_line, id, value, data)) {
            if (current && !AddLine(*current, id, value, data)) return -1;
        }
        if (!ReadLine()) return -1;
    }
}

CParsedExchange ParseExchange(std::string_view bytes) {
    CParsedExchange parsed;
    CExchangeParser parser(bytes);
    parsed.headerRead = parser.ReadHeader();
    if (parsed.headerRead) {
        while (parser.Next(parsed.records.emplace_back())) {}
        parsed.records.pop_back();
    }
    parsed.headerLines = parser.HeaderLines();
    parsed.messages = parser.TakeMessages();
    parsed.skipped = parser.Skipped();
    parsed.lines = parser.LineNumber();
    return parsed;
}

// ---- line tests ----

bool CExchangeParser::IsEntryHeader(const std::string& line, std::string& key, int& depth) {
    size_t d = 0;
    while (d < line.size() && line[d] == '.') ++d;
    if (d >= line.size() || line[d] != '[') return false;
    size_t start = d + 1;
    // Up to the last "]": a key may hold brackets of its own ("Disk [2]").
    size_t close = line.rfind(']');
    if (close != std::string::npos && close < start) close = std::string::npos;
    if (close == std::string::npos) {
        key = line.substr(start);
    } else {
        key = line.substr(start, close - start);
        Trim(key);
        if (key.empty()) return false;
    }
    depth = static_cast<int>(d);
    return true;
}

uint32_t CExchangeParser::ParseHex(const char* text, size_t length) {
    // Lower-case digits only: an upper-case one ends the number, as files have always had it.
    uint32_t v = 0;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (i == 1 && (c == 'x' || c == 'X')) continue;
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else
            break;
        v = v * 16u + digit;
    }
    return v;
}

bool CExchangeParser::ParseAttrLine(const std::string& line, std::string& id, std::string& value,
                                    uint32_t& data) {
    size_t p = line.find('=');
    if (p == std::string::npos || p == 0) return false;
    id.assign(line, 0, p);
    size_t v = p + 1;
    size_t mark = line.find(";#", v);
    if (mark == std::string::npos) {
        value.assign(line, v, std::string::npos);
        data = 0;
    } else {
        value.assign(line, v, mark - v);
        data = ParseHex(line.data() + mark + 2, line.size() - mark - 2);
    }
    return true;
}

int32_t CExchangeParser::ParseInt(std::string& text) {
    size_t b = 0;
    while (b < text.size() && !IsIntChar(text[b])) ++b;
    size_t e = b;
    while (e < text.size() && IsIntChar(text[e])) ++e;
    // atoi on the run: an optional sign, then digits; saturated where it would overflow.
    const char* p = text.data() + b;
    const char* end = text.data() + e;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = (*p++ == '-');
    long long v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        v = v * 10 + (*p++ - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) {
            v = static_cast<long long>(INT_MAX) + 1;
            while (p < end && *p >= '0' && *p <= '9') ++p;
        }
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    text.erase(0, e);
    return static_cast<int32_t>(v);
}

void CExchangeParser::ParseTipInts(const std::string& value, int32_t& a, int32_t& b, int32_t& c) {
    std::string rest = value;
    a = ParseInt(rest);
    b = ParseInt(rest);
    c = ParseInt(rest);
}
