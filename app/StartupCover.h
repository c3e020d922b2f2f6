// The welcome card shown over the main window while the analyzers load.
#pragma once

#include <QFont>
#include <QPixmap>
#include <QWidget>

class CStartupCover : public QWidget {
    Q_OBJECT
public:
    // rect: the frame's creation rectangle; the card is sized about its centre.
    CStartupCover(QWidget* owner, const QRect& rect);

    // The card's measures (a tenth of an inch, the welcome font's height, the border).
    int Mx() const { return m_mx; }
    int My() const { return m_my; }
    int TextHeight() const { return m_h; }
    static constexpr int kBorder = 1;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QFont m_font;
    QPixmap m_bitmap;
    int m_mx = 9, m_my = 9, m_h = 0;
};
