#include "panes/DetailsPane.h"

#include <QPainter>

CDetailsPane::~CDetailsPane() { DestroyWindows(); }

int CDetailsPane::Middle() const {
    const QRect area = PaneRect();
    return area.left() + area.width() / 2;
}

void CDetailsPane::CreateWindows() {
    const QRect area = PaneRect();
    const int middle = Middle();
    CMyTreeCtrl* tree = new CMyTreeCtrl(&m_source, m_view);
    m_tree = tree;
    tree->Create(QRect(area.left(), area.top(), middle - area.left(), area.height()), ViewWidget(),
                 kTreeID);
    CRightPane* right = new CRightPane(m_view);
    m_rightPane = right;
    right->Create(
        QRect(middle + 2, area.top(), std::max(0, area.right() + 1 - (middle + 2)), area.height()),
        ViewWidget(), kRightPaneID, false, false);
    right->SetTellMeMoreCode(IA_DETAILS_BOX);
    m_upToDate = 0;
}

void CDetailsPane::DestroyWindows() {
    delete m_tree.data();
    delete m_rightPane.data();
}

void CDetailsPane::OnResize() {
    // Re-created at the new size; expansion and selection come back from the entry flags.
    DestroyWindows();
    CreateWindows();
}

void CDetailsPane::OnDocumentEvent(const DocumentEvent& event) {
    if (TreeRebuilt(event.kind) || event.kind == DocEvent::RecordChanged) m_upToDate = 0;
}

void CDetailsPane::OnShow(bool show) {
    if (m_tree && !m_upToDate) {
        m_tree->Fill();
        m_upToDate = 1;
    }
    if (m_tree) m_tree->setVisible(show);
    if (m_rightPane) m_rightPane->Show(show);
}

void CDetailsPane::OnDraw(QPainter& painter) {
    const QRect area = PaneRect();
    const int middle = Middle();
    painter.drawLine(middle, area.top(), middle, area.bottom());
    painter.drawLine(middle + 1, area.top(), middle + 1, area.bottom());
}

void CDetailsPane::DescribeAttr(KQAID id, const CAttr& attr) {
    if (!m_rightPane) return;
    CAttr copy = attr;
    CString text;
    m_source.AttrDesc(id, &copy, text);
    m_rightPane->SetText(text);
    m_rightPane->repaint();
}

void CDetailsPane::DescribeTip(KQAID id, const CTip& tip) {
    if (!m_rightPane) return;
    CTip copy = tip;
    CString text;
    m_source.TipDesc(id, &copy, text);
    m_rightPane->SetText(text);
    m_rightPane->repaint();
}

const CDetailItem* CDetailsPane::CurrentItem() const {
    return m_tree ? m_tree->GetSelectedItem() : nullptr;
}
