#include "panes/list/OwnerDrawList.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

#include "panes/list/ListRowDelegate.h"
#include "panes/QtText.h"

namespace {

constexpr int kFlushInterval = 250;  // ms between batches of listed rows

}  // namespace

// The list control itself: rows drawn by the delegate, the focus rectangle after the image,
// and the right button reported on release only.
class CListView : public QTreeView {
public:
    explicit CListView(COwnerDrawList* list) : QTreeView(list), m_list(list) {}

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override {
        QTreeView::drawRow(painter, option, index);
        if (!hasFocus() || index.row() != currentIndex().row()) return;
        QRect r = option.rect;
        r.setLeft(r.left() + m_list->Delegate()->ImageWidth());
        painter->save();
        QPen pen(palette().color(QPalette::Text));
        pen.setStyle(Qt::DotLine);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(r.adjusted(0, 0, -1, -1));
        painter->restore();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::RightButton && !m_list->m_rightPressSelects) return;
        QTreeView::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::RightButton) {
            const QModelIndex index = indexAt(event->position().toPoint());
            emit m_list->RightButtonUp(index.isValid() ? index.row() : -1,
                                       event->globalPosition().toPoint());
            return;
        }
        QTreeView::mouseReleaseEvent(event);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QTreeView::mouseDoubleClickEvent(event);
        if (event->button() != Qt::LeftButton) return;
        const QModelIndex index = indexAt(event->position().toPoint());
        emit m_list->RowDoubleClicked(index.isValid() ? index.row() : -1,
                                      event->globalPosition().toPoint());
    }

private:
    COwnerDrawList* m_list;
};

// Column titles cut by their section end in an ellipsis (the whole title is the tool tip).
class CListHeader : public QHeaderView {
public:
    explicit CListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
        setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);  // as a tree view's own header
    }

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override {
        QHeaderView::initStyleOptionForIndex(option, logicalIndex);
        QStyleOptionHeader section = *option;
        section.rect = QRect(0, 0, sectionSize(logicalIndex), height());
        const QRect label = style()->subElementRect(QStyle::SE_HeaderLabel, &section, this);
        option->text = option->fontMetrics.elidedText(option->text, Qt::ElideRight, label.width());
    }
};

COwnerDrawList::COwnerDrawList(int controlID, QWidget* parent)
    : QWidget(parent),
      m_controlID(controlID),
      m_model(new CListModel(this)),
      m_delegate(new CListRowDelegate(this)),
      m_view(new CListView(this)) {
    setObjectName(QString::number(controlID));
    m_view->setHeader(new CListHeader(m_view));
    m_view->setModel(m_model);
    m_view->setItemDelegate(m_delegate);
    m_view->setRootIsDecorated(false);
    m_view->setItemsExpandable(false);
    m_view->setUniformRowHeights(true);
    m_view->setAllColumnsShowFocus(true);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSortingEnabled(false);
    m_view->setContextMenuPolicy(Qt::PreventContextMenu);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setTextElideMode(Qt::ElideNone);
    m_view->header()->setStretchLastSection(false);
    m_view->header()->setSectionsMovable(false);
    m_view->header()->setSectionsClickable(true);
    m_flushTimer = new QTimer(this);
    m_flushTimer->setSingleShot(true);
    m_flushTimer->setInterval(kFlushInterval);
    connect(m_flushTimer, &QTimer::timeout, this, [this] { Flush(); });
    connect(m_view->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { emit HeaderClicked(column); });
    // While rows move, the flags travel with their rows: what the selection model reports
    // then is not a change of state.
    auto begin = [this] { ++m_structural; };
    auto end = [this] { --m_structural; };
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this, begin);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, end);
    connect(m_model, &QAbstractItemModel::rowsAboutToBeInserted, this, begin);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, end);
    connect(m_model, &QAbstractItemModel::layoutAboutToBeChanged, this, begin);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, end);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &COwnerDrawList::OnSelectionChanged);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                OnCurrentChanged(current.isValid() ? current.row() : -1,
                                 previous.isValid() ? previous.row() : -1);
            });
    PlaceView();
}

COwnerDrawList::~COwnerDrawList() = default;

// ---- style ----

void COwnerDrawList::SetCaption(const QString& caption) {
    setWindowTitle(caption);
    PlaceView();
    update();
}

void COwnerDrawList::SetMultipleSelection(bool multiple) {
    m_view->setSelectionMode(multiple ? QAbstractItemView::ExtendedSelection
                                      : QAbstractItemView::SingleSelection);
}

void COwnerDrawList::SetHeaderVisible(bool visible) { m_view->setHeaderHidden(!visible); }

void COwnerDrawList::SetListFont(const QFont& font) {
    m_view->setFont(font);
    m_view->doItemsLayout();
}

void COwnerDrawList::SetImageList(std::vector<QPixmap> images) {
    m_delegate->SetImageList(std::move(images));
    m_view->viewport()->update();
}

int COwnerDrawList::ImageCount() const { return int(m_delegate->Images().size()); }

// ---- columns ----

void COwnerDrawList::InsertColumn(int column, const QString& header, int width) {
    column = std::clamp(column, 0, ColumnCount());
    m_model->InsertColumn(column, header.toStdString());
    m_view->setColumnWidth(column, width);
}

void COwnerDrawList::SetColumnWidth(int column, int width) {
    if (column >= 0 && column < ColumnCount()) m_view->setColumnWidth(column, width);
}

int COwnerDrawList::GetColumnWidth(int column) const { return m_view->columnWidth(column); }

// ---- rows ----

int COwnerDrawList::AppendRow(std::vector<std::string> cells, int image, int32_t data,
                              bool deferred) {
    // Deferred rows reach the screen a few times a second while a listing runs.
    if (deferred && !m_flushTimer->isActive()) m_flushTimer->start();
    return m_model->AppendRow(std::move(cells), image, data, deferred);
}

int COwnerDrawList::InsertRow(int row, std::vector<std::string> cells, int image, int32_t data) {
    return m_model->InsertRow(row, std::move(cells), image, data);
}

void COwnerDrawList::DeleteRow(int row) { m_model->RemoveRow(row); }

void COwnerDrawList::DeleteAllColumns() {
    m_model->RemoveAllColumns();
    m_announcedFocus = -1;
}

void COwnerDrawList::DeleteAllRows() {
    m_model->RemoveAllRows();
    m_announcedFocus = -1;
}

const std::string& COwnerDrawList::GetCellText(int row, int column) const {
    return m_model->Cell(row, column);
}

void COwnerDrawList::SetCellText(int row, int column, const std::string& text) {
    m_model->SetCell(row, column, text);
}

int COwnerDrawList::GetItemImage(int row) const {
    return row >= 0 && row < RowCount() ? m_model->Row(row).m_image : -1;
}

void COwnerDrawList::SetItemImage(int row, int image) { m_model->SetImage(row, image); }

int32_t COwnerDrawList::GetItemData(int row) const {
    return row >= 0 && row < RowCount() ? m_model->Row(row).m_data : 0;
}

void COwnerDrawList::SetItemData(int row, int32_t data) { m_model->SetItemData(row, data); }

int COwnerDrawList::FindRow(int32_t data) const { return m_model->FindRow(data); }

void COwnerDrawList::SortRows(const std::function<bool(int, int)>& less) {
    m_model->SortRows(less);
    m_announcedFocus = FocusRow();
}

void COwnerDrawList::Flush() { m_model->Flush(); }

// ---- selection and focus ----

void COwnerDrawList::SelectRow(int row, bool select) {
    Flush();
    if (row < 0 || row >= RowCount()) return;
    m_view->selectionModel()->select(
        m_model->index(row, 0),
        (select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
            QItemSelectionModel::Rows);
}

void COwnerDrawList::DeselectAll() {
    Flush();
    m_view->selectionModel()->clearSelection();
}

int COwnerDrawList::SelectedCount() const {
    int count = 0;
    for (int row = 0; row < RowCount(); ++row) count += m_model->Row(row).m_selected ? 1 : 0;
    return count;
}

std::vector<int> COwnerDrawList::SelectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < RowCount(); ++row)
        if (m_model->Row(row).m_selected) rows.push_back(row);
    return rows;
}

bool COwnerDrawList::IsRowSelected(int row) const {
    return row >= 0 && row < RowCount() && m_model->Row(row).m_selected;
}

int COwnerDrawList::FocusRow() const {
    const QModelIndex current = m_view->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void COwnerDrawList::SetFocusRow(int row) {
    Flush();
    if (row < 0 || row >= RowCount()) return;
    m_view->selectionModel()->setCurrentIndex(m_model->index(row, 0),
                                              QItemSelectionModel::NoUpdate);
}

void COwnerDrawList::OnSelectionChanged(const QItemSelection& selected,
                                        const QItemSelection& deselected) {
    if (m_structural > 0) return;
    const int focus = FocusRow();
    // Rows are selected whole: a range's rows are the rows whose state changed.
    auto apply = [&](const QItemSelection& ranges, bool state) {
        for (const QItemSelectionRange& range : ranges) {
            for (int row = range.top(); row <= range.bottom(); ++row) {
                if (row >= RowCount() || m_model->Row(row).m_selected == state) continue;
                m_model->SetSelectedFlag(row, state);
                if (row == focus) m_announcedFocus = row;
                emit RowStateChanged(row, state, row == focus);
            }
        }
    };
    apply(deselected, false);
    apply(selected, true);
}

void COwnerDrawList::OnCurrentChanged(int current, int previous) {
    if (m_structural > 0) {
        m_announcedFocus = current;
        return;
    }
    if (previous >= 0 && previous < RowCount() && previous != current)
        emit RowStateChanged(previous, IsRowSelected(previous), false);
    if (current >= 0 && current != m_announcedFocus)
        emit RowStateChanged(current, IsRowSelected(current), true);
    m_announcedFocus = current;
}

// ---- geometry ----

int COwnerDrawList::RowHeight() const {
    return CListRowDelegate::RowHeight(QFontMetrics(m_view->font()));
}

int COwnerDrawList::RowsPerPage() const {
    // From the list's own size: a hidden list has not laid out its viewport yet.
    int h = height() - TitleHeight() - 2 * m_view->frameWidth();
    if (!m_view->isHeaderHidden()) h -= m_view->header()->sizeHint().height();
    return std::max(1, h / RowHeight());
}

int COwnerDrawList::HitTest(const QPoint& pos) const {
    const QPoint inViewport = m_view->viewport()->mapFrom(this, pos);
    const QModelIndex index = m_view->indexAt(inViewport);
    return index.isValid() ? index.row() : -1;
}

QRect COwnerDrawList::RowRect(int row) const {
    const QModelIndex index = m_model->index(row, 0);
    QRect r = m_view->visualRect(index);
    if (!r.isValid()) return {};
    r.setLeft(0);
    r.setRight(m_view->viewport()->width() - 1);
    return QRect(m_view->viewport()->mapTo(this, r.topLeft()), r.size());
}

int COwnerDrawList::TitleHeight() const {
    if (windowTitle().isEmpty()) return 0;
    QFont bold = font();
    bold.setBold(true);
    return QFontMetrics(bold).height() + 4;
}

int COwnerDrawList::ClientWidth() const {
    int w = width() - 2 * m_view->frameWidth();
    if (m_view->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn)
        w -= m_view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_view);
    return std::max(0, w);
}

void COwnerDrawList::SetRect(const QRect& rect) {
    setGeometry(rect);
    PlaceView();
}

void COwnerDrawList::SetScrollBarAlwaysOn(bool on) {
    m_view->setVerticalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
}

void COwnerDrawList::ShowLastColumn() {
    // The scroll range follows the columns only once the view has laid them out.
    m_view->doItemsLayout();
    QScrollBar* bar = m_view->horizontalScrollBar();
    bar->setValue(bar->maximum());
}

int COwnerDrawList::TextWidth(const std::string& text) const {
    // Called for every cell a listing writes: ASCII text is measured as the sum of its
    // characters' advances (kept per font), which needs no text layout.
    if (!m_metrics || m_metricsFont != m_view->font()) {
        m_metricsFont = m_view->font();
        m_metrics.emplace(m_metricsFont);
        m_advances.fill(-1);
    }
    int width = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 128) return m_metrics->horizontalAdvance(Q(text));
        int& advance = m_advances[byte];
        if (advance < 0) advance = m_metrics->horizontalAdvance(QChar(byte));
        width += advance;
    }
    return width;
}

void COwnerDrawList::PlaceView() {
    const int title = TitleHeight();
    m_view->setGeometry(0, title, width(), std::max(0, height() - title));
}

// ---- rows as text ----

QString COwnerDrawList::HeaderText(int column) const { return Q(m_model->HeaderText(column)); }

QString COwnerDrawList::CellText(int row, int column) const {
    return Q(m_model->Cell(row, column));
}

// ---- painting ----

void COwnerDrawList::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceView();
}

void COwnerDrawList::paintEvent(QPaintEvent*) {
    const int title = TitleHeight();
    if (title == 0) return;
    // The caption bar: a title strip in the active caption colours.
    QPainter painter(this);
    const QRect strip(0, 0, width(), title);
    painter.fillRect(strip, palette().color(QPalette::Highlight));
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(palette().color(QPalette::HighlightedText));
    painter.drawText(strip.adjusted(4, 0, -4, 0),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, windowTitle());
}
