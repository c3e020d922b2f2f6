// Reader and writer of exchange files (*.kqx): plain text, one entry header, attribute or
// tip per line, CR LF line ends on disk (CR LF and LF accepted on reading).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/ExchangeHost.h"
#include "resources/StringIds.h"

class CResultsDatabase;
class CKQTree;
class CKQTreeEntry;

class CExchangeFile {
public:
    static constexpr unsigned kReadBufferSize = 10001;
    static constexpr unsigned kLineLimit = 10000;  // including the terminator
    // The longest line the writer makes: with its line end it is still one read.
    static constexpr size_t kMaxLineBytes = kLineLimit - 2;

    // The steps of writing a file; a test hook may make any of them fail (true: fail).
    enum class WriteStep { Create, Write, Sync, Rename, SyncFolder };
    static std::function<bool(WriteStep)> s_failStep;

    // Works on the database, reporting and asking for what it cannot know through host.
    CExchangeFile(CResultsDatabase& db, IExchangeHost& host);
    ~CExchangeFile();
    CExchangeFile(const CExchangeFile&) = delete;
    CExchangeFile& operator=(const CExchangeFile&) = delete;

    // Reading.
    bool OpenForRead(const std::string& path);
    void ImportRecords(CKQTree* databaseTree);
    int ReadLevel(CKQTree* tree, int depth);
    bool ReadLine();

    // Writing. A regular file is written under a hidden name beside it and renamed over it
    // by Close, so that a failed export leaves the earlier file whole; a database file, a
    // FIFO or a socket is refused.
    bool OpenForWrite(const std::string& path);
    // Whether path may be exported to; when not, the refusal is reported.
    bool CheckTarget(const std::string& path);
    bool WriteEntry(CKQTreeEntry* entry, int recordKey, int depth);
    bool WriteTree(CKQTree* tree, int recordKey, int depth);
    bool WriteLine();

    // Error and progress reporter: the string with its arguments, " at line %u." when a line
    // was counted, to the log; a box captioned with the path, or the show-log mark.
    void Report(KQStringId stringID, const std::string& arg, bool showBox, bool markLog,
                const std::string& arg2 = std::string());
    // Closes the file and frees the read buffer. After writing, false when the last buffered
    // lines could not be written or the file could not take the target's place (reported
    // as Error 1007).
    bool Close();
    // Ends a write without keeping anything: the earlier file stays as it was.
    void Abandon();
    bool IsOpen() const { return m_fd >= 0; }

    // Import every file of the file list into tree (empty paths skipped; the caller removes
    // quotes).
    void ImportAll(CKQTree* tree);

    // Line tests, public for the tests and the fuzzers.
    static bool IsEntryHeader(const std::string& line, std::string& key, int& depth);
    static bool ParseAttrLine(const std::string& line, std::string& id, std::string& value,
                              uint32_t& data);
    static uint32_t ParseHex(const char* text, size_t length);
    // Takes the next integer off the front of text (consumed), as the tip lines are read.
    static int32_t ParseInt(std::string& text);
    static void ParseTipInts(const std::string& value, int32_t& a, int32_t& b, int32_t& c);

    // Members.
    std::vector<std::string> m_fileList;
    std::string m_path;
    CResultsDatabase& m_db;
    IExchangeHost& m_host;
    uint32_t m_lineNumber = 0;
    std::string m_line;
    int m_showLog = 0;
    CKQTree* m_dbTree = nullptr;
    std::string m_tipKeyword;
    char m_nameSep = '\0';
    std::unique_ptr<char[]> m_readBuffer;
    // Records the last ImportAll added, and left out (duplicates, unusable identifiers).
    int m_imported = 0;
    int m_skipped = 0;

private:
    bool FillInput();
    bool Flush();
    void PutClean(const std::string& text);  // appends to the line being written
    void PutKey(const std::string& key);
    void PutAttrID(const std::string& id);
    void PutValue(const std::string& value, uint32_t data);
    bool EndLine();  // ends it: CR LF, flushed by the block
    // Cuts what was put since lineStart to fit one line (cutStart: where a cut may begin).
    void FitLine(size_t lineStart, size_t cutStart);
    // PutValue, cut to fit the line begun at lineStart; true (and the bytes kept) when cut.
    bool PutFittedValue(const std::string& value, uint32_t data, size_t lineStart, size_t& kept);
    void WarnCut(const std::string& what, size_t kept);
    int OpenTarget(const std::string& path);
    bool WriteText(const std::string& text);
    bool WriteComment(const std::string& text);  // a header comment line, "{" text "}"

    int m_fd = -1;
    bool m_writing = false;
    bool m_failed = false;  // a read or write error was reported and the file closed
    int m_nesting = 0;      // subtree levels the reader is inside
    // Input: a block of the file and the read position in it.
    std::unique_ptr<char[]> m_in;
    size_t m_inPos = 0, m_inLen = 0;
    bool m_eof = false;
    // Output: lines collect here and go to the file in blocks.
    std::string m_out;
    // A regular target is written under m_tempPath and renamed to m_finalPath on Close.
    std::string m_tempPath, m_finalPath;
};
