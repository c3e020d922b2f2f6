#include "panes/Pane.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>

CPane::~CPane() {
    if (m_events) m_events->Unsubscribe(this);
}

void CPane::Create(IPaneView* view, const QRect& tabRect, const QFont* font) {
    m_view = view;
    m_tabRect = tabRect;
    m_font = font;
    const QFontMetrics metrics(view->Widget()->font());
    m_textHeight = metrics.height();
    m_aveCharWidth = metrics.averageCharWidth();
    CreateWindows();
    m_events = &view->DocumentEvents();
    m_events->Subscribe(this);
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

bool CPane::TreeRebuilt(DocEvent kind) {
    return kind == DocEvent::ResultsChanged || kind == DocEvent::PropertiesChanged ||
           kind == DocEvent::TipsRebuilt || kind == DocEvent::DatabaseRead;
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

IFrameServices& CPane::Frame() const { return m_view->Frame(); }
