// The help viewer: help files are HTML; context number N is the anchor named N, 0 the top.
#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    // Loads the file and scrolls to the context; false when the file cannot be read.
    bool ShowHelp(const QString& helpFile, int context);
    QString CurrentFile() const { return m_file; }
    int CurrentContext() const { return m_context; }
    QTextBrowser* Browser() const { return m_browser; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    QTextBrowser* m_browser;
    QString m_file;
    int m_context = 0;
    bool m_placed = false;
};
