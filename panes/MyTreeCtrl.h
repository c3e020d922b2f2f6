// The details tree: every entry, attribute and listed tip of the current system's tree,
// each with its icon; selection and expansion live in the entries' flag words.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QTreeWidget>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "reports/DetailItem.h"

class ISystemSource;
class CWnd;
class CKQTree;
class QMenu;

class CMyTreeCtrl : public QTreeWidget {
    Q_OBJECT

public:
    enum { kFirstFixedIcon = 4, kIconAttr = 4, kIconEntry = 5, kIconAttrAlt = 6, kFixedIcons = 7 };

    // source: this machine's tree and its analyzers' texts (null: an empty tree).
    CMyTreeCtrl(ISystemSource* source, CWnd* view);
    ~CMyTreeCtrl() override;

    bool Create(const QRect& rect, QWidget* parent, int controlID);
    void Fill();
    // The caret item's reference; null when nothing is selected.
    const CDetailItem* GetSelectedItem() const;
    void SelectNext();

    // Image list: the icons and the image index of an entry's bitmap (5 when none).
    const std::vector<QPixmap>& Images() const { return m_images; }
    int ImageForBitmap(uint16_t bitmapID) const;
    static int TipImage(int32_t priority);
    int ItemImage(QTreeWidgetItem* item) const;
    const CDetailItem* ItemData(QTreeWidgetItem* item) const;
    const std::vector<CDetailItem>& Items() const { return m_items; }

    // Builds and tracks (or, with execMenu false, only builds) the context menu at a point in
    // viewport coordinates; null when the point is on no item.
    QMenu* PrepareContextMenu(const QPoint& pos);
    void OnCommand(int id);
    bool IsMenuShowing() const { return m_menuShowing; }
    // True when the item's text does not fit where the tree shows it (its tool tip then
    // shows the whole text).
    bool IsTextCutOff(QTreeWidgetItem* item) const;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildImageList();
    void AddEntryBitmaps(CKQTree* tree);
    void InsertList(CKQTree* list, QTreeWidgetItem* parent, uint16_t kqaid, int depth);
    QTreeWidgetItem* InsertItem(QTreeWidgetItem* parent, const QString& text, int image,
                                int children, int data);
    void OnSelectionChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void OnExpanded(QTreeWidgetItem* item, bool expanded);
    void SendItemAction(int code);
    // Tracks the context menu at a point in viewport coordinates.
    void TrackContextMenu(const QPoint& pos);
    void ContextMenuForCaret();

    ISystemSource* m_source;
    CWnd* m_view;
    bool m_notify = true;
    std::vector<QPixmap> m_images;
    std::vector<QIcon> m_icons;
    std::unordered_map<uint16_t, int> m_bitmapMap;
    QTreeWidgetItem* m_selectAfterFill = nullptr;
    std::vector<CDetailItem> m_items;
    bool m_menuShowing = false;
    QMenu* m_menu = nullptr;
};
