// Charts fed with series by groups and compiled into images of a given size.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <string>

#include "graph/Graph.h"

inline QImage WhiteImage(int width, int height, int dpi = 96) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    const int dpm = int(dpi / 0.0254 + 0.5);
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    return image;
}

// Compiles the chart for the whole image.
inline void CompileFor(CGraph& graph, QImage& image) {
    graph.m_rect = {0, 0, image.width(), image.height()};
    graph.Compile(image);
}

inline QImage Render(CGraph& graph, int width = 800, int height = 500, int dpi = 96) {
    QImage image = WhiteImage(width, height, dpi);
    CompileFor(graph, image);
    QPainter painter(&image);
    graph.DrawGraph(&painter);
    return image;
}

// series x groups of value(s, g), with titles.
template <class F>
void Fill(CGraph& graph, int series, int groups, F value, gpSeriesType type = gpFlatBar) {
    graph.SetGraphTitle("Disk throughput");
    graph.m_yAxisLabel = "MB/s";
    for (int s = 0; s < series; ++s) {
        graph.SetSeriesType(unsigned(s), type);
        graph.SetSeriesTitle(unsigned(s), "System " + std::to_string(s + 1));
        for (int g = 0; g < groups; ++g) graph.AddGraphPoint(unsigned(s), unsigned(g), value(s, g));
    }
    for (int g = 0; g < groups; ++g)
        graph.SetGroupTitle(unsigned(g), "Group " + std::to_string(g + 1));
}
