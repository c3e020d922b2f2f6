#include "panes/ChartsPane.h"

#include <QClipboard>
#include <QComboBox>
#include <QMimeData>
#include <QPaintDevice>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <new>

#include "document/FrameServices.h"
#include "panes/QtText.h"
#include "reports/ReportCompiler.h"
#include "resources/Strings.h"

namespace {

constexpr int kDefinitionRole = Qt::UserRole;

}  // namespace

CChartsPane::~CChartsPane() { DestroyWindows(); }

// ---- controls ----

void CChartsPane::CreateWindows() {
    QWidget* view = ViewWidget();
    const int top = m_tabRect.y() + m_tabRect.height();
    m_chooser = new QComboBox(view);
    m_chooser->setObjectName(QStringLiteral("chartChooser"));
    m_chooser->hide();
    const int height = m_chooser->sizeHint().height();
    m_chooser->setGeometry(0, top, 40 * m_aveCharWidth, height);

    m_dimensionBox = new QComboBox(view);
    m_dimensionBox->setObjectName(QStringLiteral("chartDimension"));
    m_dimensionBox->hide();
    m_dimensionBox->setGeometry(m_chooser->geometry().right() + 1, top, 8 * m_aveCharWidth, height);
    m_dimensionBox->addItem(KQText(IDS_CHART_2D));
    m_dimensionBox->addItem(KQText(IDS_CHART_3D));
    SetDropHeight(m_dimensionBox);
    m_dimensionBox->setCurrentIndex(m_dimension);

    m_figureBox = new QComboBox(view);
    m_figureBox->setObjectName(QStringLiteral("chartFigure"));
    m_figureBox->hide();
    m_figureBox->setGeometry(m_dimensionBox->geometry().right() + 1, top, 40 * m_aveCharWidth,
                             height);

    // Only the user's choices count as selection changes, not a refill.
    QObject::connect(m_chooser, &QComboBox::activated, m_chooser,
                     [this] { OnSelChange(kChooserID); });
    QObject::connect(m_dimensionBox, &QComboBox::activated, m_dimensionBox,
                     [this] { OnSelChange(kDimensionID); });
    QObject::connect(m_figureBox, &QComboBox::activated, m_figureBox,
                     [this] { OnSelChange(kFigureID); });

    const QRect client = view->rect();
    m_chartRect = QRect(QPoint(client.left(), top + height), client.bottomRight());
    m_upToDate = 0;
}

void CChartsPane::DestroyWindows() {
    delete m_chooser.data();
    delete m_dimensionBox.data();
    delete m_figureBox.data();
}

void CChartsPane::OnResize() {
    DestroyWindows();
    CreateWindows();
}

void CChartsPane::SetDropHeight(QComboBox* box) {
    // As many rows as entries, ending no lower than the view's bottom.
    const int row = std::max(1, box->fontMetrics().height());
    const int room = (ViewWidget()->rect().bottom() - box->geometry().bottom()) / row - 2;
    box->setMaxVisibleItems(std::max(1, std::min(box->count(), room)));
    if (box->count() > 0) box->setCurrentIndex(0);
}

void CChartsPane::OnShow(bool show) {
    if (!m_chooser || !m_dimensionBox) return;
    if (show) {
        if (!m_upToDate) RefillChooser();
        ChooseChart();
        m_chooser->show();
        m_dimensionBox->show();
        if (m_figureBox) m_figureBox->setVisible(m_history);
    } else {
        m_chooser->hide();
        m_dimensionBox->hide();
        if (m_figureBox) m_figureBox->hide();
    }
}

int CChartsPane::ChartCount() {
    if (!m_chooser) return 0;
    if (!m_upToDate) RefillChooser();
    return m_chooser->count();
}

void CChartsPane::RefillChooser() {
    // Re-created controls have lost their entries: the chart shown last is kept by name.
    const QString remembered = m_chooser->currentIndex() >= 0 ? m_chooser->currentText()
                                                              : QString::fromStdString(m_chartName);
    m_chooser->clear();
    const std::vector<CRepDef*> defs = m_source.Definitions(RDTYPE_CHART);
    for (size_t i = 0; i < defs.size(); ++i) {
        m_chooser->addItem(QString::fromStdString(defs[i]->GetName()));
        m_chooser->setItemData(m_chooser->count() - 1, int(i), kDefinitionRole);
    }
    SetDropHeight(m_chooser);
    if (!remembered.isEmpty()) {
        const int found =
            m_chooser->findText(remembered, Qt::MatchExactly | Qt::MatchCaseSensitive);
        m_chooser->setCurrentIndex(found > 0 ? found : (m_chooser->count() > 0 ? 0 : -1));
    }
}

const CRepDef* CChartsPane::ChosenDefinition() const {
    const int index = m_chooser ? m_chooser->currentIndex() : -1;
    if (index < 0) return nullptr;
    const int definition = m_chooser->itemData(index, kDefinitionRole).toInt();
    const std::vector<CRepDef*> defs = m_source.Definitions(RDTYPE_CHART);
    if (definition < 0 || size_t(definition) >= defs.size()) return nullptr;
    const CRepDef* def = defs[size_t(definition)];
    // The definitions may have been rebuilt since the chooser was filled.
    if (!def || def->GetType() != RDTYPE_CHART ||
        QString::fromStdString(def->GetName()) != m_chooser->itemText(index))
        return nullptr;
    return def;
}

void CChartsPane::ChooseChart() {
    m_lines.clear();
    m_units.clear();
    m_history = false;
    std::string units;
    if (m_chooser && m_chooser->currentIndex() >= 0) {
        m_chartName = m_chooser->currentText().toStdString();
        if (const CRepDef* def = ChosenDefinition()) {
            m_history = IsHistoryDefinition(*def);
            try {
                for (const CRepItem& item : def->m_items) {
                    m_lines.push_back(item.m_text);
                    if (m_history)
                        m_units.push_back(def->GetAttrValue(HistoryUnitsAttribute(item.m_text)));
                }
            } catch (const std::bad_alloc&) {
                // The lines copied so far are charted.
            }
            units = def->GetAttrValue("Units");
        }
    }
    FillFigureBox();
    if (m_history && m_figureBox && m_figureBox->currentIndex() >= 0 &&
        size_t(m_figureBox->currentIndex()) < m_units.size())
        units = m_units[size_t(m_figureBox->currentIndex())];
    m_graph.m_yAxisLabel = units;
    Rebuild();
}

void CChartsPane::FillFigureBox() {
    if (!m_figureBox) return;
    m_figureBox->clear();
    if (m_history)
        for (const std::string& line : m_lines)
            m_figureBox->addItem(QString::fromStdString(CReportCompiler::Caption(line)));
    SetDropHeight(m_figureBox);
    const auto kept = std::find(m_lines.begin(), m_lines.end(), m_figureLine);
    if (kept != m_lines.end()) m_figureBox->setCurrentIndex(int(kept - m_lines.begin()));
    m_figureBox->setVisible(m_history && m_chooser && m_chooser->isVisible());
}

void CChartsPane::Rebuild() {
    BuildChart(m_graph, *ViewWidget(), m_chartRect);
    const size_t selected = Selection().size();
    if (!m_history && !m_lines.empty() && selected > size_t(kMaxSeries))
        Frame().SetStatusText(FormatKQString(IDS_CHART_FIRST_12, std::to_string(selected)));
    m_upToDate = 1;
    ViewWidget()->update(m_chartRect);
}

void CChartsPane::OnDocumentEvent(const DocumentEvent& event) {
    if (event.kind == DocEvent::SelectionChanged || event.kind == DocEvent::RecordChanged ||
        (TreeRebuilt(event.kind) && event.kind != DocEvent::PropertiesChanged))
        m_upToDate = 0;
}

const std::vector<int32_t>& CChartsPane::Selection() const {
    static const std::vector<int32_t> kNoSelection;
    return m_selectionSource ? m_selectionSource->GetSelection() : kNoSelection;
}

void CChartsPane::OnSelChange(int controlID) {
    if (!IsCreated() || !m_chooser || !m_dimensionBox) return;
    if (controlID == kChooserID) {
        ChooseChart();
    } else if (controlID == kFigureID && m_figureBox) {
        const int figure = std::max(0, m_figureBox->currentIndex());
        if (m_history && size_t(figure) < m_lines.size()) {
            m_figureLine = m_lines[size_t(figure)];
            m_graph.m_yAxisLabel = m_units[size_t(figure)];
        }
        Rebuild();
    } else if (controlID == kDimensionID) {
        m_dimension = std::max(0, m_dimensionBox->currentIndex());
        Rebuild();
    }
}

// ---- the chart ----

void CChartsPane::BuildChart(CGraph& graph, QPaintDevice& device, const QRect& rect) {
    IFrameServices& frame = Frame();
    frame.BeginWaitCursor();
    graph.Clear();
    graph.SetGraphTitle(m_chartName);
    graph.SetMissingText(LoadKQString(IDS_CHART_NOT_AVAILABLE));
    graph.m_rect = {rect.left(), rect.top(), rect.left() + rect.width(),
                    rect.top() + rect.height()};
    const std::vector<int32_t>& selection = Selection();
    if (m_history) {
        if (!m_lines.empty()) BuildHistoryChart(graph, m_dimension == 0 ? gpFlatBar : gpDepthBar);
    } else if (!m_lines.empty() && !selection.empty()) {
        const int count = std::min(int(selection.size()), kMaxSeries);
        const gpSeriesType type = m_dimension == 0 ? gpFlatBar : gpDepthBar;
        for (int k = 0; k < count; ++k) {
            graph.SetSeriesType(unsigned(k), type);
            // A value the system does not have gets no point: no bar, and "n/a" in its place.
            double value = 0;
            for (size_t i = 0; i < m_lines.size(); ++i)
                if (m_source.ChartMeasurement(selection[k], m_lines[i], value))
                    graph.AddGraphPoint(unsigned(k), unsigned(i), value);
        }
        for (int k = 0; k < count; ++k) {
            graph.SetSeriesTitle(unsigned(k), m_source.SeriesTitle(selection[k]));
            // Each system keeps its look whatever its place in the selection.
            graph.SetSeriesKey(unsigned(k), m_source.ResolveRecordKey(selection[k]));
        }
        for (size_t i = 0; i < m_lines.size(); ++i)
            graph.SetGroupTitle(unsigned(i), ChartGroupTitle(m_lines[i]));
    }
    graph.Compile(device);
    frame.EndWaitCursor();
}

// One figure over the newest points of this machine's results, oldest first: one series, a
// group per result headed by when it was measured.
void CChartsPane::BuildHistoryChart(CGraph& graph, gpSeriesType type) {
    const int figure = m_figureBox ? std::max(0, m_figureBox->currentIndex()) : 0;
    if (size_t(figure) >= m_lines.size()) return;
    const std::string& line = m_lines[size_t(figure)];
    std::vector<CHistoryColumn> points = m_source.HistoryColumns();
    if (points.size() > size_t(kHistoryChartPoints))
        points.erase(points.begin(), points.end() - kHistoryChartPoints);
    graph.SetSeriesType(0, type);
    double value = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        if (m_source.ChartMeasurement(points[i].key, line, value))
            graph.AddGraphPoint(0, unsigned(i), value);
        graph.SetGroupTitle(unsigned(i), points[i].header);
    }
    graph.SetSeriesTitle(0, CReportCompiler::Caption(line));
    graph.SetSeriesKey(0, line);
}

void CChartsPane::OnDraw(QPainter& painter) { m_graph.DrawGraph(&painter); }

void CChartsPane::PrintChart(QPainter& painter) {
    QPaintDevice* device = painter.device();
    if (!device || !IsCreated()) return;
    // Half an inch inside the printable area on every side.
    const int mx = device->logicalDpiX() / 2, my = device->logicalDpiY() / 2;
    const QRect page = QRect(0, 0, device->width(), device->height()).adjusted(mx, my, -mx, -my);
    CGraph copy;
    copy.m_yAxisLabel = m_graph.GetyAxisLabel();
    BuildChart(copy, *device, page);
    copy.DrawGraph(&painter);
}

QImage CChartsPane::ChartImage(const QSize& size) {
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::white);
    if (!IsCreated()) return image;
    CGraph copy;
    copy.m_yAxisLabel = m_graph.GetyAxisLabel();
    BuildChart(copy, image, image.rect());
    QPainter painter(&image);
    copy.DrawGraph(&painter);
    return image;
}

bool CChartsPane::CopyToClipboard(QClipboard* clipboard) {
    if (!IsCreated()) return false;
    bool copied = false;
    if (clipboard) {
        // A window too small to show the chart still copies a readable one.
        QSize size = m_chartRect.size();
        if (size.width() < 200 || size.height() < 150) size = QSize(640, 400);
        const QImage image = ChartImage(size);
        clipboard->setImage(image);
        copied = clipboard->image().size() == image.size();
    }
    if (!copied)
        Frame().MessageBox(LoadKQString(IDS_CLIPBOARD_IN_USE), LoadKQString(IDS_APP_TITLE),
                           MsgIcon::Information, MsgButtons::Ok);
    return copied;
}
