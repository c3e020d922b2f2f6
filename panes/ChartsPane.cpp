#include "panes/ChartsPane.h"

#include <QClipboard>
#include <QComboBox>
#include <QMimeData>
#include <QPaintDevice>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <new>

#include "document/Document.h"
#include "panes/QtText.h"
#include "resources/Strings.h"

namespace {

constexpr int kAnalyzerRole = Qt::UserRole;
constexpr int kDefinitionRole = Qt::UserRole + 1;

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

    // Only the user's choices count as selection changes, as the view expects.
    QObject::connect(m_chooser, &QComboBox::activated, m_chooser, [this] {
        if (m_host) m_host->OnComboSelChange(kChooserID);
    });
    QObject::connect(m_dimensionBox, &QComboBox::activated, m_dimensionBox, [this] {
        if (m_host) m_host->OnComboSelChange(kDimensionID);
    });

    const QRect client = view->rect();
    m_chartRect = QRect(QPoint(client.left(), top + height), client.bottomRight());
    m_upToDate = 0;
}

void CChartsPane::DestroyWindows() {
    delete m_chooser.data();
    delete m_dimensionBox.data();
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
    } else {
        m_chooser->hide();
        m_dimensionBox->hide();
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
    int position = 0;
    for (const CAnalyzer* a : m_doc->Analyzers().Ordered()) {
        if (CKQTreeEntry* branch = a->m_branch)
            for (int i = 0; i < branch->GetRepDefCount(); ++i) {
                const CRepDef* def = branch->GetRepDefPtr(i);
                if (!def || def->GetType() != RDTYPE_CHART) continue;
                m_chooser->addItem(QString::fromStdString(def->GetName()));
                m_chooser->setItemData(m_chooser->count() - 1, position, kAnalyzerRole);
                m_chooser->setItemData(m_chooser->count() - 1, i, kDefinitionRole);
            }
        ++position;
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
    const int position = m_chooser->itemData(index, kAnalyzerRole).toInt();
    const int definition = m_chooser->itemData(index, kDefinitionRole).toInt();
    const auto& analyzers = m_doc->Analyzers().Ordered();
    if (position < 0 || position >= int(analyzers.size())) return nullptr;
    const CAnalyzer* a = *std::next(analyzers.begin(), position);
    if (!a->m_branch) return nullptr;
    const CRepDef* def = a->m_branch->GetRepDefPtr(definition);
    // The definitions may have been rebuilt since the chooser was filled.
    if (!def || def->GetType() != RDTYPE_CHART ||
        QString::fromStdString(def->GetName()) != m_chooser->itemText(index))
        return nullptr;
    return def;
}

void CChartsPane::ChooseChart() {
    m_lines.clear();
    std::string units;
    if (m_chooser && m_chooser->currentIndex() >= 0) {
        m_chartName = m_chooser->currentText().toStdString();
        if (const CRepDef* def = ChosenDefinition()) {
            try {
                for (const CRepItem& item : def->m_items) m_lines.push_back(item.m_text);
            } catch (const std::bad_alloc&) {
                // The lines copied so far are charted.
            }
            units = def->GetAttrValue("Units");
        }
    }
    m_graph.m_yAxisLabel = units;
    Rebuild();
}

void CChartsPane::Rebuild() {
    BuildChart(m_graph, *ViewWidget(), m_chartRect);
    const size_t selected = m_host ? m_host->ChartSelection().size() : 0;
    if (!m_lines.empty() && selected > size_t(kMaxSeries))
        m_doc->Frame().SetStatusText(FormatKQString(IDS_CHART_FIRST_12, std::to_string(selected)));
    m_upToDate = 1;
    ViewWidget()->update(m_chartRect);
}

void CChartsPane::OnSelChange(int controlID) {
    if (!IsCreated() || !m_chooser || !m_dimensionBox) return;
    if (controlID == kChooserID) {
        ChooseChart();
    } else if (controlID == kDimensionID) {
        m_dimension = std::max(0, m_dimensionBox->currentIndex());
        Rebuild();
    }
}

// ---- the chart ----

void CChartsPane::BuildChart(CGraph& graph, QPaintDevice& device, const QRect& rect) {
    IFrameServices& frame = m_doc->Frame();
    frame.BeginWaitCursor();
    graph.Clear();
    graph.SetGraphTitle(m_chartName);
    graph.SetMissingText(LoadKQString(IDS_CHART_NOT_AVAILABLE));
    graph.m_rect = {rect.left(), rect.top(), rect.left() + rect.width(),
                    rect.top() + rect.height()};
    static const std::vector<int32_t> kNoSelection;
    const std::vector<int32_t>& selection = m_host ? m_host->ChartSelection() : kNoSelection;
    if (!m_lines.empty() && !selection.empty()) {
        const int count = std::min(int(selection.size()), kMaxSeries);
        const gpSeriesType type = m_dimension == 0 ? gpFlatBar : gpDepthBar;
        for (int k = 0; k < count; ++k) {
            graph.SetSeriesType(unsigned(k), type);
            // A value the system does not have gets no point: no bar, and "n/a" in its place.
            double value = 0;
            for (size_t i = 0; i < m_lines.size(); ++i)
                if (m_doc->ChartMeasurement(selection[k], m_lines[i], value))
                    graph.AddGraphPoint(unsigned(k), unsigned(i), value);
        }
        for (int k = 0; k < count; ++k) {
            graph.SetSeriesTitle(unsigned(k), m_doc->SeriesTitle(selection[k]));
            // Each system keeps its look whatever its place in the selection.
            graph.SetSeriesKey(unsigned(k), m_doc->ResolveRecordKey(selection[k]));
        }
        for (size_t i = 0; i < m_lines.size(); ++i)
            graph.SetGroupTitle(unsigned(i), CQuillo95Doc::GroupTitle(m_lines[i]));
    }
    graph.Compile(device);
    frame.EndWaitCursor();
}

void CChartsPane::OnDraw(QPainter& painter) { m_graph.DrawGraph(&painter); }

void CChartsPane::PrintChart(QPainter& painter) {
    QPaintDevice* device = painter.device();
    if (!device || !m_doc) return;
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
    if (!m_doc) return image;
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
        m_doc->Frame().MessageBox(LoadKQString(IDS_CLIPBOARD_IN_USE), LoadKQString(IDS_APP_TITLE),
                                  MsgIcon::Information, MsgButtons::Ok);
    return copied;
}
