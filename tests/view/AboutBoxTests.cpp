// The about box: version text, picture, vertical stacking and the analyzer list that sizes it.
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>

#include "panes/AboutBox.h"
#include "tests/view/ViewFixture.h"

namespace {

std::vector<std::string> Lines(int n) {
    std::vector<std::string> lines;
    for (int i = 0; i < n; ++i)
        lines.push_back(FormatKQString(IDS_ANALYZER_VERSION_FMT, "Module" + std::to_string(i),
                                       "1.0" + std::to_string(i)));
    return lines;
}

}  // namespace

TEST(AboutBoxTest, NoAnalyzerKeepsTheResourceHeightAndAnEmptyList) {
    CAboutDlg about({});
    EXPECT_EQ(about.windowTitle().toStdString(), LoadKQString(IDS_ABOUT_CAPTION));
    EXPECT_EQ(static_cast<QLabel*>(about.Control(CAboutDlg::IDC_VERSION))->text().toStdString(),
              LoadKQString(IDS_VERSION_LINE));
    EXPECT_EQ(about.AnalyzerList()->height(), CAboutDlg::ResourceListHeight());
    EXPECT_TRUE(about.AnalyzerList()->toPlainText().isEmpty());
    EXPECT_TRUE(about.AnalyzerList()->isReadOnly());
    // The picture window shows bitmap 166 at its size.
    EXPECT_EQ(about.Control(CAboutDlg::IDC_PICTURE)->size(), QSize(156, 84));
}

TEST(AboutBoxTest, ControlsAreStackedBelowThePicture) {
    CAboutDlg about({});
    auto top = [&](int id) { return about.Control(id)->y(); };
    auto bottom = [&](int id) { return about.Control(id)->y() + about.Control(id)->height(); };
    const int h = QFontMetrics(about.Control(CAboutDlg::IDC_PUBLISHER)->font()).height();
    const int start = top(CAboutDlg::IDC_PICTURE) + 84 + h;
    EXPECT_EQ(top(CAboutDlg::IDC_PUBLISHER), start);
    EXPECT_EQ(top(CAboutDlg::IDC_TITLE), bottom(CAboutDlg::IDC_PUBLISHER));
    EXPECT_EQ(top(CAboutDlg::IDC_VERSION), bottom(CAboutDlg::IDC_TITLE) + h / 2);
    EXPECT_EQ(top(1), start);  // the OK button starts the right column
    EXPECT_EQ(top(CAboutDlg::IDC_NOTICE1), std::max(bottom(CAboutDlg::IDC_VERSION), bottom(1)));
    EXPECT_EQ(top(CAboutDlg::IDC_NOTICE2), bottom(CAboutDlg::IDC_NOTICE1));
    EXPECT_EQ(top(CAboutDlg::IDC_ANALYZERS_LABEL), bottom(CAboutDlg::IDC_NOTICE2) + h / 2);
    EXPECT_EQ(top(CAboutDlg::IDC_ANALYZERS), bottom(CAboutDlg::IDC_ANALYZERS_LABEL));
    EXPECT_LE(bottom(CAboutDlg::IDC_ANALYZERS), about.height());
}

TEST(AboutBoxTest, EightAnalyzersShowWithoutScrollingAndTheBoxGrowsByTheSame) {
    CAboutDlg none({});
    CAboutDlg eight(Lines(8));
    const int change = eight.AnalyzerList()->height() - none.AnalyzerList()->height();
    EXPECT_GT(change, 0);
    EXPECT_EQ(eight.height() - none.height(), change);
    EXPECT_EQ(eight.AnalyzerList()->width(), none.AnalyzerList()->width());
    EXPECT_EQ(eight.AnalyzerList()->document()->blockCount(), 8);
    EXPECT_EQ(eight.AnalyzerList()->toPlainText().split('\n').first().toStdString(),
              "Module0 version 1.00");
    eight.show();
    QApplication::processEvents();
    EXPECT_EQ(eight.AnalyzerList()->verticalScrollBar()->maximum(), 0);
    // Nine would need one line more: the box keeps growing with the list.
    CAboutDlg nine(Lines(9));
    EXPECT_EQ(nine.height() - eight.height(),
              nine.AnalyzerList()->height() - eight.AnalyzerList()->height());
}

TEST(AboutBoxTest, CentredOnItsOwner) {
    QWidget owner;
    owner.setGeometry(100, 100, 800, 600);
    owner.show();
    CAboutDlg about(Lines(2), &owner);
    EXPECT_LE(std::abs(about.geometry().center().x() - owner.geometry().center().x()), 1);
    EXPECT_LE(std::abs(about.geometry().center().y() - owner.geometry().center().y()), 1);
}
