#include "panes/Pane.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>

void CPane::Create(IPaneView* view, CQuillo95Doc* doc, const QRect& tabRect, const QFont* font) {
    m_view = view;
    m_doc = doc;
    m_tabRect = tabRect;
    m_font = font;
    const QFontMetrics metrics(view->Widget()->font());
    m_textHeight = metrics.height();
    m_aveCharWidth = metrics.averageCharWidth();
    CreateWindows();
}

void CPane::Resize(const QRect& tabRect) {
    m_tabRect = tabRect;
    if (m_view) OnResize();
}

void CPane::Show(bool show) {
    if (m_view) OnShow(show);
}

void CPane::Refresh() {
    if (m_view) OnRefresh();
}

void CPane::Draw(QPainter& painter) {
    if (m_view) OnDraw(painter);
}

QRect CPane::PaneRect() const {
    if (!m_view) return {};
    const QRect client = m_view->Widget()->rect();
    const int top = m_tabRect.y() + m_tabRect.height();
    return QRect(client.left(), top, client.width(), std::max(0, client.height() - top));
}

QWidget* CPane::ViewWidget() const { return m_view ? m_view->Widget() : nullptr; }

CWnd* CPane::Owner() const { return m_view; }

IPaneCommands* CPane::Commands() const { return m_view; }
