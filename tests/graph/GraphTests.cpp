// What the chart keeps of what it is fed, and how it lays out its axis, bars, captions and
// legend.
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "tests/graph/GraphFixture.h"

namespace {

// A step of 1, 2 or 5 times a power of ten between every pair of neighbouring ticks.
void ExpectRoundTicks(const CGraph& graph) {
    const std::vector<double>& ticks = graph.Ticks();
    ASSERT_GE(ticks.size(), 2u);
    const double step = ticks[1] - ticks[0];
    const double magnitude = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    const double mantissa = step / magnitude;
    EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 ||
                std::fabs(mantissa - 5) < 1e-6)
        << "step " << step;
    for (size_t i = 1; i < ticks.size(); ++i)
        EXPECT_NEAR(ticks[i] - ticks[i - 1], step, step * 1e-6);
    for (double t : ticks) EXPECT_NEAR(std::round(t / step), t / step, 1e-6) << t;
    EXPECT_DOUBLE_EQ(ticks.front(), graph.AxisMin());
    EXPECT_NEAR(ticks.back(), graph.AxisMax(), step * 1e-6);
    // Labels are distinct and read back as their ticks.
    for (size_t i = 0; i < ticks.size(); ++i) {
        const QString label = graph.TickLabels()[i];
        bool ok = false;
        const double read = QLocale(QLocale::English).toDouble(label, &ok);
        EXPECT_TRUE(ok) << label.toStdString();
        EXPECT_NEAR(read, ticks[i], step * 1e-3) << label.toStdString();
        EXPECT_FALSE(label.contains(QLatin1Char('e'))) << label.toStdString();
        if (i > 0) {
            EXPECT_NE(label, graph.TickLabels()[i - 1]);
        }
    }
}

bool Overlap(const QPolygonF& a, const QPolygonF& b) {
    return !a.isEmpty() && !b.isEmpty() && a.intersects(b);
}

}  // namespace

TEST(GraphData, KeepsWhatItIsFedAndClearForgetsIt) {
    CGraph graph;
    graph.SetGraphTitle("Title");
    graph.SetSeriesType(1, gpDepthBar);
    graph.AddGraphPoint(1, 2, 12.5);
    graph.AddGraphPoint(0, 0, -3);
    graph.SetSeriesTitle(0, "First");
    graph.SetGroupTitle(3, "Last group");
    EXPECT_EQ(graph.SeriesCount(), 2);
    EXPECT_EQ(graph.GroupCount(), 4);
    EXPECT_EQ(graph.SeriesType(0), gpFlatBar);
    EXPECT_EQ(graph.SeriesType(1), gpDepthBar);
    EXPECT_DOUBLE_EQ(graph.Value(1, 2), 12.5);
    EXPECT_DOUBLE_EQ(graph.Value(0, 0), -3);
    EXPECT_TRUE(graph.HasPoint(1, 2));
    EXPECT_FALSE(graph.HasPoint(1, 0));  // a point never given is not a 0
    EXPECT_FALSE(graph.HasPoint(0, 3));
    EXPECT_EQ(graph.SeriesTitle(0), "First");
    EXPECT_EQ(graph.GroupTitle(3), "Last group");
    EXPECT_EQ(graph.GroupTitle(9), "");

    // Values that would break the axis arithmetic are tamed.
    graph.AddGraphPoint(0, 1, std::numeric_limits<double>::quiet_NaN());
    graph.AddGraphPoint(0, 2, std::numeric_limits<double>::infinity());
    graph.AddGraphPoint(0, 3, -1e308);
    EXPECT_DOUBLE_EQ(graph.Value(0, 1), 0);
    EXPECT_DOUBLE_EQ(graph.Value(0, 2), 0);
    EXPECT_TRUE(std::isfinite(graph.Value(0, 3)));

    // A stray index does not allocate without bound.
    graph.AddGraphPoint(4000000000u, 0, 1);
    graph.AddGraphPoint(0, 4000000000u, 1);
    graph.SetSeriesTitle(CGraph::kMaxSeries, "x");
    graph.SetGroupTitle(CGraph::kMaxGroups, "x");
    EXPECT_EQ(graph.SeriesCount(), 2);
    EXPECT_EQ(graph.GroupCount(), 4);

    graph.m_yAxisLabel = "MB/s";
    EXPECT_EQ(graph.GetyAxisLabel(), "MB/s");
    graph.Clear();
    EXPECT_EQ(graph.SeriesCount(), 0);
    EXPECT_EQ(graph.GroupCount(), 0);
    EXPECT_EQ(graph.GraphTitle(), "");
    EXPECT_FALSE(graph.IsCompiled());
}

TEST(GraphAxis, RoundTicksThatCoverEveryValueAndZero) {
    struct Case {
        const char* name;
        std::vector<double> values;
    };
    const Case cases[] = {
        {"ordinary", {12.5, 48, 97.3}},     {"negative and positive", {-37, 12, 55}},
        {"all negative", {-0.4, -2.5, -9}}, {"many orders of magnitude", {0.001, 3.5, 250000}},
        {"tiny", {0.0003, 0.0007}},         {"huge", {3e12, 7.5e14}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CGraph graph;
        for (size_t g = 0; g < c.values.size(); ++g)
            graph.AddGraphPoint(0, unsigned(g), c.values[g]);
        QImage image = WhiteImage(800, 500);
        CompileFor(graph, image);
        ExpectRoundTicks(graph);
        for (double v : c.values) {
            EXPECT_LE(graph.AxisMin(), v);
            EXPECT_GE(graph.AxisMax(), v);
        }
        EXPECT_LE(graph.AxisMin(), 0);  // bars grow from a zero line
        EXPECT_GE(graph.AxisMax(), 0);
        EXPECT_GE(graph.Ticks().size(), 3u);
        EXPECT_LE(graph.Ticks().size(), 11u);
    }
}

TEST(GraphAxis, AllZeroGivesAnAxisFromZeroToOneWithBarsOnTheZeroLine) {
    CGraph graph;
    Fill(graph, 3, 4, [](int, int) { return 0.0; });
    QImage image = WhiteImage(800, 500);
    CompileFor(graph, image);
    EXPECT_DOUBLE_EQ(graph.AxisMin(), 0);
    EXPECT_DOUBLE_EQ(graph.AxisMax(), 1);
    ExpectRoundTicks(graph);
    for (int s = 0; s < 3; ++s)
        for (int g = 0; g < 4; ++g) {
            const QRectF bar = graph.BarRect(s, g);
            EXPECT_DOUBLE_EQ(bar.height(), 0);
            EXPECT_NEAR(bar.bottom(), graph.PlotArea().bottom(), 0.5);
        }
}

TEST(GraphBars, HeightsFollowTheValuesAboveAndBelowTheZeroLine) {
    CGraph graph;
    graph.AddGraphPoint(0, 0, 40);
    graph.AddGraphPoint(1, 0, 20);
    graph.AddGraphPoint(0, 1, 0);
    graph.AddGraphPoint(1, 1, -20);
    QImage image = WhiteImage(800, 500);
    CompileFor(graph, image);
    const QRectF a = graph.BarRect(0, 0), b = graph.BarRect(1, 0);
    const QRectF zero = graph.BarRect(0, 1), negative = graph.BarRect(1, 1);
    EXPECT_NEAR(a.height(), 2 * b.height(), 1e-6);
    EXPECT_NEAR(a.bottom(), b.bottom(), 1e-6);
    EXPECT_NEAR(zero.top(), a.bottom(), 1e-6);  // the zero line
    EXPECT_DOUBLE_EQ(zero.height(), 0);
    EXPECT_NEAR(negative.top(), a.bottom(), 1e-6);
    EXPECT_NEAR(negative.height(), b.height(), 1e-6);
    // Series side by side within a group, groups left to right, all inside the plot.
    EXPECT_LE(a.right(), b.left() + 1e-6);
    EXPECT_LT(b.right(), zero.left());
    for (const QRectF& r : {a, b, zero, negative}) {
        EXPECT_GE(r.left(), graph.PlotArea().left());
        EXPECT_LE(r.right(), graph.PlotArea().right() + 1e-6);
        EXPECT_GE(r.top(), graph.PlotArea().top() - 1e-6);
        EXPECT_LE(r.bottom(), graph.PlotArea().bottom() + 1e-6);
    }
    EXPECT_TRUE(graph.BarRect(2, 0).isNull());
}

TEST(GraphBars, ASingleGroupAndDepthStayInsideTheRectangle) {
    for (gpSeriesType type : {gpFlatBar, gpDepthBar}) {
        CGraph graph;
        Fill(
            graph, 3, 1, [](int s, int) { return 10.0 * (s + 1); }, type);
        QImage image = WhiteImage(600, 400);
        CompileFor(graph, image);
        const QRectF area(0, 0, 600, 400);
        EXPECT_TRUE(area.contains(graph.PlotArea()));
        for (int s = 0; s < 3; ++s) {
            const QRectF bar = graph.BarRect(s, 0);
            EXPECT_GT(bar.width(), 10);
            EXPECT_GT(bar.height(), 10);
            EXPECT_TRUE(area.contains(bar.translated(type == gpDepthBar ? 20 : 0, 0)));
        }
        EXPECT_GT(graph.CaptionOutlines()[0].boundingRect().width(), 0);
    }
}

TEST(GraphCaptions, NeverOverlapHoweverLongOrManyTheyAre) {
    struct Case {
        const char* name;
        int groups;
        int width;
        std::string text;
    };
    const Case cases[] = {
        {"short side by side", 5, 800, "Read"},
        {"wrapped", 6, 800, "Sequential read of large blocks"},
        {"slanted", 20, 1600, "Memory~Bandwidth of the second level cache"},
        {"upright and thinned", 120, 700, "Disk~Random~Access time of the first disk"},
        {"one long word", 8, 500, "Averylongidentifierwithoutanyspaceinit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CGraph graph;
        Fill(graph, 2, c.groups, [](int s, int g) { return double(s + g + 1); });
        for (int g = 0; g < c.groups; ++g)
            graph.SetGroupTitle(unsigned(g), c.text + " " + std::to_string(g));
        QImage image = WhiteImage(c.width, 600);
        CompileFor(graph, image);
        const std::vector<QPolygonF>& outlines = graph.CaptionOutlines();
        ASSERT_EQ(int(outlines.size()), c.groups);
        int shown = 0;
        for (size_t i = 0; i < outlines.size(); ++i) {
            if (outlines[i].isEmpty()) continue;
            ++shown;
            // Below the plot, above the legend.
            EXPECT_GE(outlines[i].boundingRect().top(), graph.PlotArea().bottom() - 1e-6);
            EXPECT_LE(outlines[i].boundingRect().bottom(), graph.LegendBoxes()[0].top() + 1e-6);
            for (size_t j = i + 1; j < outlines.size(); ++j)
                EXPECT_FALSE(Overlap(outlines[i], outlines[j])) << i << " and " << j;
        }
        EXPECT_GE(shown, std::min(c.groups, 10));
    }
}

TEST(GraphLegend, TwelveEntriesSideBySideWithinTheRectangle) {
    for (int width : {1600, 500, 250}) {
        SCOPED_TRACE(width);
        CGraph graph;
        Fill(graph, 12, 3, [](int s, int) { return double(s); });
        QImage image = WhiteImage(width, 700);
        CompileFor(graph, image);
        const std::vector<QRectF>& boxes = graph.LegendBoxes();
        ASSERT_EQ(boxes.size(), 12u);
        for (size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_TRUE(QRectF(0, 0, width, 700).contains(boxes[i]));
            EXPECT_GE(boxes[i].top(), graph.PlotArea().bottom());
            for (size_t j = i + 1; j < boxes.size(); ++j)
                EXPECT_FALSE(boxes[i].intersects(boxes[j])) << i << " and " << j;
        }
    }
}

TEST(GraphLayout, DegenerateRectanglesAndEmptyChartsLayOutWithoutPlot) {
    CGraph graph;
    Fill(graph, 2, 2, [](int, int) { return 1.0; });
    QImage image = WhiteImage(100, 100);
    for (CGraphRect r : {CGraphRect{0, 0, 0, 0}, CGraphRect{50, 50, 10, 10}, CGraphRect{0, 0, 3, 3},
                         CGraphRect{-1000, -1000, 5000, 40},
                         CGraphRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}}) {
        graph.m_rect = r;
        graph.Compile(image);
        QPainter painter(&image);
        graph.DrawGraph(&painter);  // must not crash or draw outside
    }
    // Nothing fed: the title alone.
    CGraph empty;
    empty.SetGraphTitle("Nothing to compare");
    CompileFor(empty, image);
    EXPECT_TRUE(empty.IsCompiled());
    EXPECT_TRUE(empty.PlotArea().isNull());
    EXPECT_TRUE(empty.LegendBoxes().empty());
    // Groups but no series, and series without groups, are empty too.
    CGraph groupsOnly;
    groupsOnly.SetGroupTitle(2, "x");
    CompileFor(groupsOnly, image);
    EXPECT_TRUE(groupsOnly.PlotArea().isNull());
}

TEST(GraphLayout, TextScalesWithTheDeviceResolution) {
    CGraph graph;
    Fill(graph, 2, 3, [](int s, int g) { return double(s + g); });
    QImage screen = WhiteImage(800, 500, 96);
    CompileFor(graph, screen);
    const double screenTick = graph.PlotArea().left();
    QImage page = WhiteImage(2400, 1500, 300);  // the same size in inches, at 300 dpi
    CompileFor(graph, page);
    // Everything grows by the resolution ratio, so the layout keeps its proportions.
    EXPECT_NEAR(graph.PlotArea().left() / screenTick, 300.0 / 96, 0.6);
}

TEST(GraphLabels, NumbersInFullDigitsWithGroupSeparatorsOnTheAxisAndOverTheBars) {
    EXPECT_EQ(CGraph::FormatNumber(1234567, 0), "1,234,567");
    EXPECT_EQ(CGraph::FormatNumber(-1200000.5, 1), "-1,200,000.5");
    EXPECT_EQ(CGraph::FormatNumber(-0.0004, 2), "0.00");  // no "-0"
    EXPECT_EQ(CGraph::FormatNumber(3e15, 0), "3,000,000,000,000,000");

    struct Case {
        double value;
        const char* label;
    };
    const Case cases[] = {{1200000, "1,200,000"},
                          {1234567, "1,234,567"},
                          {1234567.89, "1,234,568"},
                          {12.5, "12.5"},
                          {-3, "-3"},
                          {0.00125, "0.00125"},
                          {0, "0"},
                          {2.0 / 3, "0.666667"}};
    CGraph graph;
    for (size_t g = 0; g < std::size(cases); ++g)
        graph.AddGraphPoint(0, unsigned(g), cases[g].value);
    QImage image = WhiteImage(1600, 600);
    CompileFor(graph, image);
    for (size_t g = 0; g < std::size(cases); ++g)
        EXPECT_EQ(graph.ValueLabel(0, int(g)).toStdString(), cases[g].label);
    // The axis of the same chart: every digit, separated by thousands.
    EXPECT_TRUE(std::any_of(graph.TickLabels().begin(), graph.TickLabels().end(),
                            [](const QString& t) { return t == QLatin1String("1,000,000"); }));

    // Axes far beyond a billion keep every digit too (exponents once began at 1e9).
    CGraph huge;
    huge.AddGraphPoint(0, 0, 7.5e14);
    CompileFor(huge, image);
    ExpectRoundTicks(huge);
    EXPECT_EQ(huge.TickLabels().back().count(QLatin1Char(',')), 4);  // 15 digits
}

TEST(GraphLabels, APointNeverGivenSaysSoWhereItsValueWouldBe) {
    for (gpSeriesType type : {gpFlatBar, gpDepthBar}) {
        SCOPED_TRACE(type);
        // Series 1 lacks group 1; series 3 has a title and no point at all.
        CGraph fed;
        fed.SetGraphTitle("t");
        for (int s = 0; s < 3; ++s) {
            fed.SetSeriesType(unsigned(s), type);
            fed.SetSeriesTitle(unsigned(s), "System " + std::to_string(s + 1));
            for (int g = 0; g < 2; ++g)
                if (s != 1 || g != 1) fed.AddGraphPoint(unsigned(s), unsigned(g), 10.0 * s + g + 5);
        }
        fed.SetSeriesTitle(3, "No values");
        QImage image = WhiteImage(800, 500);
        CompileFor(fed, image);
        EXPECT_TRUE(fed.BarRect(1, 1).isNull());
        EXPECT_EQ(fed.ValueLabel(1, 1), "n/a");
        EXPECT_EQ(fed.ValueLabel(1, 0), "15");
        // In the missing bar's place, standing on the zero line.
        const QRectF at = fed.ValueLabelRect(1, 1);
        const QRectF beside = fed.BarRect(0, 1);
        const double zero = fed.BarRect(0, 0).bottom();
        EXPECT_GT(at.center().x(), beside.right());
        EXPECT_LT(at.center().x(), beside.right() + beside.width());
        EXPECT_LE(at.bottom(), zero + 1e-6);
        EXPECT_GT(at.bottom(), zero - fed.PlotArea().height() / 4);
        // A series without any point: "n/a" in every place and beside its legend entry.
        EXPECT_EQ(fed.ValueLabel(3, 0), "n/a");
        ASSERT_EQ(fed.LegendTexts().size(), 4u);
        EXPECT_EQ(fed.LegendTexts()[3], "No values (n/a)");
        EXPECT_EQ(fed.LegendTexts()[1], "System 2");  // a series with some points has no note
        // The text is the program's; none at all writes nothing.
        fed.SetMissingText("k.A.");
        CompileFor(fed, image);
        EXPECT_EQ(fed.ValueLabel(1, 1), "k.A.");
        EXPECT_EQ(fed.LegendTexts()[3], "No values (k.A.)");
        fed.SetMissingText("");
        CompileFor(fed, image);
        EXPECT_EQ(fed.ValueLabel(1, 1), "");
        EXPECT_EQ(fed.LegendTexts()[3], "No values");
    }
}

TEST(GraphLooks, EachKeyKeepsItsLookWhateverItsPositionAndNoTwoSeriesShareOne) {
    auto looksOf = [](const std::vector<std::string>& keys) {
        CGraph graph;
        for (size_t s = 0; s < keys.size(); ++s) {
            graph.AddGraphPoint(unsigned(s), 0, 1);
            graph.SetSeriesKey(unsigned(s), keys[s]);
        }
        QImage image = WhiteImage(800, 500);
        CompileFor(graph, image);
        std::map<std::string, int> looks;
        std::set<int> distinct;
        for (size_t s = 0; s < keys.size(); ++s) {
            looks[keys[s]] = graph.SeriesLook(int(s));
            EXPECT_GE(looks[keys[s]], 0);
            EXPECT_LT(looks[keys[s]], CGraph::kDistinctLooks);
            distinct.insert(looks[keys[s]]);
        }
        EXPECT_EQ(distinct.size(), std::min(keys.size(), size_t(CGraph::kDistinctLooks)));
        return looks;
    };
    std::vector<std::string> keys;
    for (int i = 0; i < 12; ++i) keys.push_back("QX" + std::to_string(1000 + 37 * i) + "B");
    // Every order of the same systems: the same look for each.
    std::vector<std::string> six(keys.begin(), keys.begin() + 6);
    const auto first = looksOf(six);
    std::vector<std::string> other = six;
    std::reverse(other.begin(), other.end());
    EXPECT_EQ(looksOf(other), first);
    std::rotate(other.begin(), other.begin() + 2, other.end());
    EXPECT_EQ(looksOf(other), first);
    looksOf(keys);  // twelve: all twelve looks

    // A system charted alone, or with others whose looks differ from its own, keeps the
    // look it has on its own; two that want the same look share it out the same way in
    // either order.
    std::map<int, std::vector<std::string>> byOwnLook;
    for (int i = 0; i < 60; ++i) {
        const std::string k = "SYS-" + std::to_string(i);
        byOwnLook[looksOf({k})[k]].push_back(k);
    }
    EXPECT_GE(byOwnLook.size(), 6u);  // the keys spread over the looks
    const auto& same = std::max_element(byOwnLook.begin(), byOwnLook.end(), [](auto& a, auto& b) {
                           return a.second.size() < b.second.size();
                       })->second;
    ASSERT_GE(same.size(), 2u);
    EXPECT_EQ(looksOf({same[0], same[1]}), looksOf({same[1], same[0]}));

    // Without keys the looks follow the positions; the same key twice still gets two looks.
    CGraph plain;
    for (unsigned s = 0; s < 14; ++s) plain.AddGraphPoint(s, 0, 1);
    for (int s = 0; s < 14; ++s) EXPECT_EQ(plain.SeriesLook(s), s % CGraph::kDistinctLooks);
    EXPECT_EQ(looksOf({"TWIN", "TWIN"}).size(), 1u);
}
