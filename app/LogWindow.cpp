#include "app/LogWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/OwnedWindows.h"
#include "resources/Strings.h"

namespace {

std::map<uint32_t, QPointer<CLogWindow>>& Displays() {
    static std::map<uint32_t, QPointer<CLogWindow>> displays;
    return displays;
}
uint32_t g_nextHandle = 1;

}  // namespace

CLogWindow::CLogWindow(const QString& title, QWidget* owner, uint32_t notifyMessage)
    : QWidget(owner, Qt::Tool),
      m_view(new QPlainTextEdit(this)),
      m_owner(owner),
      m_message(notifyMessage) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    m_view->setReadOnly(true);
    // Long lines (paths, analyzer messages) wrap rather than scroll sideways.
    m_view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    resize(520, 300);
    EnsureTransientFor(this);
}

bool CLogWindow::RestorePlacement(const QByteArray& geometry) {
    if (geometry.isEmpty() || !restoreGeometry(geometry)) return false;
    m_placed = true;
    return true;
}

void CLogWindow::showEvent(QShowEvent* e) {
    if (!m_placed) m_placed = MoveBesideOwner(this);
    QWidget::showEvent(e);
    // Lines added while hidden were laid out for no size: the newest is what the user wants.
    ScrollToNewest();
}

void CLogWindow::ScrollToNewest() {
    QScrollBar* bar = m_view->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void CLogWindow::Display(const QByteArray& line) {
    // A user who scrolled back to read is left there; otherwise the newest line shows.
    QScrollBar* bar = m_view->verticalScrollBar();
    const bool follow = !isVisible() || bar->value() == bar->maximum();
    m_view->appendPlainText(QString::fromUtf8(line));
    if (follow) ScrollToNewest();
    if (m_file.isEmpty()) return;
    // Appended line by line, so that a crash keeps everything logged so far. Never through a
    // symbolic link, which would append to whatever file it names, nor into anything but a
    // plain file (opening a FIFO would block).
    const int fd =
        ::open(QFile::encodeName(m_file).constData(),
               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat st {};
    // ELOOP: a link; ENXIO: a FIFO nobody reads.
    const bool refused =
        fd < 0 ? errno == ELOOP || errno == ENXIO : ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode);
    if (refused) {
        if (fd >= 0) ::close(fd);
        // Said once in the window; the file is not tried again.
        const std::string note = FormatKQString(IDS_LOG_FILE_REFUSED, m_file.toStdString());
        m_file.clear();
        m_view->appendPlainText(QString::fromStdString(note));
        return;
    }
    if (fd < 0) return;
    const QByteArray text = line + '\n';
    for (qsizetype done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.constData() + done, size_t(text.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    ::close(fd);
}

QStringList CLogWindow::Lines() const {
    QStringList lines = m_view->toPlainText().split(QLatin1Char('\n'));
    if (lines.size() == 1 && lines.first().isEmpty()) lines.clear();
    return lines;
}

void CLogWindow::closeEvent(QCloseEvent* e) {
    // The user closed it: only hidden, the owner hears of it.
    e->ignore();
    hide();
    if (m_owner) {
        CLogNotifyEvent notify(m_message);
        QCoreApplication::sendEvent(m_owner, &notify);
    }
}

void zLogDspInit() {}

uint32_t zLogDspCreate(const char* title, int, QWidget* owner, uint32_t, uint32_t notifyMessage,
                       int shown) {
    auto* window = new CLogWindow(QString::fromUtf8(title ? title : ""), owner, notifyMessage);
    const uint32_t handle = g_nextHandle++;
    Displays()[handle] = window;
    if (shown) window->show();
    return handle;
}

CLogWindow* zldWindow(uint32_t handle) {
    auto it = Displays().find(handle);
    return it == Displays().end() ? nullptr : it->second.data();
}

void zldSetLogFile(uint32_t handle, const char* path) {
    if (CLogWindow* w = zldWindow(handle)) w->SetLogFile(QString::fromUtf8(path ? path : ""));
}

void zldDisplay(uint32_t handle, const char* text) {
    if (CLogWindow* w = zldWindow(handle)) w->Display(QByteArray(text ? text : ""));
}

void zldShowDisplay(uint32_t handle, int show) {
    if (CLogWindow* w = zldWindow(handle)) {
        if (show) {
            w->show();
            w->raise();
        } else {
            w->hide();
        }
    }
}

void zLogDspClose(uint32_t handle) {
    auto it = Displays().find(handle);
    if (it == Displays().end()) return;
    delete it->second.data();
    Displays().erase(it);
}
