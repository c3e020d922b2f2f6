// The Charts pane: its two combo boxes, the chart it builds from the chosen definition and
// the selected systems, re-layout after resizing, the printed copy and the clipboard image.
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <map>
#include <set>

#include "database/RecordEntry.h"
#include "panes/ChartsPane.h"
#include "tests/view/ViewFixture.h"

namespace {

class ChartsPaneTest : public ViewTest {
protected:
    std::vector<std::string> Modules() const override { return {"Five", "Ten"}; }

    void SetUp() override {
        ViewTest::SetUp();
        StartUp();
        CKQTreeEntry* five = doc->Analyzers().FindByID(5)->m_branch;
        CKQTreeEntry* ten = doc->Analyzers().FindByID(10)->m_branch;
        ASSERT_TRUE(five && ten);
        CRepDef* speeds = five->GetRepDefPtr(five->AddReportDef("Speeds", RDTYPE_CHART));
        speeds->AppendReportItem(5, "Item~Clock");
        speeds->AppendReportItem(5, "Item~Top  Rate");
        speeds->SetAttrValue("Units", "MB/s");
        five->AddReportDef("Not a chart", RDTYPE_REPORT);
        CRepDef* rates = five->GetRepDefPtr(five->AddReportDef("Rates", RDTYPE_CHART));
        rates->AppendReportItem(5, "Item~Top  Rate");
        ten->AddReportDef("Ten chart", RDTYPE_CHART);

        keys.push_back(AddSystem("SYS-A", "Alpha", "12.5 MB", "7"));
        keys.push_back(AddSystem("SYS-B", "Beta", "n/a", "-3"));
        keys.push_back(AddSystem("SYS-C", "Gamma", "", ""));
        view->m_databasePane.m_selection = keys;
    }

    // A stored system whose Item entry holds the series title (analyzer 10's extra path).
    int AddSystem(const std::string& sysid, const std::string& title, const std::string& clock,
                  const std::string& rate) {
        auto* r = static_cast<CRecordEntry*>(doc->Database().NewRecord("System"));
        r->SetAttr("SysName", sysid, 0, 0);
        CKQTreeEntry* item = r->AddSubtree()->Add("Item");
        item->SetAttr("Speed", title, 0, 0);
        if (!clock.empty()) item->SetAttr("Clock", clock, 0, 1);
        if (!rate.empty()) item->SetAttr("Top  Rate", rate, 0, 1);
        r->SetChanged();
        return doc->Database().AddImportedRecord(r, sysid);
    }

    CChartsPane& Pane() { return view->m_chartsPane; }
    CGraph& Graph() { return view->m_chartsPane.Graph(); }
    void ShowCharts() {
        view->OnCommand(ID_VIEW_CHARTS);
        QApplication::processEvents();
    }
    void Pick(int controlID, int index) {
        QComboBox* box =
            controlID == CChartsPane::kChooserID ? Pane().Chooser() : Pane().DimensionBox();
        // As the user's choice: the box's own signal reaches the pane.
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    QStringList Items(QComboBox* box) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
        return items;
    }
    std::string OutPath(const QString& name) {
        QDir().mkpath(QStringLiteral(QUILLON_SCREENSHOT_DIR));
        return (QStringLiteral(QUILLON_SCREENSHOT_DIR "/") + name).toStdString();
    }

    std::vector<int32_t> keys;
};

QString RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

TEST_F(ChartsPaneTest, ChooserListsTheChartDefinitionsAboveTheChart) {
    ShowCharts();
    QComboBox* chooser = Pane().Chooser();
    QComboBox* dims = Pane().DimensionBox();
    ASSERT_TRUE(chooser && dims);
    // The host's own "History" chart comes last.
    EXPECT_EQ(Items(chooser), QStringList({"Speeds", "Rates", "Ten chart", "History"}));
    EXPECT_EQ(Items(dims), QStringList({"2D", "3D"}));
    EXPECT_EQ(chooser->currentIndex(), 0);
    EXPECT_EQ(dims->currentIndex(), 0);
    EXPECT_TRUE(chooser->isVisible());
    EXPECT_TRUE(dims->isVisible());

    const int tabBottom = view->TabRect().y() + view->TabRect().height();
    const int ave = QFontMetrics(view->font()).averageCharWidth();
    EXPECT_EQ(chooser->geometry().topLeft(), QPoint(0, tabBottom));
    EXPECT_EQ(chooser->width(), 40 * ave);
    EXPECT_EQ(dims->x(), chooser->geometry().right() + 1);
    EXPECT_EQ(dims->width(), 8 * ave);
    EXPECT_EQ(dims->y(), chooser->y());
    EXPECT_EQ(Pane().ChartRect().top(), chooser->geometry().bottom() + 1);
    EXPECT_EQ(Pane().ChartRect().bottom(), view->rect().bottom());
    EXPECT_EQ(Graph().m_rect.top, Pane().ChartRect().top());

    view->OnCommand(ID_VIEW_DETAILS);
    EXPECT_FALSE(chooser->isVisible());
    EXPECT_FALSE(dims->isVisible());
}

TEST_F(ChartsPaneTest, ChartsTheLeadingNumbersOfEachSelectedSystem) {
    ShowCharts();
    CGraph& g = Graph();
    EXPECT_EQ(g.GraphTitle(), "Speeds");
    EXPECT_EQ(g.GetyAxisLabel(), "MB/s");
    ASSERT_EQ(g.SeriesCount(), 3);
    ASSERT_EQ(g.GroupCount(), 2);
    EXPECT_DOUBLE_EQ(g.Value(0, 0), 12.5);  // "12.5 MB"
    // Values a system does not have are no 0s: no bar, "n/a" in their place.
    EXPECT_FALSE(g.HasPoint(1, 0));  // "n/a"
    EXPECT_FALSE(g.HasPoint(2, 0));  // not there
    EXPECT_EQ(g.ValueLabel(1, 0), "n/a");
    EXPECT_EQ(g.ValueLabel(2, 1), "n/a");
    EXPECT_DOUBLE_EQ(g.Value(0, 1), 7);
    EXPECT_DOUBLE_EQ(g.Value(1, 1), -3);
    EXPECT_EQ(g.SeriesTitle(0), "Alpha");
    EXPECT_EQ(g.SeriesTitle(1), "Beta");
    EXPECT_EQ(g.SeriesTitle(2), "Gamma");
    ASSERT_EQ(g.LegendTexts().size(), 3u);
    EXPECT_EQ(g.LegendTexts()[1], "Beta");
    EXPECT_EQ(g.LegendTexts()[2], "Gamma (n/a)");  // nothing to chart for Gamma
    EXPECT_EQ(g.SeriesKey(0), "SYS-A");
    EXPECT_EQ(g.GroupTitle(0), "Item Clock");
    EXPECT_EQ(g.GroupTitle(1), "Item Top Rate");  // spaces folded, "~" a space
    EXPECT_TRUE(g.IsCompiled());
    EXPECT_EQ(Pane().m_upToDate, 1);
    EXPECT_EQ(frame.waitDepth, 0);

    // Another chart from the chooser: its own lines and units (none).
    Pick(CChartsPane::kChooserID, 2);
    EXPECT_EQ(g.GraphTitle(), "Ten chart");
    EXPECT_EQ(g.GetyAxisLabel(), "");
    EXPECT_EQ(g.SeriesCount(), 0);  // a definition without items charts nothing
    Pick(CChartsPane::kChooserID, 1);
    EXPECT_EQ(g.GraphTitle(), "Rates");
    EXPECT_EQ(g.GroupCount(), 1);
    EXPECT_EQ(g.SeriesCount(), 3);
}

TEST_F(ChartsPaneTest, EmptySelectionGivesTheTitleAndNoSeries) {
    view->m_databasePane.m_selection.clear();
    ShowCharts();
    EXPECT_EQ(Graph().GraphTitle(), "Speeds");
    EXPECT_EQ(Graph().SeriesCount(), 0);
    EXPECT_TRUE(Graph().PlotArea().isNull());
}

TEST_F(ChartsPaneTest, ThirteenSelectedSystemsChartTheFirstTwelve) {
    std::vector<int32_t>& selection = view->m_databasePane.m_selection;
    for (int i = 0; i < 10; ++i)
        selection.push_back(AddSystem("MORE-" + std::to_string(i), "More " + std::to_string(i),
                                      std::to_string(i + 1), "1"));
    ASSERT_EQ(selection.size(), 13u);
    ShowCharts();
    ASSERT_EQ(Graph().SeriesCount(), 12);
    EXPECT_EQ(Graph().SeriesTitle(11), "More 8");
    EXPECT_DOUBLE_EQ(Graph().Value(11, 0), 9);
    // The status bar says that one is left out, and again after each change of the chart.
    ASSERT_FALSE(frame.status.empty());
    EXPECT_EQ(frame.status.back(), "13 systems selected: only the first 12 are charted");
    frame.status.clear();
    Pick(CChartsPane::kDimensionID, 1);
    ASSERT_FALSE(frame.status.empty());
    EXPECT_EQ(frame.status.back(), "13 systems selected: only the first 12 are charted");
    // Twelve say nothing of the kind.
    selection.pop_back();
    view->OnCommand(ID_VIEW_SUMMARY);
    frame.status.clear();
    ShowCharts();
    for (const std::string& text : frame.status)
        EXPECT_EQ(text.find("only the first"), std::string::npos) << text;
}

TEST_F(ChartsPaneTest, EachSystemKeepsItsLookWhateverItsPlaceInTheSelection) {
    for (int i = 0; i < 3; ++i)
        keys.push_back(AddSystem("SYS-" + std::to_string(i), "S" + std::to_string(i), "1", "2"));
    view->m_databasePane.m_selection = keys;
    ShowCharts();
    std::map<std::string, int> looks;
    std::set<int> distinct;
    for (int s = 0; s < Graph().SeriesCount(); ++s) {
        looks[Graph().SeriesKey(s)] = Graph().SeriesLook(s);
        distinct.insert(Graph().SeriesLook(s));
    }
    ASSERT_EQ(looks.size(), 6u);
    EXPECT_EQ(distinct.size(), 6u);
    std::reverse(view->m_databasePane.m_selection.begin(), view->m_databasePane.m_selection.end());
    view->OnCommand(ID_VIEW_SUMMARY);
    ShowCharts();
    EXPECT_EQ(Graph().SeriesKey(0), "SYS-2");
    for (int s = 0; s < Graph().SeriesCount(); ++s)
        EXPECT_EQ(Graph().SeriesLook(s), looks[Graph().SeriesKey(s)]) << Graph().SeriesKey(s);
}

TEST_F(ChartsPaneTest, TwoDAndThreeDSetTheTypeOfEverySeries) {
    ShowCharts();
    Pick(CChartsPane::kDimensionID, 1);
    EXPECT_EQ(Pane().DimensionChoice(), 1);
    for (int s = 0; s < 3; ++s) EXPECT_EQ(Graph().SeriesType(s), gpDepthBar);
    Pick(CChartsPane::kDimensionID, 0);
    for (int s = 0; s < 3; ++s) EXPECT_EQ(Graph().SeriesType(s), gpFlatBar);
    // The user's choice in the box itself reaches the pane through the view.
    Pane().DimensionBox()->setCurrentIndex(1);
    emit Pane().DimensionBox()->activated(1);
    EXPECT_EQ(Pane().DimensionChoice(), 1);
    EXPECT_EQ(Graph().SeriesType(2), gpDepthBar);

    // The choice survives the controls' re-creation after a resize.
    window->resize(900, 650);
    QApplication::processEvents();
    view->OnTimer(3);
    EXPECT_EQ(Pane().DimensionBox()->currentIndex(), 1);
    EXPECT_EQ(Graph().SeriesType(0), gpDepthBar);
}

TEST_F(ChartsPaneTest, ResizeRecreatesTheControlsLaterAndKeepsTheChartByName) {
    ShowCharts();
    Pick(CChartsPane::kChooserID, 1);
    view->OnCommand(ID_VIEW_DETAILS);
    QPointer<QComboBox> before = Pane().Chooser();

    window->resize(1000, 700);
    QApplication::processEvents();
    EXPECT_TRUE(view->IsTimerActive(3));
    EXPECT_EQ(Pane().Chooser(), before.data());  // nothing yet
    view->OnTimer(3);
    EXPECT_TRUE(before.isNull());
    EXPECT_EQ(Pane().m_upToDate, 0);
    EXPECT_FALSE(Pane().Chooser()->isVisible());

    ShowCharts();
    EXPECT_EQ(Pane().Chooser()->count(), 4);
    EXPECT_EQ(Pane().Chooser()->currentText(), "Rates");
    EXPECT_EQ(Graph().GraphTitle(), "Rates");
    EXPECT_EQ(Pane().ChartRect().bottom(), view->rect().bottom());
}

TEST_F(ChartsPaneTest, ResizeWhileShownRedrawsOnlyWhenTheTimerFires) {
    ShowCharts();
    const int32_t bottom = Graph().m_rect.bottom;
    window->resize(900, 700);
    QApplication::processEvents();
    window->resize(950, 720);
    QApplication::processEvents();
    EXPECT_TRUE(view->IsTimerActive(3));
    EXPECT_EQ(Graph().m_rect.bottom, bottom);
    view->OnTimer(3);
    EXPECT_EQ(Graph().m_rect.bottom, view->rect().bottom() + 1);
    EXPECT_TRUE(Pane().Chooser()->isVisible());
}

TEST_F(ChartsPaneTest, EveryShowRebuildsTheChartButRefillsTheChooserOnlyWhenOutOfDate) {
    ShowCharts();
    EXPECT_DOUBLE_EQ(Graph().Value(0, 0), 12.5);
    doc->Database().LoadedRecord("SYS-A")->GetSubtree()->Find("Item")->SetAttr("Clock", "99", 0, 1);
    CKQTreeEntry* five = doc->Analyzers().FindByID(5)->m_branch;
    five->AddReportDef("Later", RDTYPE_CHART);

    view->OnCommand(ID_VIEW_SUMMARY);
    ShowCharts();
    EXPECT_DOUBLE_EQ(Graph().Value(0, 0), 99);
    EXPECT_EQ(Pane().Chooser()->count(), 4);

    view->SendMessage(UM_SELCHANGE, 0, 0);  // the Database pane's selection changed
    view->OnCommand(ID_VIEW_SUMMARY);
    ShowCharts();
    EXPECT_EQ(Pane().Chooser()->count(), 5);
    EXPECT_EQ(Pane().Chooser()->currentText(), "Speeds");
}

TEST_F(ChartsPaneTest, WithoutChartDefinitionsTheLastTitleStays) {
    ShowCharts();
    for (const CAnalyzer* a : doc->Analyzers().Ordered()) a->m_branch->RemoveAllRepDefs();
    doc->HostEntry()->RemoveAllRepDefs();
    Pane().m_upToDate = 0;
    view->OnCommand(ID_VIEW_SUMMARY);
    ShowCharts();
    EXPECT_EQ(Pane().Chooser()->count(), 0);
    EXPECT_TRUE(Pane().Lines().empty());
    EXPECT_EQ(Graph().GraphTitle(), "Speeds");
    EXPECT_EQ(Graph().SeriesCount(), 0);
}

TEST_F(ChartsPaneTest, PrintedCopyFillsOnePageInsideHalfInchMargins) {
    ShowCharts();
    Pick(CChartsPane::kDimensionID, 1);
    const CGraphRect onScreen = Graph().m_rect;

    // On an image of a letter page at 100 dpi: nothing drawn within half an inch of an edge.
    QImage page(850, 1100, QImage::Format_RGB32);
    page.fill(Qt::white);
    page.setDotsPerMeterX(3937);
    page.setDotsPerMeterY(3937);
    {
        QPainter painter(&page);
        Pane().PrintChart(painter);
    }
    QRect inked;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if ((page.pixel(x, y) & 0xffffff) != 0xffffff) inked |= QRect(x, y, 1, 1);
    EXPECT_GE(inked.left(), 50);
    EXPECT_GE(inked.top(), 50);
    EXPECT_LE(inked.right(), 850 - 50);
    EXPECT_LE(inked.bottom(), 1100 - 50);
    EXPECT_GT(inked.width(), 600);  // and it uses the page
    EXPECT_GT(inked.height(), 800);
    EXPECT_EQ(Graph().m_rect.bottom, onScreen.bottom);  // the chart on screen is not touched

    // Printed to a PDF file, read back as text and as a picture.
    const std::string pdf = OutPath(QStringLiteral("chart-print.pdf"));
    QFile::remove(QString::fromStdString(pdf));
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setResolution(300);
        printer.setOutputFileName(QString::fromStdString(pdf));
        QPainter painter(&printer);
        Pane().PrintChart(painter);
    }
    const QString info = RunTool(QStringLiteral("pdfinfo"), {QString::fromStdString(pdf)});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))))
        << info.toStdString();
    const QString text = RunTool(QStringLiteral("pdftotext"), {QString::fromStdString(pdf), "-"});
    for (const char* expected :
         {"Speeds", "MB/s", "Alpha", "Beta", "Gamma (n/a)", "Item Clock", "Item Top Rate", "12.5"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(expected))) << expected << "\n"
                                                                  << text.toStdString();
    RunTool(QStringLiteral("pdftoppm"),
            {"-r", "60", "-png", "-singlefile", QString::fromStdString(pdf),
             QString::fromStdString(OutPath(QStringLiteral("chart-print-page")))});
}

TEST_F(ChartsPaneTest, CopyPutsTheChartOnTheClipboardAsAnImage) {
    ShowCharts();
    QClipboard* clipboard = QGuiApplication::clipboard();
    ASSERT_TRUE(clipboard);
    clipboard->clear();
    ASSERT_TRUE(Pane().CopyToClipboard(clipboard));
    const QImage copied = clipboard->image();
    EXPECT_EQ(copied.size(), Pane().ChartRect().size());
    // Not a blank picture: the bars are there.
    const QImage fresh = Pane().ChartImage(Pane().ChartRect().size());
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32), fresh);
    EXPECT_TRUE(frame.boxes.empty());

    // No clipboard to use: message 52, nothing else.
    EXPECT_FALSE(Pane().CopyToClipboard(nullptr));
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text, "The Clipboard is in use by someone else.");
}

TEST_F(ChartsPaneTest, PicturesOfTheChartsTab) {
    window->resize(1000, 650);
    QApplication::processEvents();
    view->OnTimer(3);
    ShowCharts();
    QDir().mkpath(QStringLiteral(QUILLON_SCREENSHOT_DIR));
    EXPECT_TRUE(window->grab().save(QString::fromStdString(OutPath("charts-2d.png"))));
    Pick(CChartsPane::kDimensionID, 1);
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(QString::fromStdString(OutPath("charts-3d.png"))));
}

TEST_F(ChartsPaneTest, PrintAndCopyOnTheChartsTabGoThroughTheView) {
    ShowCharts();
    view->UpdateCommandUI();
    EXPECT_TRUE(view->FindAction(ID_FILE_PRINT)->isEnabled());
    EXPECT_TRUE(view->FindAction(ID_FILE_PRINT_PREVIEW)->isEnabled());
    EXPECT_TRUE(view->FindAction(ID_EDIT_COPY)->isEnabled());

    const std::string pdf = OutPath(QStringLiteral("chart-view-print.pdf"));
    QFile::remove(QString::fromStdString(pdf));
    view->SetPrintDialogHook([&pdf](QPrinter& printer, bool preview) {
        EXPECT_FALSE(preview);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setResolution(300);
        printer.setOutputFileName(QString::fromStdString(pdf));
        return true;
    });
    ASSERT_TRUE(view->OnCommand(ID_FILE_PRINT));
    view->SetPrintDialogHook({});
    const QString text = RunTool(QStringLiteral("pdftotext"), {QString::fromStdString(pdf), "-"});
    for (const char* expected : {"Speeds", "Alpha", "Gamma", "Item Clock"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(expected))) << expected << "\n"
                                                                  << text.toStdString();

    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    ASSERT_TRUE(view->OnCommand(ID_EDIT_COPY));
    const QImage copied = clipboard->image();
    EXPECT_EQ(copied.size(), Pane().ChartRect().size());
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32),
              Pane().ChartImage(Pane().ChartRect().size()));

    // Another tab: the chart is no longer what Copy takes.
    view->OnCommand(ID_VIEW_DETAILS);
    clipboard->clear();
    EXPECT_FALSE(view->OnCommand(ID_EDIT_COPY));
    EXPECT_TRUE(clipboard->image().isNull());
}
