// The Summary pane's top right quarter: the product logo laid out from text, the "Analyze Now"
// and "Help" buttons, and the publisher's web link.
#pragma once

#include <QFont>
#include <QPointer>
#include <QPushButton>
#include <QRect>
#include <QWidget>

class IPaneCommands;

// The logo's fonts, box and text origins (origins are the top-left of each text's cell).
struct CLogoLayout {
    int a = 0;  // height of the big first letter
    int s = 0;  // height of the suffix and the buttons' font
    int d = 0;  // the subtitle's height found by bisection
    int w1 = 0, w2 = 0, w3 = 0, w4 = 0;
    int p = 0;                  // spacing
    int cap = 0;                // cap height of the first letter
    int width = 0, height = 0;  // E and H
    bool rescaled = false;      // laid out again with a smaller a (panel narrower than logo)
    QString word, suffix, subtitle;
    QFont f1, f2, f3, f4, subtitleFont, linkFont;
    QRect box;
    QPoint first, middle, last, suffixAt, subtitleAt;

    // Lays the logo out in q for the title (string 73) and subtitle (string 60).
    static CLogoLayout Make(const QRect& q, const QString& title, const QString& subtitle);
    static CLogoLayout MakeOnce(const QRect& q, int a, const QString& title,
                                const QString& subtitle);
};

// "Times New Roman" or "Arial" at a character height of px pixels.
QFont LogoFont(const char* family, int px, int weight);

// The owner-drawn link: dark green and underlined when a browser can be started.
class CWebLink : public QPushButton {
    Q_OBJECT

public:
    CWebLink(const QString& text, bool enabled, QWidget* parent);
    bool LinkEnabled() const { return m_enabled; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_enabled;
};

class CSummaryPanel : public QWidget {
    Q_OBJECT

public:
    enum { kPanelID = 13 };

    // browser: the application can launch a browser (the link's enabled flag).
    CSummaryPanel(IPaneCommands* commands, bool browser, const QRect& rect, QWidget* parent);

    const CLogoLayout& Logo() const { return m_logo; }
    QPushButton* AnalyzeButton() const { return m_analyze; }
    QPushButton* HelpButton() const { return m_help; }
    CWebLink* Link() const { return m_link; }
    const QFont& ButtonFont() const { return m_buttonFont; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void Layout(bool browser);

    IPaneCommands* m_commands;
    QPointer<QPushButton> m_analyze;
    QPointer<QPushButton> m_help;
    QPointer<CWebLink> m_link;
    CLogoLayout m_logo;
    QFont m_buttonFont;
};
