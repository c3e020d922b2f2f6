// Feeds, lays out and draws a chart of 12 series by 20 groups into a 1600 by 1000 image, and
// times it against a floor measured in the same run: clearing the image and filling 240 plain
// rectangles, the least any bar chart of that size costs. Wall time and the thread's CPU time
// are both reported: on a shared machine the CPU time is the steadier of the two.
#include <stdlib.h>
#include <time.h>

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

struct Stamp {
    Clock::time_point wall;
    double cpu;  // ms of this thread's CPU time
};

Stamp Now() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return {Clock::now(), ts.tv_sec * 1e3 + ts.tv_nsec / 1e6};
}

double Wall(const Stamp& a, const Stamp& b) {
    return std::chrono::duration<double, std::milli>(b.wall - a.wall).count();
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
    std::vector<double> flat, deep, floor, flatCpu, deepCpu, floorCpu;
    for (int r = 0; r < rounds; ++r) {
        const Stamp t0 = Now();
        Floor(image, r);
        const Stamp t1 = Now();
        Chart(image, 2 * r);
        const Stamp t2 = Now();
        Chart(image, 2 * r + 1);
        const Stamp t3 = Now();
        floor.push_back(Wall(t0, t1));
        flat.push_back(Wall(t1, t2));
        deep.push_back(Wall(t2, t3));
        floorCpu.push_back(t1.cpu - t0.cpu);
        flatCpu.push_back(t2.cpu - t1.cpu);
        deepCpu.push_back(t3.cpu - t2.cpu);
    }
    std::printf("rounds %d, 12 series x 20 groups, 1600x1000 image; medians, target < 20 ms\n",
                rounds);
    std::printf("%-32s %10s %10s\n", "", "wall ms", "cpu ms");
    std::printf("%-32s %10.2f %10.2f\n", "floor (clear + 240 rectangles)", Median(floor),
                Median(floorCpu));
    std::printf("%-32s %10.2f %10.2f   (%.1fx / %.1fx floor)\n", "chart 2D (build + draw)",
                Median(flat), Median(flatCpu), Median(flat) / Median(floor),
                Median(flatCpu) / Median(floorCpu));
    std::printf("%-32s %10.2f %10.2f   (%.1fx / %.1fx floor)\n", "chart 3D (build + draw)",
                Median(deep), Median(deepCpu), Median(deep) / Median(floor),
                Median(deepCpu) / Median(floorCpu));
    return 0;
}
