// Charts drawn into images: written to the build tree (tests/graph/charts) for anyone to look
// at, and checked where a picture can be checked by its pixels.
#include <QDir>
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "tests/graph/GraphFixture.h"

namespace {

void Save(const QImage& image, const QString& name) {
    QDir().mkpath(QStringLiteral(QUILLON_CHART_DIR));
    const QString path = QStringLiteral(QUILLON_CHART_DIR "/%1.png").arg(name);
    ASSERT_TRUE(image.save(path)) << path.toStdString();
}

int NonWhite(const QImage& image, const QRect& r) {
    int n = 0;
    const QRect box = r.intersected(image.rect());
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if ((image.pixel(x, y) & 0xffffff) != 0xffffff) ++n;
    return n;
}

// Pixels of some colour (not white, grey or black) in r.
int Coloured(const QImage& image, const QRect& r) {
    int n = 0;
    const QRect box = r.intersected(image.rect());
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int hi = std::max({c.red(), c.green(), c.blue()});
            const int lo = std::min({c.red(), c.green(), c.blue()});
            if (hi - lo > 40) ++n;
        }
    return n;
}

// The commonest colour in r: a bar's fill beneath its hatching.
QRgb Commonest(const QImage& image, const QRect& r) {
    std::map<QRgb, int> counts;
    const QRect box = r.intersected(image.rect());
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) ++counts[image.pixel(x, y) & 0xffffff];
    return std::max_element(counts.begin(), counts.end(),
                            [](auto& a, auto& b) { return a.second < b.second; })
        ->first;
}

}  // namespace

TEST(GraphDrawing, PicturesOfTheKindsOfChart) {
    {
        CGraph graph;
        Fill(graph, 12, 20, [](int s, int g) { return 10.0 + 7 * s + 3 * g + (g % 3) * 11; });
        for (int g = 0; g < 20; ++g)
            graph.SetGroupTitle(unsigned(g), "Disk " + std::to_string(g) + " Sequential read");
        Save(Render(graph, 1600, 1000), "chart-2d-12x20");
    }
    {
        CGraph graph;
        Fill(
            graph, 3, 5, [](int s, int g) { return 20.0 + 15 * s + 9 * g; }, gpDepthBar);
        Save(Render(graph, 800, 500), "chart-3d-3x5");
    }
    {
        CGraph graph;
        Fill(
            graph, 4, 4, [](int s, int g) { return (s - 1.5) * 10 + g * 3 - 5; }, gpDepthBar);
        graph.AddGraphPoint(2, 2, 0);
        Save(Render(graph, 800, 500), "chart-negative-3d");
    }
    {
        CGraph graph;
        Fill(graph, 3, 4, [](int, int) { return 0.0; });
        Save(Render(graph, 800, 500), "chart-all-zero");
    }
    {
        CGraph graph;
        Fill(graph, 3, 4, [](int s, int g) { return std::pow(10.0, s + g - 2.0); });
        Save(Render(graph, 800, 500), "chart-orders-of-magnitude");
    }
    {
        CGraph graph;
        Fill(
            graph, 2, 1, [](int s, int) { return 12.5 * (s + 1); }, gpDepthBar);
        graph.SetGroupTitle(0, "Memory Bandwidth");
        Save(Render(graph, 800, 500), "chart-single-group");
    }
    {
        CGraph graph;
        graph.SetGraphTitle("CPU Speed");
        Save(Render(graph, 800, 500), "chart-empty");
    }
    {
        CGraph graph;
        Fill(graph, 12, 4, [](int s, int g) { return 5.0 + s + g; });
        Save(Render(graph, 1275, 825, 150), "chart-legend-150dpi");
    }
    {
        CGraph graph;
        Fill(
            graph, 3, 3, [](int s, int g) { return s * 400000.0 + g * 1234567; }, gpDepthBar);
        graph.SetSeriesTitle(3, "Without values");
        graph.SetSeriesType(3, gpDepthBar);
        Save(Render(graph, 2400, 1500, 300), "chart-3d-labels-300dpi");
    }
}

TEST(GraphDrawing, AnEmptyChartShowsItsTitleAndNothingElse) {
    CGraph graph;
    graph.SetGraphTitle("CPU Speed");
    const QImage image = Render(graph, 600, 400);
    EXPECT_GT(NonWhite(image, QRect(0, 0, 600, 40)), 30);
    EXPECT_EQ(NonWhite(image, QRect(0, 60, 600, 340)), 0);
    // Without a title it is blank.
    CGraph blank;
    EXPECT_EQ(NonWhite(Render(blank, 600, 400), QRect(0, 0, 600, 400)), 0);
}

TEST(GraphDrawing, ZeroIsMarkedOnTheAxisWhereAMissingPointIsNot) {
    CGraph graph;
    graph.AddGraphPoint(0, 0, 10);
    graph.AddGraphPoint(1, 0, 0);   // drawn as 0
    graph.AddGraphPoint(0, 1, 10);  // series 1 has no point in group 1
    const QImage image = Render(graph, 600, 400);
    const QRectF zero = graph.BarRect(1, 0);
    const QRectF bar = graph.BarRect(0, 1);
    const QRectF missing(bar.right() + 1, bar.top(), bar.width() - 2, bar.height());
    const int lineY = int(std::floor(zero.top()));
    // Just above the black zero line: the mark of the 0, and no mark where no point was given
    // (only its grey "n/a").
    EXPECT_GT(NonWhite(image, QRect(int(zero.left()) + 2, lineY - 1, int(zero.width()) - 4, 1)),
              int(zero.width()) / 2);
    EXPECT_EQ(
        Coloured(image, QRect(int(missing.left()) + 2, lineY - 3, int(missing.width()) - 4, 2)), 0);
}

TEST(GraphDrawing, DepthIsDrawnBesideAndAboveTheFrontOfA3DBar) {
    CGraph flat, deep;
    Fill(flat, 1, 1, [](int, int) { return 10.0; });
    Fill(
        deep, 1, 1, [](int, int) { return 10.0; }, gpDepthBar);
    const QImage a = Render(flat, 600, 400), b = Render(deep, 600, 400);
    const QRectF fa = flat.BarRect(0, 0), fb = deep.BarRect(0, 0);
    // Right of the front face, at mid height: white for the flat bar, the side face for depth.
    const QRect besideA(int(fa.right()) + 3, int(fa.center().y()), 3, 3);
    const QRect besideB(int(fb.right()) + 3, int(fb.center().y()), 3, 3);
    EXPECT_EQ(NonWhite(a, besideA), 0);
    EXPECT_EQ(NonWhite(b, besideB), 9);
    EXPECT_EQ(NonWhite(b, QRect(int(fb.center().x()), int(fb.top()) - 3, 3, 2)), 6);
}

TEST(GraphDrawing, TwelveSeriesStayApartInGreyscale) {
    for (int dpi : {96, 300}) {
        SCOPED_TRACE(dpi);
        CGraph graph;
        Fill(graph, 12, 2, [](int s, int) { return double(s + 1); });
        const int scale = dpi / 96;
        QImage image = Render(graph, 900 * scale, 600 * scale, dpi);
        image = image.convertToFormat(QImage::Format_Grayscale8);
        if (dpi == 300) Save(image, "chart-greyscale-300dpi");
        // Each legend swatch's inside, as grey levels.
        std::vector<std::vector<int>> swatches;
        for (const QRectF& box : graph.LegendBoxes()) {
            const int side = int(box.height() * 0.9 / 1.25) - 4;
            const int left = int(box.left()) + 2;
            const int top = int(box.center().y() - side / 2.0) + 1;
            std::vector<int> grey;
            for (int y = top; y < top + side - 1; ++y)
                for (int x = left; x < left + side - 1; ++x)
                    grey.push_back(qGray(image.pixel(x, y)));
            swatches.push_back(grey);
        }
        ASSERT_EQ(swatches.size(), 12u);
        for (size_t i = 0; i < swatches.size(); ++i)
            for (size_t j = i + 1; j < swatches.size(); ++j) {
                ASSERT_EQ(swatches[i].size(), swatches[j].size());
                int differing = 0;
                for (size_t k = 0; k < swatches[i].size(); ++k)
                    if (std::abs(swatches[i][k] - swatches[j][k]) > 40) ++differing;
                EXPECT_GT(differing, int(swatches[i].size()) / 10)
                    << "series " << i << " and " << j << " look alike in grey";
            }
    }
}

TEST(GraphDrawing, NoBarForAMissingPointButItsTextInPlace) {
    for (gpSeriesType type : {gpFlatBar, gpDepthBar}) {
        SCOPED_TRACE(type);
        CGraph graph;
        graph.SetSeriesType(0, type);
        graph.SetSeriesType(1, type);
        graph.AddGraphPoint(0, 0, 10);
        graph.AddGraphPoint(1, 0, 8);
        graph.AddGraphPoint(0, 1, 10);  // series 1 has no point in group 1
        const QImage image = Render(graph, 600, 400);
        const QRectF bar = graph.BarRect(0, 1);
        // The whole column of the missing bar, from the top of its neighbour to the zero line,
        // holds no bar colour; its text is there.
        const QRect column(int(bar.right()) + 2, int(bar.top()), int(bar.width()) - 4,
                           int(bar.height()) - 2);
        const QRect text = graph.ValueLabelRect(1, 1).toAlignedRect();
        EXPECT_EQ(graph.ValueLabel(1, 1), "n/a");
        EXPECT_GT(NonWhite(image, text), 10);
        if (type == gpFlatBar) {
            EXPECT_EQ(Coloured(image, column), 0);
        } else {
            // Only the depth of the neighbour on its left shows there.
            const int depth = int(std::ceil(graph.BarRect(0, 0).width() * 0.6)) + 2;
            EXPECT_EQ(Coloured(image, column.adjusted(depth, 0, 0, 0)), 0);
        }
    }
}

TEST(GraphDrawing, ValueTextsStayReadableBesideTallerNeighboursIn3D) {
    // Short bars between tall ones, on screen and on a 300 dpi page.
    for (int dpi : {96, 300}) {
        SCOPED_TRACE(dpi);
        CGraph graph;
        Fill(
            graph, 4, 2,
            [](int s, int g) { return g == 0 ? (s % 2 ? 1000000.0 : 12345.0) : 1234567.0 + s; },
            gpDepthBar);
        const int scale = dpi / 96;
        const QImage image = Render(graph, 800 * scale, 500 * scale, dpi);
        if (dpi == 300) Save(image, "chart-3d-neighbours-300dpi");
        int labels = 0;
        for (int s = 0; s < 4; ++s)
            for (int g = 0; g < 2; ++g) {
                const QRectF box = graph.ValueLabelRect(s, g);
                if (box.isEmpty()) continue;
                ++labels;
                // The text's middle, where a neighbour's front or depth would show through.
                const QRect middle(int(box.center().x()) - 2 * scale, int(box.top()) + 1, 4 * scale,
                                   int(box.height()) - 2);
                EXPECT_EQ(Coloured(image, middle), 0) << "series " << s << " group " << g;
                EXPECT_GT(NonWhite(image, box.toAlignedRect()), 5);
                // Over its own bar, clear of every other text.
                const QRectF bar = graph.BarRect(s, g);
                EXPECT_LE(box.bottom(), bar.top() + 1e-6);
                EXPECT_GE(box.center().x(), bar.left());
                EXPECT_LE(box.center().x(), bar.right() + bar.width());
                for (int t = 0; t < 4; ++t)
                    for (int h = 0; h < 2; ++h)
                        if (t != s || h != g) {
                            EXPECT_FALSE(box.intersects(graph.ValueLabelRect(t, h)))
                                << s << "," << g << " and " << t << "," << h;
                        }
            }
        EXPECT_EQ(labels, 8);
    }
}

TEST(GraphDrawing, ASystemKeepsItsColourWhenTheSelectionIsReordered) {
    const std::vector<std::string> keys = {"QX-ALPHA", "QX-BETA", "QX-GAMMA", "QX-DELTA"};
    auto colours = [&keys](const std::vector<int>& order) {
        CGraph graph;
        for (size_t s = 0; s < order.size(); ++s) {
            graph.AddGraphPoint(unsigned(s), 0, 10);
            graph.SetSeriesKey(unsigned(s), keys[size_t(order[s])]);
        }
        const QImage image = Render(graph, 600, 400);
        std::map<std::string, QRgb> byKey;
        for (size_t s = 0; s < order.size(); ++s) {
            const QRect bar = graph.BarRect(int(s), 0).toAlignedRect().adjusted(2, 2, -2, -2);
            byKey[keys[size_t(order[s])]] = Commonest(image, bar);
        }
        return byKey;
    };
    const auto first = colours({0, 1, 2, 3});
    EXPECT_EQ(colours({3, 2, 1, 0}), first);
    EXPECT_EQ(colours({2, 0, 3, 1}), first);
    std::set<QRgb> distinct;
    for (const auto& [key, rgb] : first) distinct.insert(rgb);
    EXPECT_EQ(distinct.size(), keys.size());
}
