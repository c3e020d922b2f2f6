#include "panes/MyTreeCtrl.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>

#include "document/PaneSources.h"
#include "panes/Bitmaps.h"
#include "panes/PopupMenus.h"
#include "resources/Strings.h"

namespace {
constexpr int kDataRole = Qt::UserRole;
constexpr int kChildrenRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;
constexpr int kIconSize = 16;
}  // namespace

CMyTreeCtrl::CMyTreeCtrl(ISystemSource* source, CWnd* view) : m_source(source), m_view(view) {
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(kIconSize, kIconSize));
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(true);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setAccessibleName(QString::fromStdString(LoadKQString(IDS_ACC_DETAILS_TREE)));
    connect(this, &QTreeWidget::currentItemChanged, this, &CMyTreeCtrl::OnSelectionChanged);
    connect(this, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { OnExpanded(item, true); });
    connect(this, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { OnExpanded(item, false); });
}

CMyTreeCtrl::~CMyTreeCtrl() {
    // Taking the items down must not clear the selected bits kept in the entries.
    m_notify = false;
    disconnect(this, nullptr, this, nullptr);
}

bool CMyTreeCtrl::Create(const QRect& rect, QWidget* parent, int controlID) {
    setParent(parent);
    setObjectName(QStringLiteral("tree%1").arg(controlID));
    setGeometry(rect);
    hide();
    BuildImageList();
    Fill();
    return true;
}

// ---- image list ----

void CMyTreeCtrl::BuildImageList() {
    m_images.clear();
    m_icons.clear();
    m_bitmapMap.clear();
    const QPixmap strip = LoadKQBitmapMasked(IDB_ITEM_IMAGES);
    // The strip may be the doubled one: cut it in device pixels.
    const int unit = int(kIconSize * strip.devicePixelRatio());
    for (int i = 0; i < kFixedIcons; ++i) {
        QPixmap image(kIconSize, kIconSize);
        image.fill(Qt::transparent);
        if (!strip.isNull()) {
            image = strip.copy(i * unit, 0, unit, unit);
            image.setDevicePixelRatio(strip.devicePixelRatio());
        }
        m_images.push_back(image);
    }
    if (m_source) AddEntryBitmaps(&m_source->CurrentTree());
    for (const QPixmap& image : m_images) m_icons.emplace_back(image);
}

void CMyTreeCtrl::AddEntryBitmaps(CKQTree* tree) {
    if (!tree) return;
    for (CKQTreeEntry* entry : *tree) {
        if (!entry) break;
        if (entry->m_bitmap != 0 && !m_bitmapMap.count(entry->m_bitmap)) {
            // The module that owns the entry is asked first for its own picture.
            const std::string module = entry->m_kqaid ? m_source->AnalyzerName(entry->m_kqaid) : "";
            QPixmap bitmap = LoadKQBitmapMasked(entry->m_bitmap, module);
            if (!bitmap.isNull()) {
                const qreal ratio = bitmap.devicePixelRatio();
                const int side = int(kIconSize * ratio);
                if (bitmap.size() != QSize(side, side)) {
                    bitmap =
                        bitmap.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                    bitmap.setDevicePixelRatio(ratio);
                }
                m_bitmapMap[entry->m_bitmap] = int(m_images.size());
                m_images.push_back(bitmap);
            }
        }
        AddEntryBitmaps(entry->m_subtree);
    }
}

int CMyTreeCtrl::ImageForBitmap(uint16_t bitmapID) const {
    if (bitmapID == 0) return kIconEntry;
    auto it = m_bitmapMap.find(bitmapID);
    return it == m_bitmapMap.end() ? int(kIconEntry) : it->second;
}

int CMyTreeCtrl::TipImage(int32_t priority) {
    if (priority >= 80) return 3;
    if (priority >= 50) return 2;
    if (priority >= 1) return 1;
    return 0;
}

int CMyTreeCtrl::ItemImage(QTreeWidgetItem* item) const {
    return item ? item->data(0, kImageRole).toInt() : -1;
}

// ---- filling ----

void CMyTreeCtrl::Fill() {
    m_notify = false;
    clear();
    m_items.clear();
    m_notify = true;
    m_selectAfterFill = nullptr;
    if (m_source) InsertList(&m_source->CurrentTree(), nullptr, 0, 0);
    if (m_selectAfterFill) {
        setCurrentItem(m_selectAfterFill);
        scrollToItem(m_selectAfterFill);
    }
}

QTreeWidgetItem* CMyTreeCtrl::InsertItem(QTreeWidgetItem* parent, const QString& text, int image,
                                         int children, int data) {
    QTreeWidgetItem* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, text);
    if (image >= 0 && image < int(m_icons.size())) item->setIcon(0, m_icons[size_t(image)]);
    item->setData(0, kImageRole, image);
    item->setData(0, kChildrenRole, children);
    item->setData(0, kDataRole, data);
    item->setChildIndicatorPolicy(children > 0 ? QTreeWidgetItem::ShowIndicator
                                               : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    return item;
}

void CMyTreeCtrl::InsertList(CKQTree* list, QTreeWidgetItem* parent, uint16_t kqaid, int depth) {
    if (!list) return;
    for (CKQTreeEntry* entry : *list) {
        if (!entry) break;
        const uint16_t id = entry->m_kqaid != 0 ? entry->m_kqaid : kqaid;

        int listedTips = 0;
        for (int i = 0; i < entry->GetTipCount(); ++i)
            if (entry->GetTip(i)->m_priority >= 0) ++listedTips;
        const int children = (entry->m_subtree ? entry->m_subtree->GetCount() : 0) +
                             entry->GetAttrCount() + listedTips;

        m_items.emplace_back(entry, id, DETAIL_ENTRY, 0, 0);
        QTreeWidgetItem* item =
            InsertItem(parent, QString::fromStdString(entry->GetKey()),
                       ImageForBitmap(entry->m_bitmap), children, int(m_items.size() - 1));

        for (int i = 0; i < entry->GetTipCount(); ++i) {
            CTip* tip = entry->GetTip(i);
            if (tip->m_priority < 0) continue;  // status notes are not tips
            CString text;
            if (m_source) m_source->TipText(id, tip, text);
            m_items.emplace_back(entry, id, DETAIL_TIP, i, 0);
            InsertItem(item, QString::fromStdString(text), TipImage(tip->m_priority), 0,
                       int(m_items.size() - 1));
        }
        for (int i = 0; i < entry->GetAttrCount(); ++i) {
            const CAttr* attr = entry->GetAttr(i);
            m_items.emplace_back(entry, id, DETAIL_ATTR, i, 0);
            InsertItem(item, QString::fromStdString(attr->m_id + " = " + attr->m_value),
                       (attr->m_data & DATA_ALTICON) ? kIconAttrAlt : kIconAttr, 0,
                       int(m_items.size() - 1));
        }
        if (entry->m_flags & ENTRY_EXPANDED) item->setExpanded(true);
        if (entry->m_flags & ENTRY_SELECTED) m_selectAfterFill = item;
        if (entry->m_subtree) InsertList(entry->m_subtree, item, id, depth + 1);

        if (depth == 0) break;  // only the first root entry is shown
    }
}

// ---- queries ----

const CDetailItem* CMyTreeCtrl::ItemData(QTreeWidgetItem* item) const {
    if (!item) return nullptr;
    bool ok = false;
    const int index = item->data(0, kDataRole).toInt(&ok);
    if (!ok || index < 0 || index >= int(m_items.size())) return nullptr;
    return &m_items[size_t(index)];
}

const CDetailItem* CMyTreeCtrl::GetSelectedItem() const { return ItemData(currentItem()); }

void CMyTreeCtrl::SelectNext() {
    QTreeWidgetItem* caret = currentItem();
    QTreeWidgetItem* next = nullptr;
    if (caret) {
        if (caret->childCount() > 0) {
            next = caret->child(0);
        } else {
            for (QTreeWidgetItem* at = caret; at && !next; at = at->parent()) {
                QTreeWidgetItem* parent = at->parent();
                const int index = parent ? parent->indexOfChild(at) : indexOfTopLevelItem(at);
                const int count = parent ? parent->childCount() : topLevelItemCount();
                if (index + 1 < count)
                    next = parent ? parent->child(index + 1) : topLevelItem(index + 1);
            }
        }
    }
    if (!next) next = topLevelItem(0);
    if (next) {
        setCurrentItem(next);
        scrollToItem(next);
    }
}

// ---- notifications ----

void CMyTreeCtrl::OnSelectionChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    if (!m_notify) return;
    if (const CDetailItem* old = ItemData(previous); old && old->m_entry)
        old->m_entry->m_flags &= ~uint32_t(ENTRY_SELECTED);
    if (const CDetailItem* now = ItemData(current)) {
        if (now->m_entry) now->m_entry->m_flags |= ENTRY_SELECTED;
        CDetailItem copy = *now;
        if (m_view)
            m_view->SendMessage(UM_ITEMACTION, uintptr_t(IA_DETAILS_DESCRIBE),
                                reinterpret_cast<intptr_t>(&copy));
    }
}

void CMyTreeCtrl::OnExpanded(QTreeWidgetItem* item, bool expanded) {
    const CDetailItem* data = ItemData(item);
    if (!data || !data->m_entry) return;
    if (expanded)
        data->m_entry->m_flags |= ENTRY_EXPANDED;
    else
        data->m_entry->m_flags &= ~uint32_t(ENTRY_EXPANDED);
}

void CMyTreeCtrl::SendItemAction(int code) {
    const CDetailItem* selected = GetSelectedItem();
    if (!selected || !m_view) return;
    CDetailItem copy = *selected;
    m_view->SendMessage(UM_ITEMACTION, uintptr_t(code), reinterpret_cast<intptr_t>(&copy));
}

void CMyTreeCtrl::OnCommand(int id) {
    switch (id) {
        case ID_TELL_ME_MORE:
            SendItemAction(IA_TREE_HELP);
            break;
        case ID_RUN_THIS_TEST:
            SendItemAction(IA_RUN_TEST);
            break;
        case ID_SYSTEM_PROPERTIES:
            SendItemAction(IA_PROPERTIES);
            break;
        default:
            break;
    }
}

// ---- context menu ----

QMenu* CMyTreeCtrl::PrepareContextMenu(const QPoint& pos) {
    QTreeWidgetItem* hit = itemAt(pos);
    const CDetailItem* data = ItemData(hit);
    if (!data) return nullptr;
    setCurrentItem(hit);

    delete m_menu;
    m_menu = LoadPopupMenu(POPUP_DETAIL, this);
    if (QAction* run = FindMenuCommand(m_menu, ID_RUN_THIS_TEST))
        run->setEnabled(data->m_kind == DETAIL_ENTRY);

    bool properties = false;
    if (data->m_kind == DETAIL_ENTRY && m_source)
        properties = m_source->OffersProperties(data->m_kqaid);
    if (!properties)
        if (QAction* props = FindMenuCommand(m_menu, ID_SYSTEM_PROPERTIES))
            m_menu->removeAction(props);
    return m_menu;
}

void CMyTreeCtrl::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Mouse)
        TrackContextMenu(event->pos());
    else
        ContextMenuForCaret();
}

void CMyTreeCtrl::ContextMenuForCaret() {
    // From the keyboard the menu belongs to the focused item, shown at that item.
    QTreeWidgetItem* caret = currentItem();
    if (!caret) return;
    scrollToItem(caret);
    TrackContextMenu(visualItemRect(caret).center());
}

void CMyTreeCtrl::TrackContextMenu(const QPoint& pos) {
    if (m_menuShowing) return;
    QMenu* menu = PrepareContextMenu(pos);
    if (!menu) return;
    m_menuShowing = true;
    QAction* chosen = menu->exec(viewport()->mapToGlobal(pos));
    m_menuShowing = false;
    if (chosen) OnCommand(chosen->data().toInt());
}

void CMyTreeCtrl::keyPressEvent(QKeyEvent* event) {
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (shiftF10 || (event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier)) {
        ContextMenuForCaret();
        event->accept();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // As a double click does.
        SendItemAction(IA_TREE_HELP);
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

bool CMyTreeCtrl::IsTextCutOff(QTreeWidgetItem* item) const {
    if (!item) return false;
    const QModelIndex index = indexFromItem(item);
    const QRect shown = visualRect(index);
    if (!shown.isValid()) return false;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = shown;
    const int needed = itemDelegateForIndex(index)->sizeHint(option, index).width();
    return needed > shown.width() || shown.left() + needed > viewport()->width();
}

bool CMyTreeCtrl::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QTreeWidget::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    QTreeWidgetItem* item = itemAt(help->pos());
    if (item && IsTextCutOff(item)) {
        QToolTip::showText(help->globalPos(), item->text(0), viewport(), visualItemRect(item));
    } else {
        QToolTip::hideText();
        event->ignore();
    }
    return true;
}

void CMyTreeCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && itemAt(event->pos())) SendItemAction(IA_TREE_HELP);
}

void CMyTreeCtrl::showEvent(QShowEvent* event) {
    QTreeWidget::showEvent(event);
    if (QTreeWidgetItem* caret = currentItem()) scrollToItem(caret);
    setFocus(Qt::OtherFocusReason);
}
