// Pane 3: a bar chart comparing the selected systems on the values of one chart
// definition, chosen in a combo box, drawn flat or with depth.
#pragma once

#include <QComboBox>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <cstdint>
#include <string>
#include <vector>

#include "document/PaneSources.h"
#include "graph/Graph.h"
#include "panes/Pane.h"

class QClipboard;
class QPaintDevice;

class CChartsPane : public CPane {
public:
    enum { kChooserID = 17, kDimensionID = 18, kFigureID = 19 };
    // Series beyond these are not charted.
    static constexpr int kMaxSeries = 12;

    explicit CChartsPane(IChartSource& source) : m_source(source) {}
    ~CChartsPane() override;

    // Where the compared record keys come from (the Database pane), in list order.
    void SetSelectionSource(const CSelectionPane* source) { m_selectionSource = source; }
    // The user's choice in combo box 17 or 18 (each box is connected to it).
    void OnSelChange(int controlID);
    // Out of date when the definitions or the compared systems may have changed; an
    // analyzer's properties change no measurement and keep the chart.
    void OnDocumentEvent(const DocumentEvent& event) override;

    // Lays the chart out on device inside rect from the chosen definition and the selection:
    // the same steps for the screen, the printer and an image.
    void BuildChart(CGraph& graph, QPaintDevice& device, const QRect& rect);
    // The printed copy: one page with half-inch margins on the painter's device.
    void PrintChart(QPainter& painter);
    // A fresh copy of the chart drawn on white at the given size.
    QImage ChartImage(const QSize& size);
    // The chart, at its size on screen, as an image on the clipboard. When there is no
    // clipboard to use, says so (message 52) and answers false.
    bool CopyToClipboard(QClipboard* clipboard);

    CGraph& Graph() { return m_graph; }
    const QRect& ChartRect() const { return m_chartRect; }
    // The number of chart definitions; fills the chooser first when it is out of date.
    int ChartCount();
    QComboBox* Chooser() const { return m_chooser; }
    QComboBox* DimensionBox() const { return m_dimensionBox; }
    // A history chart's figure, one of its lines; shown only for such a chart.
    QComboBox* FigureBox() const { return m_figureBox; }
    bool HistoryChart() const { return m_history; }
    int DimensionChoice() const { return m_dimension; }
    const std::string& ChartName() const { return m_chartName; }
    const std::vector<std::string>& Lines() const { return m_lines; }

protected:
    void CreateWindows() override;
    void OnResize() override;
    void OnShow(bool show) override;
    void OnDraw(QPainter& painter) override;

private:
    void DestroyWindows();
    void RefillChooser();
    void ChooseChart();
    void Rebuild();
    void SetDropHeight(QComboBox* box);
    void FillFigureBox();
    void BuildHistoryChart(CGraph& graph, gpSeriesType type);
    const CRepDef* ChosenDefinition() const;

    const std::vector<int32_t>& Selection() const;

    IChartSource& m_source;
    const CSelectionPane* m_selectionSource = nullptr;
    std::string m_chartName;
    int m_dimension = 0;  // 0 "2D", 1 "3D"
    CGraph m_graph;
    QRect m_chartRect;
    QPointer<QComboBox> m_chooser;
    QPointer<QComboBox> m_dimensionBox;
    QPointer<QComboBox> m_figureBox;
    std::vector<std::string> m_lines;
    bool m_history = false;            // the chosen chart shows this machine over time
    std::string m_figureLine;          // the figure it shows, kept across rebuilds by its line
    std::vector<std::string> m_units;  // per line of a history chart
};
