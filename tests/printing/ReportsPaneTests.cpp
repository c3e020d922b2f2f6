// The Reports tab in the main view: compiling, recompiling only when the data changed,
// printing and copying what the current tab shows.
#include <QComboBox>
#include <QPainter>
#include <QScrollBar>
#include <QTreeView>

#include "panes/list/ListClipboard.h"
#include "panes/list/OwnerDrawList.h"
#include "tests/printing/PrintFixture.h"
#include "tests/view/ViewFixture.h"

namespace {

class RecordingClipboard : public ITextClipboard {
public:
    bool IsAvailable() const override { return true; }
    void Clear() override { text.clear(); }
    void SetText(const QString& t) override { text = t; }
    QString Text() const override { return text; }
    QString text;
};

class ReportsPaneTest : public ViewTest {
protected:
    std::vector<std::string> Modules() const override { return {"Five", "Ten"}; }

    void SetUp() override {
        ViewTest::SetUp();
        StartUp();
        keyA = AddStored("SYS-A", "111");
        keyB = AddStored("SYS-B", "222");
        // A definition of our own on Ten's branch: caption path, values, a heading.
        CKQTreeEntry* ten = doc->Analyzers().FindByID(10)->m_branch;
        ten->AddReportDef("Compare", RDTYPE_REPORT);
        for (const char* item : {"Item~Speed", "Item~Speed", "~ Storage", "Item~Deep~Depth"})
            ten->AddReportItem(item, 10);
        Select({keyB, keyA});
        view->SetClipboard(&clipboard);
    }

    int AddStored(const std::string& sysid, const std::string& speed) {
        auto* e = static_cast<CRecordEntry*>(doc->Database().NewRecord("Five"));
        e->SetAttr("SysName", sysid, 0, 0);
        CKQTreeEntry* item = e->AddSubtree()->Add("Item");
        item->SetAttr("Speed", speed, 3, 5);
        item->AddSubtree()->Add("Deep")->SetAttr("Depth", "deep " + sysid, 4, 1);
        e->SetChanged();
        return doc->Database().AddImportedRecord(e, sysid);
    }
    void Select(const std::vector<int32_t>& keys) {
        view->m_databasePane.m_selection = keys;
        view->SendMessage(UM_SELCHANGE, 0, 0);
    }
    int Compilations() const {
        int n = 0;
        for (const std::string& s : frame.status)
            if (s == LoadKQString(IDS_COMPILING_REPORT)) ++n;
        return n;
    }
    void Choose(const QString& name) {
        QComboBox* chooser = view->m_reportsPane.Chooser();
        const int index = chooser->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        chooser->setCurrentIndex(index);
        emit chooser->activated(index);
    }
    COwnerDrawList* List() const { return view->m_reportsPane.List(); }
    // Print through the view with a PDF printer in place of the dialog.
    int PrintToPdf(const QString& name, bool preview = false) {
        path = OutputPath(name);
        view->SetPrintDialogHook([this, preview](QPrinter& printer, bool asked) {
            EXPECT_EQ(asked, preview);
            offered = printer.pageLayout().orientation();
            SetUpPdf(printer, path, 144, 600, 800);
            return true;
        });
        const int pages = view->OnFilePrint(preview);
        view->SetPrintDialogHook({});
        return pages;
    }

    int keyA = 0, keyB = 0;
    RecordingClipboard clipboard;
    QString path;
    QPageLayout::Orientation offered = QPageLayout::Landscape;  // what the dialog was offered
};

}  // namespace

TEST_F(ReportsPaneTest, SelectedSystemsSideBySide) {
    view->OnCommand(ID_VIEW_REPORTS);
    EXPECT_EQ(Compilations(), 1);
    EXPECT_EQ(frame.status.back(), LoadKQString(IDS_STATUS_READY_HELP));
    EXPECT_EQ(frame.waitDepth, 0);
    ASSERT_TRUE(List()->isVisible());
    EXPECT_TRUE(view->m_reportsPane.Chooser()->isVisible());

    Choose(QStringLiteral("Compare"));
    EXPECT_EQ(Compilations(), 2);
    ASSERT_EQ(List()->ColumnCount(), 3);
    EXPECT_EQ(List()->HeaderText(0), QStringLiteral("Item Speed"));
    EXPECT_EQ(List()->HeaderText(1), QStringLiteral("222"));  // selection order
    EXPECT_EQ(List()->HeaderText(2), QStringLiteral("111"));
    ASSERT_EQ(List()->RowCount(), 3);
    EXPECT_EQ(List()->CellText(0, 2), QStringLiteral("111"));
    EXPECT_EQ(List()->CellText(1, 0), QStringLiteral("  Storage"));
    EXPECT_EQ(List()->CellText(1, 1), QString());
    EXPECT_EQ(List()->CellText(2, 0), QStringLiteral("Item Deep Depth"));
    EXPECT_EQ(List()->CellText(2, 1), QStringLiteral("deep SYS-B"));
    // Row records point into this machine's tree.
    const CReportTable& t = view->m_reportsPane.Table();
    ASSERT_EQ(t.m_records.size(), 3u);
    EXPECT_EQ(t.m_records[0].m_kind, DETAIL_ATTR);
    EXPECT_EQ(t.m_records[2].m_entry->m_key, "Deep");
    EXPECT_TRUE(List()->WindowText().isEmpty());
    EXPECT_EQ(List()->objectName(), QStringLiteral("21"));
    EXPECT_EQ(List()->GetItemData(2), 2);

    // An empty selection leaves the caption column alone.
    Select({});
    view->OnCommand(ID_VIEW_SUMMARY);
    view->OnCommand(ID_VIEW_REPORTS);
    EXPECT_EQ(List()->ColumnCount(), 1);
    EXPECT_EQ(view->m_reportsPane.Chooser()->currentText(), QStringLiteral("Compare"));
}

TEST_F(ReportsPaneTest, ReopeningWithoutDataChangesDoesNotRecompile) {
    view->OnCommand(ID_VIEW_REPORTS);
    Choose(QStringLiteral("Compare"));
    const int compiled = Compilations();
    view->OnCommand(ID_VIEW_DETAILS);
    view->OnCommand(ID_VIEW_REPORTS);
    EXPECT_EQ(Compilations(), compiled);
    EXPECT_EQ(List()->RowCount(), 3);
    EXPECT_EQ(view->m_reportsPane.Chooser()->currentText(), QStringLiteral("Compare"));

    // A changed selection: the next show refills the chooser, keeps the choice, compiles.
    Select({keyA});
    view->OnCommand(ID_VIEW_SUMMARY);
    view->OnCommand(ID_VIEW_REPORTS);
    EXPECT_EQ(Compilations(), compiled + 1);
    EXPECT_EQ(view->m_reportsPane.Chooser()->currentText(), QStringLiteral("Compare"));
    EXPECT_EQ(List()->HeaderText(1), QStringLiteral("111"));
}

TEST_F(ReportsPaneTest, LongReportsEndWithTwoFillerRows) {
    CKQTreeEntry* ten = doc->Analyzers().FindByID(10)->m_branch;
    ten->AddReportDef("Long", RDTYPE_REPORT);
    for (int i = 0; i < 101; ++i) ten->AddReportItem("Item~Speed", 10);
    view->OnCommand(ID_VIEW_REPORTS);
    Choose(QStringLiteral("Long"));
    ASSERT_EQ(List()->RowCount(), 102);
    EXPECT_EQ(view->m_reportsPane.Table().m_itemData[99], 99);
    EXPECT_EQ(view->m_reportsPane.Table().m_itemData[100], kFillerRow);
    EXPECT_EQ(view->m_reportsPane.Table().m_itemData[101], kFillerRow);
    EXPECT_EQ(view->m_reportsPane.Table().m_records.size(), 100u);
    Choose(QStringLiteral("Compare"));
    EXPECT_EQ(List()->RowCount(), 3);
}

TEST_F(ReportsPaneTest, AReportWithoutItemsLeavesNoTableBehind) {
    doc->Analyzers().FindByID(10)->m_branch->AddReportDef("Empty", RDTYPE_REPORT);
    view->OnCommand(ID_VIEW_REPORTS);
    Choose(QStringLiteral("Compare"));
    ASSERT_EQ(List()->RowCount(), 3);
    Choose(QStringLiteral("Empty"));
    EXPECT_EQ(view->m_reportsPane.ReportName(), "Empty");
    EXPECT_EQ(List()->ColumnCount(), 0);
    EXPECT_EQ(List()->RowCount(), 0);
    EXPECT_EQ(view->m_reportsPane.Table().ColumnCount(), 0);
    // Neither the clipboard nor a printout gets the previous report's table.
    List()->DeselectAll();
    ASSERT_TRUE(view->OnCommand(ID_EDIT_COPY));
    EXPECT_FALSE(clipboard.text.contains(QLatin1String("Item Speed")))
        << clipboard.text.toStdString();
    if (PrintToPdf(QStringLiteral("empty-report.pdf")) > 0) {
        EXPECT_FALSE(PdfText(path).contains(QLatin1String("deep SYS-A")));
    }
    // Choosing a report again fills the list again.
    Choose(QStringLiteral("Compare"));
    EXPECT_EQ(List()->RowCount(), 3);
}

TEST_F(ReportsPaneTest, PrintAndCopyFollowTheCurrentTab) {
    view->OnCommand(ID_VIEW_SUMMARY);
    view->UpdateCommandUI();
    EXPECT_FALSE(view->FindAction(ID_FILE_PRINT)->isEnabled());
    EXPECT_FALSE(view->FindAction(ID_EDIT_COPY)->isEnabled());
    view->OnCommand(ID_VIEW_DETAILS);
    EXPECT_FALSE(view->FindAction(ID_FILE_PRINT_PREVIEW)->isEnabled());
    EXPECT_FALSE(view->OnCommand(ID_FILE_PRINT));
    EXPECT_FALSE(view->OnCommand(ID_EDIT_COPY));

    view->OnCommand(ID_VIEW_REPORTS);
    Choose(QStringLiteral("Compare"));
    view->UpdateCommandUI();
    EXPECT_TRUE(view->FindAction(ID_FILE_PRINT)->isEnabled());
    EXPECT_TRUE(view->FindAction(ID_FILE_PRINT_PREVIEW)->isEnabled());
    EXPECT_TRUE(view->FindAction(ID_EDIT_COPY)->isEnabled());

    ASSERT_EQ(PrintToPdf(QStringLiteral("reports.pdf")), 1);
    const QString text = PdfText(path);
    EXPECT_TRUE(text.contains(QLatin1String("Quillon 97 System Comparison"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("Item Speed")));
    EXPECT_TRUE(text.contains(QLatin1String("deep SYS-A")));
    EXPECT_TRUE(text.contains(QLatin1String("Storage")));
    EXPECT_EQ(PrintToPdf(QStringLiteral("reports-preview.pdf"), true), 1);

    // On the offscreen platform both dialogs answer "cancelled".
    EXPECT_EQ(view->OnFilePrint(false), 0);
    EXPECT_EQ(view->OnFilePrint(true), 0);

    // All rows, no window-text line: the header line comes first.
    List()->DeselectAll();
    ASSERT_TRUE(view->OnCommand(ID_EDIT_COPY));
    EXPECT_EQ(clipboard.text.toStdString(),
              "Item Speed\t222\t111\r\nItem Speed\t222\t111\r\n  Storage\t\t\r\n"
              "Item Deep Depth\tdeep SYS-B\tdeep SYS-A\r\n");
}

TEST_F(ReportsPaneTest, TheDatabaseListPrintsAndCopiesSelectedRows) {
    // The database listing reaches the pane straight from the document.
    doc->FinishIdleWork();
    QApplication::processEvents();
    view->OnCommand(ID_VIEW_DATABASE);
    view->UpdateCommandUI();
    EXPECT_TRUE(view->FindAction(ID_FILE_PRINT)->isEnabled());
    EXPECT_TRUE(view->FindAction(ID_FILE_PRINT_PREVIEW)->isEnabled());
    EXPECT_TRUE(view->FindAction(ID_EDIT_COPY)->isEnabled());
    CDatabaseList* list = view->m_databasePane.List();
    ASSERT_GE(list->RowCount(), 1);
    ASSERT_GE(list->ColumnCount(), 1);
    const int rowB = 0;  // this machine's row

    // Every row printed, the selected one marked, under a caption that counts them (not the
    // pane's instruction).
    list->DeselectAll();
    list->SelectRow(rowB, true);
    ASSERT_EQ(PrintToPdf(QStringLiteral("database.pdf")), 1);
    EXPECT_EQ(offered, QPageLayout::Portrait);
    const QString text = PdfText(path);
    EXPECT_TRUE(text.contains(QString::fromStdString(LoadKQString(IDS_APP_TITLE))))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QString::fromStdString(LoadKQString(IDS_DATABASE_HEADING))));
    int systems = 0;
    for (int r = 0; r < list->RowCount(); ++r) systems += list->GetItemData(r) != 0;
    ASSERT_GE(systems, 1);
    EXPECT_TRUE(text.contains(QStringLiteral("Stored systems: 1 of %1 selected").arg(systems)))
        << text.toStdString();
    EXPECT_TRUE(text.contains(list->HeaderText(0)));
    for (int r = 0; r < list->RowCount(); ++r) {
        if (list->GetItemData(r) == 0) continue;
        QStringList cells;
        if (r == rowB) cells << QStringLiteral("\u2713");
        for (int c = 0; c < list->ColumnCount(); ++c)
            if (!list->CellText(r, c).isEmpty()) cells << list->CellText(r, c);
        ASSERT_GE(cells.size(), 2) << r;
        EXPECT_TRUE(InOrder(LineWith(text, cells[r == rowB ? 1 : 0]), cells))
            << r << text.toStdString();
    }
    EXPECT_EQ(text.count(QStringLiteral("\u2713")), 1);

    QString header;
    for (int c = 0; c < list->ColumnCount(); ++c)
        header += (c == 0 ? QString() : QStringLiteral("\t")) + list->HeaderText(c);
    header += QStringLiteral("\r\n");
    const QString caption =
        list->WindowText().isEmpty() ? QString() : list->WindowText() + QStringLiteral("\r\n");

    // Nothing selected: caption and header line only, not the whole list.
    list->DeselectAll();
    ASSERT_TRUE(view->OnCommand(ID_EDIT_COPY));
    EXPECT_EQ(clipboard.text, caption + header);

    list->SelectRow(rowB, true);
    ASSERT_TRUE(view->OnCommand(ID_EDIT_COPY));
    QString line;
    for (int c = 0; c < list->ColumnCount(); ++c)
        line += (c == 0 ? QString() : QStringLiteral("\t")) + list->CellText(rowB, c);
    EXPECT_EQ(clipboard.text, caption + header + line + QStringLiteral("\r\n"));
}

TEST_F(ReportsPaneTest, TheChartsTabPrintsThroughItsHook) {
    view->OnCommand(ID_VIEW_CHARTS);
    QRect drawnIn;
    view->SetChartPainter([&drawnIn](QPainter& painter, const QRect& area) {
        drawnIn = area;
        painter.drawText(area, Qt::AlignCenter, QStringLiteral("Chart goes here"));
    });
    view->UpdateCommandUI();
    EXPECT_TRUE(view->FindAction(ID_FILE_PRINT)->isEnabled());
    ASSERT_EQ(PrintToPdf(QStringLiteral("chart.pdf")), 1);
    EXPECT_EQ(drawnIn, QRect(72, 72, 1200 - 144, 1600 - 144));  // half-inch margins at 144 dpi
    EXPECT_TRUE(PdfText(path).contains(QLatin1String("Chart goes here")));
}

TEST_F(ReportsPaneTest, Screenshot) {
    view->OnCommand(ID_VIEW_REPORTS);
    Choose(QStringLiteral("Compare"));
    QApplication::processEvents();
    const QPixmap picture = window->grab();
    ASSERT_FALSE(picture.isNull());
    EXPECT_TRUE(picture.save(OutputPath(QStringLiteral("reports-tab.png"))));
}

TEST_F(ReportsPaneTest, HistoryOpensAtItsNewestColumn) {
    const CRecordEntry* mirror = doc->Database().CurrentSystemRecord();
    ASSERT_NE(mirror, nullptr);
    const std::string sysid = CResultsDatabase::GetRecordSysid(*mirror);
    // More snapshots of this machine than the pane is wide: the current results come last.
    for (int i = 0; i < 40; ++i) {
        auto* e = static_cast<CRecordEntry*>(doc->Database().NewRecord("Five"));
        e->SetAttr("Measured", KQFormat("2026-11-%02d 09:00", i % 28 + 1), 0, DATA_HIGHLIGHT);
        e->SetChanged();
        doc->Database().AddImportedRecord(e, KQFormat("%s+%08x", sysid.c_str(), 0x69000000 + i));
    }
    doc->BuildHistory();
    view->OnCommand(ID_VIEW_REPORTS);
    Choose(QStringLiteral("History"));
    ASSERT_EQ(List()->ColumnCount(), 42);
    const QScrollBar* bar = List()->View()->horizontalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    // Another report opens at its first column.
    Choose(QStringLiteral("Compare"));
    EXPECT_EQ(List()->View()->horizontalScrollBar()->value(), 0);
}
