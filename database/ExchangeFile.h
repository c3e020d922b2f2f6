// Exchange files (*.kqx) on disk: written as plain text, one entry header, attribute or tip
// per line, CR LF line ends; opened for reading, whose lines CExchangeParser reads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "database/ExchangeHost.h"
#include "database/ExchangeParser.h"
#include "resources/StringIds.h"

class CResultsDatabase;
class CKQTree;
class CKQTreeEntry;

class CExchangeFile {
public:
    // The longest line the writer makes: with its line end it is still one read of the reader.
    static constexpr size_t kMaxLineBytes = CExchangeParser::kLineLimit - 2;

    // The steps of writing a file; a test hook may make any of them fail (true: fail; an
    // empty function: none fails).
    enum class WriteStep { Create, Write, Sync, Rename, SyncFolder };
    static void SetFailHook(std::function<bool(WriteStep)> fails);

    // Writes from the database, reporting and asking for what it cannot know through host.
    CExchangeFile(CResultsDatabase& db, IExchangeHost& host);
    ~CExchangeFile();
    CExchangeFile(const CExchangeFile&) = delete;
    CExchangeFile& operator=(const CExchangeFile&) = delete;

    // Reading. Opens a regular file (a FIFO or device could hang the import); false when it
    // cannot be opened, reporting nothing: the caller shows Error 1001.
    bool OpenForRead(const std::string& path);
    // Up to size bytes of the file opened for reading: the count, 0 at its end, -1 on a read
    // error or when no file is open for reading.
    long Read(char* buffer, size_t size);

    // Writing. A regular file is written under a hidden name beside it and renamed over it
    // by Close, so that a failed export leaves the earlier file whole; a database file, a
    // FIFO or a socket is refused. Every failure is reported (log line and a box captioned
    // with the path) and answers false; a failed write closes the file.
    bool OpenForWrite(const std::string& path);
    // The same for another format (JSON, CSV): no header lines; its bytes go through
    // WriteData, and a failed write is reported and closes the file as above.
    bool OpenForData(const std::string& path);
    bool WriteData(std::string_view bytes);
    // Whether path may be exported to; when not, the refusal is reported.
    bool CheckTarget(const std::string& path);
    // One entry with its subtree; the record that mirrors the current system (depth 0, key 0
    // or directory position 0) goes out under a fresh identifier and keeps its own. A line
    // too long for the reader is cut and the cut logged (Warning 1023, LogMarked()).
    bool WriteEntry(CKQTreeEntry* entry, int recordKey, int depth);
    bool WriteTree(CKQTree* tree, int recordKey, int depth);

    // Closes the file. After writing, false when the last buffered lines could not be
    // written or the file could not take the target's place (reported as Error 1007).
    bool Close();
    // Ends a write without keeping anything: the earlier file stays as it was.
    void Abandon();
    bool IsOpen() const { return m_fd >= 0; }
    // Lines written (or, for reading, 0).
    uint32_t LineNumber() const { return m_lineNumber; }
    // A warning went to the log only: the caller shows the log window.
    bool LogMarked() const { return m_logMarked; }

private:
    // Error and progress reporter: the string with its arguments, " at line %u." when a line
    // was counted, to the log; a box captioned with the path, or the log mark.
    void Report(KQStringId stringID, const std::string& arg, bool showBox, bool markLog,
                const std::string& arg2 = std::string());
    bool WriteLine();                        // m_line as one line
    bool Flush();                            // m_out to the file
    bool WriteOut(std::string_view bytes);   // bytes to the file
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

    CResultsDatabase& m_db;
    IExchangeHost& m_host;
    std::string m_path;  // the file; also the caption of message boxes
    uint32_t m_lineNumber = 0;
    std::string m_line;  // a header line being written
    bool m_logMarked = false;
    const std::string m_tipKeyword;

    int m_fd = -1;
    bool m_writing = false;
    bool m_failed = false;  // a write error was reported and the file closed
    // Output: lines collect here and go to the file in blocks.
    std::string m_out;
    // Bytes written to the file, and how far the disk was asked to take them.
    uint64_t m_written = 0, m_writebackFrom = 0;
    // A regular target is written under m_tempPath and renamed to m_finalPath on Close.
    std::string m_tempPath, m_finalPath;
};
