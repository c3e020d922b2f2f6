#include "platform/HelpWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "resources/Strings.h"

CHelpWindow::CHelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setOpenExternalLinks(false);
    m_browser->setOpenLinks(true);
    resize(560, 480);
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
