// Feeds, lays out and draws a chart of 12 series by 20 groups into a 1600 by 1000 image, and
// times it against a floor measured in the same run: clearing the image and filling 240 plain
// rectangles, the least any bar chart of that size costs.
#include <stdlib.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "graph/Graph.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Chart(QImage& image, int round) {
    image.fill(Qt::white);
    CGraph graph;
    graph.Clear();
    graph.SetGraphTitle("Disk throughput");
    graph.m_yAxisLabel = "MB/s";
    graph.m_rect = {0, 0, image.width(), image.height()};
    for (unsigned s = 0; s < 12; ++s) {
        graph.SetSeriesType(s, round % 2 ? gpDepthBar : gpFlatBar);
        for (unsigned g = 0; g < 20; ++g)
            graph.AddGraphPoint(s, g, 10.0 + s * 7 + g * 3 + round % 5);
        graph.SetSeriesTitle(s, "System number " + std::to_string(s + 1));
    }
    for (unsigned g = 0; g < 20; ++g)
        graph.SetGroupTitle(g, "Disk " + std::to_string(g) + " Sequential read speed");
    graph.Compile(image);
    QPainter painter(&image);
    graph.DrawGraph(&painter);
}

void Floor(QImage& image, int round) {
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int i = 0; i < 240; ++i)
        painter.fillRect(QRect(100 + i * 6, 900 - (i * 7 + round) % 800, 5, 50 + i), Qt::blue);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(5, atoi(argv[1])) : 101;
    QImage image(1600, 1000, QImage::Format_RGB32);
    Chart(image, 0);  // fonts loaded before the clock runs
    std::vector<double> flat, deep, floor;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = Clock::now();
        Floor(image, r);
        auto t1 = Clock::now();
        Chart(image, 2 * r);
        auto t2 = Clock::now();
        Chart(image, 2 * r + 1);
        auto t3 = Clock::now();
        floor.push_back(Ms(t0, t1));
        flat.push_back(Ms(t1, t2));
        deep.push_back(Ms(t2, t3));
    }
    std::printf("rounds %d, 12 series x 20 groups, 1600x1000 image\n", rounds);
    std::printf("floor (clear + 240 rectangles): median %.2f ms\n", Median(floor));
    std::printf("chart 2D: median %.2f ms (%.1fx floor), target < 20 ms\n", Median(flat),
                Median(flat) / Median(floor));
    std::printf("chart 3D: median %.2f ms (%.1fx floor), target < 20 ms\n", Median(deep),
                Median(deep) / Median(floor));
    return 0;
}
