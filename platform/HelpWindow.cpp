#include "platform/HelpWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/OwnedWindows.h"
#include "resources/Strings.h"

CHelpWindow::CHelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setOpenExternalLinks(false);
    m_browser->setOpenLinks(true);
    resize(560, 480);
    EnsureTransientFor(this);
}

void CHelpWindow::showEvent(QShowEvent* e) {
    // Opened first beside the main window; later the user's own placement stands.
    if (!m_placed) m_placed = MoveBesideOwner(this);
    QWidget::showEvent(e);
}

bool CHelpWindow::ShowHelp(const QString& helpFile, int context) {
    QFile f(helpFile);
    if (!f.open(QIODevice::ReadOnly)) return false;
    m_file = helpFile;
    m_context = context;
    QUrl url = QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath());
    // The .HLP name says nothing about the contents; they are HTML.
    m_browser->setSearchPaths({QFileInfo(helpFile).absolutePath()});
    m_browser->setSource(url, QTextDocument::HtmlResource);
    if (context != 0)
        m_browser->scrollToAnchor(QString::number(context));
    else
        m_browser->verticalScrollBar()->setValue(0);
    QString title = m_browser->documentTitle();
    if (title.isEmpty())
        title = QFileInfo(helpFile).completeBaseName() + QLatin1Char(' ') +
                QString::fromStdString(LoadKQString(IDS_HELP_BUTTON));
    setWindowTitle(title);
    return true;
}
