// Reading exchange files: bytes in, records and messages out. The parser touches no database
// and no window: whether a record is new to a database is CResultsDatabase::ImportRecord's to
// say, and what the user sees of the messages is the caller's.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "resources/StringIds.h"
#include "tree/KQTree.h"

// One numbered message of the reader (or of an import): the string with its arguments, the
// line it names (0: none), and how it is shown: errors in a box, warnings by showing the log
// window after the file; anything else goes to the log only.
struct CExchangeMessage {
    KQStringId id = IDS_ERR_NOT_ENOUGH_MEMORY;
    std::string arg, arg2;
    uint32_t line = 0;
    bool box = false;
    bool markLog = false;
};

// The message's text: the string with "%1" and "%2" filled, and " at line %u." when it names
// a line.
std::string ExchangeMessageText(const CExchangeMessage& message);

// One record as the file holds it. entry is the record's tree (a plain tree: header key,
// attributes with data words, tips, subtree); sysid is the value of its first attribute line.
struct CExchangeRecord {
    uint32_t line = 0;        // the record's header line
    std::string sysid;        // its identity
    uint32_t sysidLine = 0;   // the line the identity was read on
    bool sysidIsTip = false;  // the first line was a tip line: the record names no identity
    CKQTreeEntry entry;

    void Clear();
};

class CExchangeParser {
public:
    static constexpr unsigned kReadBufferSize = 10001;
    static constexpr unsigned kLineLimit = 10000;  // including the terminator

    // Reads bytes held in memory (not copied: they must outlive the parser).
    explicit CExchangeParser(std::string_view bytes);
    // Reads a stream: read fills up to size bytes and answers how many, 0 at the end, -1 on a
    // read error (reported as Error 1002, which ends the reading).
    using ReadFn = std::function<long(char* buffer, size_t size)>;
    explicit CExchangeParser(ReadFn read);
    CExchangeParser(const CExchangeParser&) = delete;
    CExchangeParser& operator=(const CExchangeParser&) = delete;

    // The identifier line and the header comment lines (kept in HeaderLines()). False when no
    // record can follow: the reason is among the messages (Error 1003, 1004, 1002 or 10), or
    // there is none when the file ends after a blank or comment line.
    bool ReadHeader();
    // The next record, whole; false when none is left (the end of the file, or an error that
    // ends the reading, whose message is among the messages). Records whose entries come
    // before their identity are left out here with Warning 1013 and counted in Skipped().
    // Call after ReadHeader answered true.
    bool Next(CExchangeRecord& record);
    // The messages since the last call, in line order, and the header comment lines.
    std::vector<CExchangeMessage> TakeMessages();
    const std::vector<std::string>& HeaderLines() const { return m_headerLines; }
    int Skipped() const { return m_skipped; }
    uint32_t LineNumber() const { return m_lineNumber; }

    // Line tests, public for the tests, the fuzzers, the writer and the item path reader.
    // The blanks trimmed from a line's ends and a key's.
    static bool IsBlank(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    }
    static bool IsEntryHeader(const std::string& line, std::string& key, int& depth);
    static bool ParseAttrLine(const std::string& line, std::string& id, std::string& value,
                              uint32_t& data);
    static uint32_t ParseHex(const char* text, size_t length);
    // Takes the next integer off the front of text (consumed), as the tip lines are read.
    static int32_t ParseInt(std::string& text);
    static void ParseTipInts(const std::string& value, int32_t& a, int32_t& b, int32_t& c);

private:
    bool FillInput();
    bool ReadLine();
    // One level of a record's tree, from the header in the line: the depth of the header
    // that ended it, or -1 at the end of the file or an error.
    int ReadLevel(CKQTree* tree, int depth);
    // The levels below parent, from the header of depth h in the line, until a header at
    // depth or above: its depth, or -1.
    int ReadBelow(CKQTreeEntry& parent, int h, int depth);
    bool AddLine(CKQTreeEntry& entry, const std::string& id, const std::string& value,
                 uint32_t data);
    void Message(KQStringId id, bool box, bool markLog, const std::string& arg = std::string(),
                 const std::string& arg2 = std::string());
    void Fail(KQStringId id);  // an error that ends the reading

    // Input: the bytes in memory, or blocks of the stream.
    std::string_view m_bytes;
    ReadFn m_read;
    std::unique_ptr<char[]> m_block;
    const char* m_in = nullptr;
    size_t m_inPos = 0, m_inLen = 0;
    bool m_eof = false;
    // The line as read (at most kLineLimit - 1 bytes), and trimmed.
    std::unique_ptr<char[]> m_readBuffer;
    std::string m_line;
    uint32_t m_lineNumber = 0;
    bool m_failed = false;  // read error or memory: nothing more is read

    const std::string m_tipKeyword;
    std::vector<std::string> m_headerLines;
    std::vector<CExchangeMessage> m_messages;
    int m_skipped = 0;
    int m_nesting = 0;  // subtree levels the reader is inside
    // Between records: the first record line was checked, a record header waits for its
    // identity, a record without one is being passed over.
    bool m_started = false;
    bool m_pending = false;
    bool m_skipping = false;
    std::string m_pendingKey;
    uint32_t m_pendingLine = 0;
    bool m_done = false;
};

// Everything a file in memory holds, read at once. Never fails: what a reader would have
// shown is in messages, and records are those read before any error that ended the reading.
struct CParsedExchange {
    bool headerRead = false;  // ReadHeader's answer
    std::vector<std::string> headerLines;
    std::deque<CExchangeRecord> records;
    std::vector<CExchangeMessage> messages;
    int skipped = 0;
    uint32_t lines = 0;  // lines counted, the failed read at the end included
};
CParsedExchange ParseExchange(std::string_view bytes);
