// The Database pane over real database files: listing, sorting, the context menu's commands,
// deleting, exporting and the selection that charts and reports compare.
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QTreeView>
#include <algorithm>
#include <fstream>
#include <map>

#include "panes/list/ListRowDelegate.h"
#include "panes/PopupMenus.h"
#include "storage/StreamStorage.h"
#include "tests/view/PaneFixture.h"
#include "tests/support/DocTestPeer.h"

namespace {

class DatabasePaneTest : public DatabaseViewTest {
protected:
    void SetUp() override {
        DatabaseViewTest::SetUp();
        WriteDatabase("THIS",
                      {{"A1", "beta", "10"}, {"B2", "Alpha", "9"}, {"C3", "alpha", "12.5"}});
        StartAndList();
        view->OnCommand(ID_VIEW_DATABASE);
    }
    // Right-clicks a row; the menu answers `command` after its states were noted.
    void RightClick(int row, int command = 0) {
        List()->m_trackMenu = [this, command](QMenu* menu, const QPoint&) {
            enabled.clear();
            for (QAction* a : menu->actions())
                if (!a->isSeparator()) enabled[a->data().toInt()] = a->isEnabled();
            ++menus;
            return command;
        };
        QApplication::processEvents();
        QTreeView* tree = List()->View();
        const QRect r = tree->visualRect(List()->Model()->index(row, 0));
        QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, r.center());
    }
    std::map<int, bool> enabled;
    int menus = 0;
};

}  // namespace

TEST_F(DatabasePaneTest, ListsEveryRecordRunningSystemFirstWithHighlightColumns) {
    CDatabaseList* list = List();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->objectName(), QStringLiteral("16"));
    ASSERT_EQ(list->RowCount(), 4);
    const int name = ColumnOf("Name"), speed = ColumnOf("Speed");
    ASSERT_GE(name, 0);
    ASSERT_GE(speed, 0);
    EXPECT_EQ(Column(name), (std::vector<std::string>{"This", "beta", "Alpha", "alpha"}));
    EXPECT_EQ(list->GetItemData(0), Key("THIS"));
    EXPECT_EQ(list->GetItemData(2), Key("B2"));
    // "Listing database" on while listing, off at the end request.
    ASSERT_GE(frame.listing.size(), 2u);
    EXPECT_TRUE(frame.listing[frame.listing.size() - 2]);
    EXPECT_FALSE(frame.listing.back());
    // Nothing stored in the profile: the running system alone is selected, image 1.
    EXPECT_EQ(list->SelectedRows(), std::vector<int>{0});
    EXPECT_EQ(list->GetItemImage(0), 1);
    EXPECT_EQ(list->GetItemImage(1), 0);
    EXPECT_EQ(list->ImageCount(), 2);
}

TEST_F(DatabasePaneTest, SortsNumbersAsNumbersTextByteWiseAndColumnZeroBackToDocumentOrder) {
    CDatabaseList* list = List();
    const int name = ColumnOf("Name"), speed = ColumnOf("Speed");
    list->OnHeaderClick(speed);  // ascending
    EXPECT_EQ(Column(speed), (std::vector<std::string>{"9", "10", "12.5", "50"}));
    list->OnHeaderClick(speed);  // descending
    EXPECT_EQ(Column(speed), (std::vector<std::string>{"50", "12.5", "10", "9"}));
    // Column 0 (Name) cycles 0 -> 1 -> 2 -> 0: ascending and descending byte-wise, then the
    // third click restores the document's order.
    ASSERT_EQ(name, 0);
    list->OnHeaderClick(name);
    EXPECT_EQ(Column(name), (std::vector<std::string>{"Alpha", "This", "alpha", "beta"}));
    list->OnHeaderClick(name);
    EXPECT_EQ(Column(name), (std::vector<std::string>{"beta", "alpha", "This", "Alpha"}));
    list->OnHeaderClick(name);
    EXPECT_EQ(list->SortState(name), 0);
    std::vector<int> keys;
    for (int r = 0; r < list->RowCount(); ++r) keys.push_back(list->GetItemData(r));
    EXPECT_EQ(keys, (std::vector<int>{Key("THIS"), Key("A1"), Key("B2"), Key("C3")}));
    // The selection stayed with the running system's row throughout.
    EXPECT_EQ(list->SelectedKeys(), std::vector<int32_t>{Key("THIS")});
}

TEST_F(DatabasePaneTest, SelectionIsCapturedInListOrderOnHide) {
    CDatabaseList* list = List();
    list->DeselectAll();
    for (int row : {3, 1, 2}) list->SelectRow(row, true);
    view->OnCommand(ID_VIEW_REPORTS);
    EXPECT_EQ(view->m_databasePane.GetSelection(),
              (std::vector<int32_t>{Key("A1"), Key("B2"), Key("C3")}));

    // Leaving with nothing selected empties the selection.
    view->OnCommand(ID_VIEW_DATABASE);
    list->DeselectAll();
    view->OnCommand(ID_VIEW_CHARTS);
    EXPECT_TRUE(view->m_databasePane.GetSelection().empty());
}

TEST_F(DatabasePaneTest, RightClickSelectsAnUnselectedRowBeforeTheMenu) {
    RightClick(2);
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(List()->ContextRow(), 2);
    EXPECT_EQ(List()->SelectedRows(), (std::vector<int>{0, 2}));  // added, not replacing
    EXPECT_FALSE(enabled[ID_DB_SELECT]);
    EXPECT_TRUE(enabled[ID_DB_DESELECT]);
    EXPECT_TRUE(enabled[ID_DB_DESELECT_ALL]);
    EXPECT_TRUE(enabled[ID_DB_DELETE_SELECTED]);

    // The running system's record alone selected: "Delete All Selected" is greyed.
    List()->DeselectAll();
    RightClick(0);
    EXPECT_EQ(List()->SelectedRows(), std::vector<int>{0});
    EXPECT_FALSE(enabled[ID_DB_DELETE_SELECTED]);
}

TEST_F(DatabasePaneTest, SelectDeselectAndDeselectAllTellTheView) {
    view->m_chartsPane.m_upToDate = 1;
    RightClick(1, ID_DB_DESELECT);  // selected by the click, then deselected
    EXPECT_FALSE(List()->IsRowSelected(1));
    EXPECT_EQ(view->m_chartsPane.m_upToDate, 0);
    List()->SetContextRow(3);
    List()->OnCommand(ID_DB_SELECT);
    EXPECT_TRUE(List()->IsRowSelected(3));
    EXPECT_EQ(List()->GetItemImage(3), 1);
    List()->OnCommand(ID_DB_DESELECT_ALL);
    EXPECT_EQ(List()->SelectedCount(), 0);
    EXPECT_EQ(List()->GetItemImage(0), 0);
}

TEST_F(DatabasePaneTest, DeletingSkipsTheRunningSystemAndKeepsItSelected) {
    List()->SelectRow(1, true);
    List()->SelectRow(3, true);
    frame.boxAnswer = IDOK;
    List()->OnCommand(ID_DB_DELETE_SELECTED);
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text, "Are you sure you want to delete the 2 records selected?");
    EXPECT_EQ(frame.boxes[0].icon, MsgIcon::Question);
    EXPECT_EQ(List()->RowCount(), 2);
    EXPECT_EQ(doc->KeyForSysid("A1"), -1);
    EXPECT_EQ(doc->KeyForSysid("C3"), -1);
    EXPECT_NE(doc->KeyForSysid("B2"), -1);
    EXPECT_EQ(List()->SelectedKeys(), std::vector<int32_t>{Key("THIS")});
    EXPECT_EQ(List()->ContextRow(), -1);
    // The removals told while deleting find their rows gone and take no other.
    QApplication::processEvents();
    EXPECT_EQ(List()->RowCount(), 2);

    // A record removed elsewhere (another user of a team database) loses its row; a selected
    // one changes the selection, so that Charts and Reports compare again.
    const int b2 = Key("B2");
    List()->SelectRow(List()->FindRow(b2), true);
    view->m_chartsPane.m_upToDate = 1;
    view->m_databasePane.OnDocumentEvent({DocEvent::RecordRemoved, b2});
    QApplication::processEvents();
    EXPECT_EQ(List()->FindRow(b2), -1);
    EXPECT_EQ(List()->RowCount(), 1);
    EXPECT_EQ(List()->SelectedKeys(), std::vector<int32_t>{Key("THIS")});
    EXPECT_EQ(view->m_chartsPane.m_upToDate, 0);
}

// A record that leaves the database by another way than the list (deleted in the team
// database by another program, found when the list is read again) takes its row along.
TEST_F(DatabasePaneTest, ARecordDeletedElsewhereLeavesTheList) {
    const int key = Key("B2");
    ASSERT_GE(List()->FindRow(key), 0);
    doc->DeleteRecord(key);
    QApplication::processEvents();  // the row goes once the delete has returned
    EXPECT_EQ(List()->FindRow(key), -1);
    EXPECT_EQ(List()->RowCount(), 3);
    EXPECT_GE(List()->FindRow(Key("A1")), 0);
}

TEST_F(DatabasePaneTest, ADeleteTheFileDoesNotTakeBringsTheRowBack) {
    const int key = Key("A1");
    List()->SelectRow(List()->FindRow(key), true);
    frame.boxAnswer = IDOK;
    CStreamStorage::s_faultHook = [](const std::string& op, const std::string&) {
        return op == "commit";
    };
    List()->OnCommand(ID_DB_DELETE_SELECTED);
    CStreamStorage::s_faultHook = nullptr;
    QApplication::processEvents();
    EXPECT_EQ(doc->KeyForSysid("A1"), key);
    EXPECT_GE(List()->FindRow(key), 0);
    EXPECT_EQ(List()->RowCount(), 4);
    EXPECT_TRUE(frame.LogContains("Error 1022: Record A1 could not be deleted"));
}

TEST_F(DatabasePaneTest, CancelledDeleteDeletesNothingAndOneRecordUsesTheSingularPrompt) {
    List()->SelectRow(2, true);
    frame.boxAnswer = IDCANCEL;
    List()->OnCommand(ID_DB_DELETE_SELECTED);
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text, LoadKQString(IDS_CONFIRM_DELETE_ONE));
    EXPECT_EQ(List()->RowCount(), 4);
    EXPECT_EQ(List()->SelectedRows(), (std::vector<int>{0, 2}));
}

TEST_F(DatabasePaneTest, ExportSendsTheSelectedKeysAndNothingWhenNoneIsSelected) {
    List()->DeselectAll();
    List()->OnCommand(ID_DB_EXPORT_SELECTED);
    EXPECT_TRUE(frame.saveRequests.empty());
    List()->SetContextRow(-1);
    List()->OnCommand(ID_DB_EXPORT);
    EXPECT_TRUE(frame.saveRequests.empty());

    List()->SelectRow(1, true);
    List()->OnCommand(ID_DB_EXPORT_SELECTED);
    EXPECT_EQ(frame.saveRequests.size(), 1u);  // the dialog for the one record (cancelled)
}

TEST_F(DatabasePaneTest, DuringARunExportDeleteAndPropertiesAreRefusedWithAStatusLine) {
    const std::string refused = LoadKQString(IDS_RECORDS_REFUSED_RUNNING);
    List()->SelectRow(1, true);
    List()->SelectRow(3, true);
    // A run pumps events: the menu's commands arrive in the middle of it.
    CDocTestPeer::SetRunning(*doc, true);
    auto refusedNow = [&] {
        const bool said = !frame.status.empty() && frame.status.back() == refused;
        frame.status.clear();
        return said;
    };
    List()->SetContextRow(1);
    List()->OnCommand(ID_DB_EXPORT);
    EXPECT_TRUE(refusedNow());
    List()->OnCommand(ID_DB_EXPORT_SELECTED);
    EXPECT_TRUE(refusedNow());
    EXPECT_TRUE(frame.saveRequests.empty());
    List()->OnCommand(ID_DB_PROPERTIES);
    EXPECT_TRUE(refusedNow());
    frame.boxAnswer = IDOK;
    List()->OnCommand(ID_DB_DELETE_SELECTED);
    EXPECT_TRUE(refusedNow());
    // Nothing deleted or pending, and the rows stay.
    EXPECT_NE(doc->KeyForSysid("A1"), -1);
    EXPECT_NE(doc->KeyForSysid("C3"), -1);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(List()->RowCount(), 4);

    CDocTestPeer::SetRunning(*doc, false);  // the run is over: the same commands are carried out
    List()->OnCommand(ID_DB_EXPORT_SELECTED);
    EXPECT_FALSE(refusedNow());
    EXPECT_EQ(frame.saveRequests.size(), 1u);
    List()->OnCommand(ID_DB_DELETE_SELECTED);
    EXPECT_FALSE(refusedNow());
    EXPECT_EQ(doc->KeyForSysid("A1"), -1);
    EXPECT_EQ(List()->RowCount(), 2);
}

TEST_F(DatabaseViewTest, RestoredSelectionSelectsRealRows) {
    QSettings settings = ViewSettings();
    settings.beginGroup(QString::fromStdString(LoadKQString(IDS_REG_SETTINGS)));
    settings.setValue(QStringLiteral("NumRecsSelected"), 2);
    settings.setValue(QStringLiteral("RecSelected00"), QStringLiteral("C3"));
    settings.setValue(QStringLiteral("RecSelected01"), QStringLiteral("GONE"));
    settings.sync();
    WriteDatabase("THIS", {{"A1", "a", "1"}, {"B2", "b", "2"}, {"C3", "c", "3"}});
    StartAndList();
    // C3 by its identifier, and the gone system's place taken by the running system.
    EXPECT_EQ(List()->SelectedKeys(), (std::vector<int32_t>{Key("THIS"), Key("C3")}));
    EXPECT_EQ(List()->GetItemImage(3), 1);
    EXPECT_EQ(List()->GetItemImage(1), 0);
}

// A database file read late: the panes hear it themselves, the list is filled anew and the
// saved selection names the records it now holds.
TEST_F(DatabaseViewTest, ALateReadListsAgainWithTheSavedSelection) {
    WriteDatabase("THIS", {{"A1", "a", "1"}, {"B2", "b", "2"}});
    StartAndList();
    view->OnCommand(ID_VIEW_CHARTS);
    ASSERT_EQ(view->m_chartsPane.m_upToDate, 1);
    QSettings settings = ViewSettings();
    settings.beginGroup(QString::fromStdString(LoadKQString(IDS_REG_SETTINGS)));
    settings.setValue(QStringLiteral("NumRecsSelected"), 1);
    settings.setValue(QStringLiteral("RecSelected00"), QStringLiteral("B2"));
    settings.sync();
    // The change the late read gives, as the document tells it.
    CDocTestPeer::Announce(*doc, DocEvent::DatabaseRead);
    EXPECT_EQ(view->m_databasePane.GetSelection(), std::vector<int32_t>{Key("B2")});
    EXPECT_EQ(view->m_chartsPane.m_upToDate, 1);  // the current pane, rebuilt at once
    EXPECT_EQ(view->m_summaryPane.m_upToDate, 0);
    doc->FinishIdleWork();
    QApplication::processEvents();
    EXPECT_EQ(List()->RowCount(), 3);
    EXPECT_EQ(List()->SelectedKeys(), std::vector<int32_t>{Key("B2")});
}

TEST_F(DatabaseViewTest, HighlightsOnlyInTheEleventhRecordGiveNoColumn) {
    std::vector<Stored> records;
    for (int i = 1; i <= 11; ++i) records.push_back({"R" + std::to_string(i), "n", "1"});
    WriteDatabase("", records);
    // The eleventh record gets a highlight of its own.
    CRecordEntry* eleventh = doc->Database().GetRecord("R11");
    ASSERT_NE(eleventh, nullptr);
    eleventh->SetAttr("Extra", "x", 0, 4);
    StartAndList();
    EXPECT_EQ(List()->RowCount(), 11);
    EXPECT_EQ(ColumnOf("Extra"), -1);
    EXPECT_EQ(List()->ColumnCount(), 2);
}

TEST_F(DatabaseViewTest, RecordChangesRewriteARowAndSortAgain) {
    WriteDatabase("THIS", {{"A1", "a", "3"}, {"B2", "b", "1"}});
    StartAndList();
    view->OnCommand(ID_VIEW_DATABASE);
    CRecordEntry* b = doc->Database().GetRecord("B2");
    ASSERT_NE(b, nullptr);
    b->SetAttr("Name", "changed", 0, 4);
    view->m_databasePane.OnDocumentEvent({DocEvent::RecordChanged, Key("B2")});
    EXPECT_EQ(List()->GetCellText(2, ColumnOf("Name")), "changed");

    List()->OnHeaderClick(ColumnOf("Speed"));
    EXPECT_EQ(List()->GetItemData(0), Key("B2"));
    b->SetAttr("Speed", "7", 0, 5);
    view->m_databasePane.OnDocumentEvent({DocEvent::RecordAdded, Key("B2")});
    view->m_databasePane.OnDocumentEvent({DocEvent::DatabaseChanged});
    EXPECT_EQ(List()->GetItemData(0), Key("A1"));
}

TEST_F(DatabasePaneTest, RunningSystemsRowIsRewrittenWhereverSortingPutIt) {
    const int name = ColumnOf("Name"), speed = ColumnOf("Speed");
    List()->OnHeaderClick(speed);  // the running system (50) sorts last
    CRecordEntry* running = doc->Database().GetRecord("THIS");
    ASSERT_NE(running, nullptr);
    running->SetAttr("Name", "Renamed", 0, 4);
    view->m_databasePane.m_upToDate = 0;
    view->SwitchToPane(0);  // shown again while out of date: its row is written again
    EXPECT_EQ(Column(name), (std::vector<std::string>{"Alpha", "beta", "alpha", "Renamed"}));
    EXPECT_EQ(List()->GetItemData(3), Key("THIS"));
}

// The header tells how the list is sorted, also when Qt's own click handling runs; a title
// its column cuts is elided, its tool tip whole.
TEST_F(DatabasePaneTest, TheHeaderShowsTheSortedColumnAndItsDirection) {
    CDatabaseList* list = List();
    QHeaderView* header = list->View()->header();
    const int name = ColumnOf("Name"), speed = ColumnOf("Speed");
    EXPECT_EQ(header->sortIndicatorSection(), -1);  // the document's order
    auto click = [&](int column) {
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    };
    click(speed);
    EXPECT_EQ(list->SortState(speed), 1);
    EXPECT_EQ(Column(speed), (std::vector<std::string>{"9", "10", "12.5", "50"}));
    EXPECT_EQ(header->sortIndicatorSection(), speed);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    click(speed);
    EXPECT_EQ(header->sortIndicatorSection(), speed);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(Column(speed), (std::vector<std::string>{"50", "12.5", "10", "9"}));
    click(name);
    EXPECT_EQ(header->sortIndicatorSection(), name);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    click(name);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    click(name);  // back to the document's order: no arrow
    EXPECT_EQ(list->SortState(name), 0);
    EXPECT_EQ(header->sortIndicatorSection(), -1);
    EXPECT_EQ(list->GetItemData(0), Key("THIS"));

    EXPECT_EQ(list->Model()->headerData(speed, Qt::Horizontal, Qt::ToolTipRole).toString(),
              QStringLiteral("Speed"));
}

// Whichever record brings them in, the top entry's own highlights (the description, the time
// of measuring) are the first columns; the images stay 16 pixels at any screen ratio.
TEST_F(DatabaseViewTest, TheColumnsThatNameARecordComeFirst) {
    WriteDatabase("", {{"R1", "first", "1"}, {"R2", "second", "2"}});
    CRecordEntry* first = doc->Database().GetRecord("R1");
    ASSERT_NE(first, nullptr);
    first->SetAttr("Name", "first", 0, 0);  // not a highlight in the first record scanned
    first->AddSubtree()->Add("Disk")->SetAttr("Rate", "5", 0, 4);
    StartAndList();
    view->OnCommand(ID_VIEW_DATABASE);
    ASSERT_EQ(List()->ColumnCount(), 3);
    EXPECT_EQ(List()->HeaderText(0), QStringLiteral("Speed"));
    EXPECT_EQ(List()->HeaderText(1), QStringLiteral("Name"));
    EXPECT_EQ(List()->HeaderText(2), QStringLiteral("Disk Rate"));
    EXPECT_EQ(Column(1), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(Column(2), (std::vector<std::string>{"5", ""}));
    // Sorting by a moved column sorts by its own flag: Speed is numeric.
    List()->OnHeaderClick(0);
    EXPECT_EQ(List()->GetItemData(0), Key("R1"));
    ASSERT_EQ(List()->ImageCount(), 2);
    EXPECT_EQ(List()->Delegate()->ImageWidth(), 16);
}

// File > Export List... writes the list's cells as CSV: the selected rows when the user says
// so, every record row otherwise, never the filler rows below them. File > Export as JSON...
// writes the records selected in the list.
TEST_F(DatabasePaneTest, ExportListAndJsonTakeTheListsRowsOrItsSelection) {
    List()->SelectRow(2, true);  // with the running system's row, selected from the start
    const std::string path = dir.path().toStdString() + "/list.csv";
    frame.saveAnswer = path;
    frame.boxAnswer = IDYES;
    EXPECT_TRUE(view->OnCommand(ID_FILE_EXPORT_LIST));
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text,
              "2 of the 4 rows are selected. Export only the selected rows? (No exports every "
              "row.)");
    auto read = [&path] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::string csv = read();
    ASSERT_EQ(csv.rfind("\xEF\xBB\xBFName,", 0), 0u) << csv;
    auto lines = [](const std::string& s) {
        size_t n = 0;
        for (size_t p = s.find("\r\n"); p != std::string::npos; p = s.find("\r\n", p + 2)) ++n;
        return n;
    };
    EXPECT_EQ(lines(csv), 3u) << csv;  // the header and two rows
    EXPECT_NE(csv.find("\r\n" + Column(0)[2] + ","), std::string::npos) << csv;

    frame.boxAnswer = IDNO;
    EXPECT_TRUE(view->OnCommand(ID_FILE_EXPORT_LIST));
    EXPECT_EQ(lines(read()), 5u) << read();

    frame.saveAnswer = dir.path().toStdString() + "/selected.json";
    EXPECT_TRUE(view->OnCommand(ID_FILE_EXPORT_JSON));
    std::ifstream in(*frame.saveAnswer, std::ios::binary);
    const std::string json(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(json.find("\"identifier\":\"THIS\""), std::string::npos) << json.substr(0, 400);
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 4) << json.substr(0, 400);
}
