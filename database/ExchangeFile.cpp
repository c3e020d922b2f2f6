#include "database/ExchangeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <new>
#include <string_view>

#include "database/Database.h"
#include "database/ExchangeParser.h"
#include "resources/Strings.h"

namespace {

constexpr size_t kBlockSize = 64 * 1024;

void AppendHex(std::string& out, uint32_t v) {
    char buf[8];
    int n = 0;
    do {
        buf[n++] = "0123456789abcdef"[v & 0xF];
        v >>= 4;
    } while (v != 0);
    while (n > 0) out.push_back(buf[--n]);
}

// What follows a value with a data word: ";#0x" and the word in hexadecimal; none for 0.
std::string DataWordSuffix(uint32_t data) {
    std::string suffix;
    if (data != 0) {
        suffix = ";#0x";
        AppendHex(suffix, data);
    }
    return suffix;
}

void AppendInt(std::string& out, int32_t v) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// The test hook: true makes that step fail as the disk would.
std::function<bool(CExchangeFile::WriteStep)>& FailHook() {
    static std::function<bool(CExchangeFile::WriteStep)> hook;
    return hook;
}

bool StepFails(CExchangeFile::WriteStep step) {
    if (FailHook() && FailHook()(step)) {
        errno = EIO;
        return true;
    }
    return false;
}

// Where path leads: symbolic links followed, a dangling one included, to the name a new
// file would take. A loop of links leaves the last name tried.
std::string FollowLinks(const std::string& path) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(p.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) break;
        target.resize(static_cast<size_t>(n));
        if (target.front() != '/') {
            const size_t slash = p.rfind('/');
            target = (slash == std::string::npos ? std::string() : p.substr(0, slash + 1)) + target;
        }
        p = target;
    }
    return p;
}

bool HasSqliteHeader(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    char head[16];
    ssize_t n;
    do {
        n = ::pread(fd, head, sizeof head, 0);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    return n == static_cast<ssize_t>(sizeof head) &&
           std::memcmp(head, "SQLite format 3", sizeof head) == 0;
}

// A hidden name beside the target that no other file has; the caller creates it with
// O_EXCL and tries another when it exists all the same.
std::string TempNameBeside(const std::string& real) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = real.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : real.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? real : real.substr(slash + 1);
    if (base.size() > 200) base.resize(200);  // room for the suffix within a name's limit
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    const uint32_t mix = static_cast<uint32_t>(now) ^ (static_cast<uint32_t>(::getpid()) << 16) ^
                         (counter.fetch_add(1) * 0x9E3779B9u);
    std::string name = folder + "." + base + ".";
    AppendHex(name, mix);
    return name + ".tmp";
}

void SyncFolderOf(const std::string& real, bool& ok) {
    const size_t slash = real.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : (slash == 0 ? "/" : real.substr(0, slash));
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) {
        ok = false;
        return;
    }
    if (StepFails(CExchangeFile::WriteStep::SyncFolder) || ::fsync(dfd) != 0) ok = false;
    ::close(dfd);
}

// The end of a UTF-8 character at or before n: a cut never splits one.
size_t CharBoundary(const std::string_view s, size_t n) {
    if (n >= s.size()) return s.size();
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return n;
}

}  // namespace

void CExchangeFile::SetFailHook(std::function<bool(WriteStep)> fails) {
    FailHook() = std::move(fails);
}

CExchangeFile::CExchangeFile(CResultsDatabase& db, IExchangeHost& host)
    : m_db(db), m_host(host), m_tipKeyword(LoadKQString(IDS_TIP_MARKER)) {}

CExchangeFile::~CExchangeFile() {
    // An export not closed was not finished: it must not take the target's place.
    Abandon();
    Close();
}

// ---- reporting ----

void CExchangeFile::Report(KQStringId stringID, const std::string& arg, bool showBox, bool markLog,
                           const std::string& arg2) {
    const std::string text =
        ExchangeMessageText(CExchangeMessage{stringID, arg, arg2, m_lineNumber, showBox, markLog});
    m_host.LogLine(text);
    if (showBox)
        m_host.ReportBox(text, m_path);
    else if (markLog)
        m_logMarked = true;
}

// ---- reading ----

bool CExchangeFile::OpenForRead(const std::string& path) {
    Close();
    m_path = path;
    m_lineNumber = 0;
    m_failed = false;
    // Non-blocking open, so that a FIFO without a writer cannot hang the import; only
    // regular files are read (a directory opens and fails on reading, as any read error).
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))) {
        ::close(fd);
        fd = -1;
    }
    if (fd < 0) return false;
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    m_fd = fd;
    m_writing = false;
    return true;
}

long CExchangeFile::Read(char* buffer, size_t size) {
    if (m_fd < 0 || m_writing) return -1;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? -1 : static_cast<long>(n);
    }
}

// ---- writing ----

bool CExchangeFile::CheckTarget(const std::string& path) {
    m_path = path;  // the caption of any message
    const std::string real = FollowLinks(path);
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0) return true;  // a new file
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        // Opening a FIFO would wait for a reader; nothing is written to either.
        Report(IDS_ERR_CANT_CREATE_FILE, std::string(), true, false);
        return false;
    }
    // The open database, under any name, or any other SQLite file: writing text over it
    // would destroy every record it holds.
    if (S_ISREG(st.st_mode) && (m_db.IsOwnFile(real) || HasSqliteHeader(real))) {
        Report(IDS_ERR_EXPORT_ONTO_DATABASE, path, true, false);
        return false;
    }
    return true;
}

// Opens what the export writes to: a new file beside a regular or missing target, or a
// device in place. Reports and answers -1 when there is none.
int CExchangeFile::OpenTarget(const std::string& path) {
    m_tempPath.clear();
    m_finalPath.clear();
    if (!CheckTarget(path)) return -1;
    const std::string real = FollowLinks(path);
    struct stat st {};
    const bool exists = ::stat(real.c_str(), &st) == 0;
    int fd = -1;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device such as /dev/null or a terminal is written where it is. Non-blocking, so
        // that a FIFO put there since the check cannot hang the export.
        fd = ::open(real.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        struct stat now {};
        if (fd >= 0 && (::fstat(fd, &now) != 0 || S_ISFIFO(now.st_mode) || S_ISSOCK(now.st_mode))) {
            ::close(fd);
            fd = -1;
        }
        if (fd >= 0) {
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        }
    } else if (!exists || ::faccessat(AT_FDCWD, real.c_str(), W_OK, AT_EACCESS) == 0) {
        // A file that could not have been written in place is not replaced either.
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            const std::string temp = TempNameBeside(real);
            if (StepFails(WriteStep::Create)) break;
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd >= 0) {
                m_tempPath = temp;
                m_finalPath = real;
            } else if (errno != EEXIST) {
                break;
            }
        }
        if (fd >= 0 && exists) {
            // The new file takes the old one's place: its owner and group where we may give
            // them, and its mode.
            if (::fchown(fd, st.st_uid, st.st_gid) != 0 &&
                ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
                // Keeps the owner and group new files in this folder get.
            }
            ::fchmod(fd, st.st_mode & 07777);
        }
    }
    if (fd < 0) Report(IDS_ERR_CANT_CREATE_FILE, std::string(), true, false);
    return fd;
}

bool CExchangeFile::OpenForData(const std::string& path) {
    Close();
    m_path = path;
    m_lineNumber = 0;
    m_failed = false;
    m_host.LogLine(LoadKQString(IDS_EXPORTING_TO_FILE) + path);
    const int fd = OpenTarget(path);
    if (fd < 0) return false;
    m_fd = fd;
    m_writing = true;
    m_written = m_writebackFrom = 0;
    m_out.clear();
    m_out.reserve(kBlockSize + CExchangeParser::kLineLimit);
    return true;
}

bool CExchangeFile::WriteData(std::string_view bytes) {
    if (m_fd < 0 || !m_writing) return false;
    // A whole block goes out as it is, without a copy into the buffer first.
    const bool direct = m_out.empty() && bytes.size() >= kBlockSize;
    if (!direct) m_out.append(bytes);
    if ((direct || m_out.size() >= kBlockSize) && !(direct ? WriteOut(bytes) : Flush())) {
        Report(IDS_ERR_CANT_WRITE_FILE, std::string(), true, false);
        m_failed = true;
        Close();
        return false;
    }
    return true;
}

bool CExchangeFile::OpenForWrite(const std::string& path) {
    if (!OpenForData(path)) return false;
    bool ok = WriteText(LoadKQString(IDS_EXCHANGE_HEADER));
    if (ok) ok = WriteComment(LoadKQString(IDS_VERSION_LINE));
    for (const std::string& line : m_host.AnalyzerVersionLines()) {
        if (!ok) break;
        ok = WriteComment(line);
    }
    if (!ok) Close();
    return ok;
}

bool CExchangeFile::WriteText(const std::string& text) {
    m_line = text;
    return WriteLine();
}

bool CExchangeFile::WriteComment(const std::string& text) {
    m_line.assign(1, '{');
    m_line.append(text);
    m_line.push_back('}');
    return WriteLine();
}

bool CExchangeFile::Flush() {
    if (!WriteOut(m_out)) return false;
    m_out.clear();
    return true;
}

bool CExchangeFile::WriteOut(std::string_view bytes) {
    if (!bytes.empty() && StepFails(WriteStep::Write)) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    m_written += done;
    // The disk starts on what is written while the rest is formatted, so that the sync at
    // Close waits for the last stretch only. A pipe or terminal refuses it, which is harmless.
    constexpr uint64_t kWritebackStep = 1u << 20;
    if (!m_tempPath.empty() && m_written - m_writebackFrom >= kWritebackStep) {
        ::sync_file_range(m_fd, static_cast<off64_t>(m_writebackFrom),
                          static_cast<off64_t>(m_written - m_writebackFrom), SYNC_FILE_RANGE_WRITE);
        m_writebackFrom = m_written;
    }
    return true;
}

void CExchangeFile::PutClean(const std::string& text) {
    // Nothing is escaped in the format: a line break inside a key, identifier or value
    // would read back as other lines, and a NUL ends the line for the reader, so each is
    // written as a blank.
    const size_t start = m_out.size();
    m_out.append(text);
    char* p = m_out.data() + start;
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = p[i];
        p[i] = (c == '\r' || c == '\n' || c == '\0') ? ' ' : c;
    }
}

// Everything below is written as it stands when the reader gives it back unchanged; only
// the forms it cannot read back are replaced, each as said beside it.

void CExchangeFile::PutKey(const std::string& key) {
    const size_t start = m_out.size();
    PutClean(key);
    // The reader trims a key: blanks at its ends are left out. An empty key would make
    // "[]", which is no header at all: it is written as "_".
    size_t b = start, e = m_out.size();
    while (b < e && CExchangeParser::IsBlank(m_out[b])) ++b;
    while (e > b && CExchangeParser::IsBlank(m_out[e - 1])) --e;
    m_out.erase(e);
    m_out.erase(start, b - start);
    if (m_out.size() == start) m_out.push_back('_');
}

void CExchangeFile::PutAttrID(const std::string& id) {
    const size_t start = m_out.size();
    PutClean(id);
    // The first "=" ends the identifier: an "=" inside it is written as "_".
    for (size_t i = start; i < m_out.size(); ++i)
        if (m_out[i] == '=') m_out[i] = '_';
    // An identifier that would read as no attribute line (empty, or starting with a blank
    // that the line's trimming takes), as a comment (";"), as an entry header (full stops
    // and "[") or as a tip ("<Tip>") is written with "_" in front.
    const std::string_view v(m_out.data() + start, m_out.size() - start);
    size_t dots = 0;
    while (dots < v.size() && v[dots] == '.') ++dots;
    const bool unreadable = v.empty() || CExchangeParser::IsBlank(v[0]) || v[0] == ';' ||
                            (dots < v.size() && v[dots] == '[') || v == m_tipKeyword;
    if (unreadable) m_out.insert(start, 1, '_');
}

void CExchangeFile::PutValue(const std::string& value, uint32_t data) {
    const size_t start = m_out.size();
    PutClean(value);
    // The first ";#" starts the data word: one inside the value is written as "; #".
    for (size_t i = start; i + 1 < m_out.size(); ++i)
        if (m_out[i] == ';' && m_out[i + 1] == '#') m_out.insert(i + 1, 1, ' ');
    if (data != 0) {
        // Straight into the block: this runs for every attribute of an export.
        m_out.append(";#0x", 4);
        AppendHex(m_out, data);
    } else if (m_out.size() > start && CExchangeParser::IsBlank(m_out.back())) {
        // The reader trims the line's end; a data word of 0 written out keeps the blanks,
        // and reads back as no data word.
        m_out.append(";#0x0", 5);
    }
}

bool CExchangeFile::WriteLine() {
    if (m_fd < 0 || !m_writing) {
        ++m_lineNumber;
        return false;
    }
    // The identifier and header comments; only an analyzer's name could make one too long.
    const size_t start = m_out.size();
    PutClean(m_line);
    FitLine(start, start);
    return EndLine();
}

void CExchangeFile::FitLine(size_t lineStart, size_t cutStart) {
    if (m_out.size() - lineStart <= kMaxLineBytes) return;
    const std::string_view cut(m_out.data() + cutStart, m_out.size() - cutStart);
    m_out.resize(cutStart + CharBoundary(cut, kMaxLineBytes - (cutStart - lineStart)));
}

// The value with what follows it, cut where the whole line would not fit one read: at the
// longest character boundary whose written form (escapes and data word included) fits.
bool CExchangeFile::PutFittedValue(const std::string& value, uint32_t data, size_t lineStart,
                                   size_t& kept) {
    const size_t valueStart = m_out.size();
    PutValue(value, data);
    if (m_out.size() - lineStart <= kMaxLineBytes) return false;
    m_out.resize(valueStart);
    const size_t room =
        valueStart - lineStart < kMaxLineBytes ? kMaxLineBytes - (valueStart - lineStart) : 0;
    const std::string dataSuffix = DataWordSuffix(data);
    auto blankAt = [&value](size_t i) {
        const char c = value[i];
        return c == '\0' || CExchangeParser::IsBlank(c);
    };
    size_t best = 0;
    size_t written = 0;  // bytes the first p bytes of the value take, escapes included
    for (size_t p = 0; p <= value.size() && written <= room; ++p) {
        if (p == value.size() || (static_cast<unsigned char>(value[p]) & 0xC0) != 0x80) {
            const size_t suffix =
                data != 0 ? dataSuffix.size() : (p > 0 && blankAt(p - 1) ? 5u : 0u);
            if (written + suffix <= room) best = p;
        }
        if (p < value.size()) {
            ++written;
            if (value[p] == '#' && p > 0 && value[p - 1] == ';') ++written;
        }
    }
    PutValue(value.substr(0, best), data);
    kept = best;
    return true;
}

// Logged after the line was written, so that it names that line.
void CExchangeFile::WarnCut(const std::string& what, size_t kept) {
    Report(IDS_WARN_LINE_CUT, what, false, true, std::to_string(kept));
}

bool CExchangeFile::EndLine() {
    ++m_lineNumber;
    return WriteData("\r\n");  // flushed by the block
}

bool CExchangeFile::WriteEntry(CKQTreeEntry* entry, int recordKey, int depth) {
    if (!entry || m_fd < 0 || !m_writing) return false;
    // The record that mirrors the current system goes out under a fresh identifier, so that
    // the file can be imported back into this database; the record keeps its own.
    bool substituted = false;
    std::string ownSysid;
    if (depth == 0 && entry->GetAttrCount() > 0 &&
        (recordKey == 0 || m_db.KeyPosition(recordKey) == 0)) {
        std::string fresh = m_host.MakeNewSysid();
        if (!fresh.empty()) {
            ownSysid = entry->m_attrs[0].m_value;
            entry->m_attrs[0].m_value = fresh;
            substituted = true;
        }
    }

    // Lines go straight into the output block; m_line is for the header lines. Each fits
    // one read of the reader; what does not is cut and the cut logged.
    size_t lineStart = m_out.size();
    m_out.append(static_cast<size_t>(depth), '.');
    m_out.push_back('[');
    const size_t keyStart = m_out.size();
    PutKey(entry->m_key);
    bool keyCut = m_out.size() - lineStart > kMaxLineBytes - 1;
    if (keyCut) {
        // Room for the "]"; the reader trims the key, so the cut one ends in no blank.
        const size_t room = kMaxLineBytes - 1 - std::min(keyStart - lineStart, kMaxLineBytes - 1);
        m_out.resize(keyStart + CharBoundary(std::string_view(m_out).substr(keyStart), room));
        while (m_out.size() > keyStart && CExchangeParser::IsBlank(m_out.back())) m_out.pop_back();
    }
    const std::string keptKey = m_out.substr(keyStart);
    m_out.push_back(']');
    bool ok = EndLine();
    if (ok && keyCut) WarnCut(keptKey, keptKey.size());
    for (size_t i = 0; ok && i < entry->m_attrs.size(); ++i) {
        const CAttr& a = entry->m_attrs[i];
        lineStart = m_out.size();
        PutAttrID(a.m_id);
        // Room for the "=" and the data word at least; the value is then cut to nothing.
        const size_t idRoom = kMaxLineBytes - 1 - DataWordSuffix(a.m_data).size();
        const bool idCut = m_out.size() - lineStart > idRoom;
        if (idCut)
            m_out.resize(lineStart +
                         CharBoundary(std::string_view(m_out).substr(lineStart), idRoom));
        const std::string writtenID = m_out.substr(lineStart);
        m_out.push_back('=');
        size_t kept = 0;
        const bool cut = PutFittedValue(a.m_value, a.m_data, lineStart, kept) || idCut;
        ok = EndLine();
        if (ok && cut) WarnCut(writtenID, kept);
    }
    for (size_t i = 0; ok && i < entry->m_tips.size(); ++i) {
        const CTip& t = entry->m_tips[i];
        if (t.m_priority <= 0) continue;
        PutClean(m_tipKeyword);
        m_out.push_back('=');
        AppendInt(m_out, t.m_priority);
        m_out.push_back(' ');
        AppendInt(m_out, t.m_textID);
        m_out.push_back(' ');
        AppendInt(m_out, t.m_descID);
        ok = EndLine();
    }
    if (substituted) entry->m_attrs[0].m_value = ownSysid;
    if (!ok) return false;
    if (CKQTree* sub = entry->GetSubtree()) return WriteTree(sub, recordKey, depth + 1);
    return true;
}

bool CExchangeFile::WriteTree(CKQTree* tree, int recordKey, int depth) {
    if (!tree) return false;
    for (CKQTreeEntry* e : *tree)
        if (!WriteEntry(e, recordKey, depth)) return false;
    return true;
}

bool CExchangeFile::Close() {
    bool ok = !m_failed;
    if (m_fd >= 0) {
        if (m_writing && ok && !Flush()) ok = false;
        // A new file is on the disk before it takes the target's place.
        if (m_writing && ok && !m_tempPath.empty() &&
            (StepFails(WriteStep::Sync) || ::fsync(m_fd) != 0))
            ok = false;
        if (::close(m_fd) != 0 && m_writing) ok = false;
        m_fd = -1;
        if (m_writing && !m_tempPath.empty()) {
            if (ok && (StepFails(WriteStep::Rename) ||
                       ::rename(m_tempPath.c_str(), m_finalPath.c_str()) != 0))
                ok = false;
            if (ok)
                SyncFolderOf(m_finalPath, ok);
            else
                ::unlink(m_tempPath.c_str());
        }
        if (m_writing && !ok && !m_failed) {
            Report(IDS_ERR_CANT_WRITE_FILE, std::string(), true, false);
            m_failed = true;
        }
    }
    m_tempPath.clear();
    m_finalPath.clear();
    m_writing = false;
    m_out.clear();
    return ok;
}

void CExchangeFile::Abandon() {
    if (m_fd >= 0 && m_writing) {
        ::close(m_fd);
        m_fd = -1;
        if (!m_tempPath.empty()) ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
        m_finalPath.clear();
        m_writing = false;
        m_out.clear();
    }
}
