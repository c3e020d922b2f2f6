#include "panes/RightPane.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "analyzers/KQAnalyzer.h"
#include "reports/DetailItem.h"
#include "panes/PopupMenus.h"
#include "resources/Strings.h"

CRightPane::CRightPane(CWnd* owner) : m_owner(owner) {}

CRightPane::~CRightPane() = default;

bool CRightPane::Create(const QRect& rect, QWidget* parent, int controlID, bool caption,
                        bool visible) {
    setParent(parent);
    m_controlID = controlID;
    m_caption = caption;
    setObjectName(QStringLiteral("rightpane%1").arg(controlID));
    setWindowTitle(QString::fromStdString(LoadKQString(IDS_ABOUT_ADDITIONAL_INFO)));
    setGeometry(rect);

    // The button is measured in the parent's default font.
    const QString label = QString::fromStdString(LoadKQString(IDS_TELL_ME_MORE));
    const QFontMetrics metrics(parent ? parent->font() : font());
    const int w = metrics.horizontalAdvance(label);
    m_buttonHeight = (metrics.height() * 7 + 2) / 4;
    m_buttonWidth = 2 * metrics.averageCharWidth() + w;
    m_button = new QPushButton(label, this);
    m_button->setObjectName(QStringLiteral("button%1").arg(int(ID_TELL_ME_MORE)));
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setAccessibleName(label);
    setAccessibleName(QString::fromStdString(LoadKQString(IDS_DESCRIPTION)));
    m_button->resize(m_buttonWidth, m_buttonHeight);
    connect(m_button, &QPushButton::clicked, this, &CRightPane::OnTellMeMore);
    PlaceButton();
    m_button->setVisible(visible);
    setVisible(visible);
    return true;
}

void CRightPane::SetText(const std::string& text) {
    m_text = text;
    // A screen reader reads the painted text through the description.
    setAccessibleDescription(QString::fromStdString(text));
    update();
}

void CRightPane::Show(bool show) {
    setVisible(show);
    if (m_button) m_button->setVisible(show);
}

void CRightPane::OnTellMeMore() {
    if (m_owner) m_owner->SendMessage(UM_ITEMACTION, uintptr_t(m_tellMeMoreCode), 0);
}

void CRightPane::OnContextMenu(const QPoint& globalPos) {
    if (!m_contextMenu) m_contextMenu = LoadPopupMenu(POPUP_SUMMARY, this);
    QAction* chosen = m_contextMenu->exec(globalPos);
    if (chosen && chosen->data().toInt() == ID_TELL_ME_MORE) OnTellMeMore();
}

QRect CRightPane::ClientRect() const {
    QRect client = rect();
    if (m_caption) client.setTop(QFontMetrics(font()).height() + 4);
    return client;
}

QRect CRightPane::TextRect() const {
    QRect r = ClientRect();
    r.setBottom(r.bottom() - m_buttonHeight);
    return r;
}

void CRightPane::PlaceButton() {
    if (!m_button) return;
    const QRect client = ClientRect();
    m_button->move(client.left() + (client.width() - m_buttonWidth) / 2,
                   client.top() + client.height() - m_buttonHeight);
}

void CRightPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor window = palette().color(QPalette::Base);
    if (m_caption) {
        QRect bar = rect();
        bar.setBottom(ClientRect().top() - 1);
        painter.fillRect(bar, palette().color(QPalette::Highlight));
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawText(bar.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         windowTitle());
    }
    const QRect box = TextRect();
    painter.setPen(QPen(window, 1));
    painter.setBrush(window);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    // Word wrap, no mnemonic processing: an ampersand shows as it is; clipped to the box.
    painter.setPen(palette().color(QPalette::Text));
    painter.setClipRect(box);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     QString::fromStdString(m_text));
}

void CRightPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceButton();
}

void CRightPane::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (m_owner) m_owner->SendMessage(UM_ITEMACTION, uintptr_t(IA_DEFAULT_HELP), 0);
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void CRightPane::contextMenuEvent(QContextMenuEvent* event) { OnContextMenu(event->globalPos()); }
