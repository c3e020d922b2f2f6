#include "app/LogWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QVBoxLayout>
#include <map>

#include "platform/OwnedWindows.h"

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
    // Appended line by line, so that a crash keeps everything logged so far.
    QFile f(m_file);
    if (f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        f.write(line);
        f.write("\n");
    }
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
