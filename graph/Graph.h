// The chart module: a bar chart of series by groups, laid out for one paint device and
// drawn with QPainter, so the screen, the printer and an image share one code path.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "graph/GraphExport.h"

class QPainter;
class QPaintDevice;

// 1: flat bars; 4: bars drawn with depth.
enum gpSeriesType : int32_t { gpFlatBar = 1, gpDepthBar = 4 };

struct CGraphRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

class KQGRAPH_API CGraph {
public:
    // Indexes beyond these are ignored: a stray index must not allocate without bound.
    static constexpr unsigned kMaxSeries = 256;
    static constexpr unsigned kMaxGroups = 4096;
    // Series from here on repeat an earlier look.
    static constexpr int kDistinctLooks = 12;

    CGraph() = default;

    void Clear();
    void SetGraphTitle(const std::string& title);
    void SetSeriesType(unsigned series, gpSeriesType type);
    void AddGraphPoint(unsigned series, unsigned group, double value);
    void SetSeriesTitle(unsigned series, const std::string& title);
    void SetGroupTitle(unsigned group, const std::string& title);
    // What a series stands for, such as a record's identifier: a series with a key keeps its
    // look whatever its position, and the series of one chart never share a look.
    void SetSeriesKey(unsigned series, const std::string& key);
    // Written where a value label would be for a point never given, and beside the legend
    // entry of a series without any point ("n/a" unless set).
    void SetMissingText(const std::string& text) { m_missingText = text; }
    // Lays the chart out inside m_rect for the device's resolution.
    void Compile(QPaintDevice& device);
    void Compile(QPainter& painter);
    // Draws what the last Compile laid out; nothing before the first Compile.
    void DrawGraph(QPainter* painter) const;
    std::string GetyAxisLabel() const { return m_yAxisLabel; }

    // What was fed in, as the chart holds it.
    int SeriesCount() const { return int(m_series.size()); }
    int GroupCount() const { return int(m_groupTitles.size()); }
    const std::string& GraphTitle() const { return m_title; }
    gpSeriesType SeriesType(int series) const;
    const std::string& SeriesTitle(int series) const;
    const std::string& GroupTitle(int group) const;
    bool HasPoint(int series, int group) const;
    double Value(int series, int group) const;
    const std::string& SeriesKey(int series) const;
    // The look (colour and hatching, 0 to kDistinctLooks - 1) a series is drawn with.
    int SeriesLook(int series) const;
    // A number as the axis and the value labels write it: every digit of the whole part,
    // group separators, the given number of decimals; never an exponent.
    static QString FormatNumber(double value, int decimals);

    // The compiled layout, for callers that place things beside the chart.
    bool IsCompiled() const { return m_compiled; }
    const QRectF& PlotArea() const { return m_plot; }
    double AxisMin() const { return m_axisMin; }
    double AxisMax() const { return m_axisMax; }
    const std::vector<double>& Ticks() const { return m_ticks; }
    const std::vector<QString>& TickLabels() const { return m_tickLabels; }
    // Outline of each group caption as drawn (empty polygon: caption left out).
    const std::vector<QPolygonF>& CaptionOutlines() const { return m_captionOutlines; }
    // Where each legend entry is drawn (empty when there is no legend).
    const std::vector<QRectF>& LegendBoxes() const { return m_legendBoxes; }
    const std::vector<QString>& LegendTexts() const { return m_legendTexts; }
    // Front face of the bar of series s in group g; empty when there is no point.
    QRectF BarRect(int series, int group) const;
    // The text written over the bar of series s in group g, or in its place when there is no
    // point; empty when nothing is written there.
    QString ValueLabel(int series, int group) const;
    // Where that text is drawn (empty when none).
    QRectF ValueLabelRect(int series, int group) const;

    // Drawing rectangle, set before Compile (the chart's first member).
    CGraphRect m_rect;
    // Value-axis label (units); assigned directly by the program.
    std::string m_yAxisLabel;

private:
    struct Series {
        gpSeriesType type = gpFlatBar;
        std::string title;
        std::string key;
        std::vector<double> values;
        std::vector<bool> present;
    };
    struct Caption {
        QStringList lines;
        double angle = 0;  // degrees, counter-clockwise from the horizontal
        bool shown = true;
    };

    Series& SeriesAt(unsigned series);
    void EnsureGroup(unsigned group);
    void LayoutAxis(double plotHeight, double lineHeight);
    void LayoutCaptions(double slotWidth, double lineHeight, double maxHeight, double& height);
    std::vector<int> ChooseLooks() const;
    bool PlaceValueLabels(const QFontMetricsF& fm);
    double ValueToY(double value) const;
    void DrawBar(QPainter& p, int series, const QRectF& front, double depthX, double depthY) const;

    std::string m_title;
    std::string m_missingText = "n/a";
    std::vector<Series> m_series;
    std::vector<std::string> m_groupTitles;

    // Layout from Compile.
    bool m_compiled = false;
    QRectF m_area;
    QFont m_titleFont;
    QFont m_textFont;
    QFont m_smallFont;
    double m_lineWidth = 1;
    QStringList m_titleLines;
    QRectF m_titleBox;
    QRectF m_unitsBox;
    QRectF m_plot;
    double m_depthX = 0;
    double m_depthY = 0;
    double m_axisMin = 0;
    double m_axisMax = 1;
    std::vector<double> m_ticks;
    std::vector<QString> m_tickLabels;
    double m_tickLabelWidth = 0;
    double m_slotWidth = 0;
    double m_barWidth = 0;
    double m_barGap = 0;
    std::vector<Caption> m_captions;
    std::vector<QPolygonF> m_captionOutlines;
    double m_captionTop = 0;
    std::vector<QRectF> m_legendBoxes;
    std::vector<QString> m_legendTexts;
    double m_swatch = 0;
    std::vector<int> m_looks;
    std::vector<std::vector<QString>> m_valueTexts;
    std::vector<std::vector<QRectF>> m_labelRects;
};
