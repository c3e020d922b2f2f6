#include "graph/Graph.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPaintDevice>
#include <QPainter>
#include <QTransform>
#include <QVarLengthArray>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Light and dark colours alternate so that neighbours differ in greyscale too.
const QRgb kColours[CGraph::kDistinctLooks] = {
    0x1f78b4, 0xfdbf6f, 0x33a02c, 0xfb9a99, 0x6a3d9a, 0xb2df8a,
    0xe31a1c, 0xa6cee3, 0xb15928, 0xffff99, 0xff7f00, 0xcab2d6,
};

// Hatching per series, so that every series stays apart on a greyscale page:
// line angles (degrees; 999 = none) and whether the lines are close together.
struct Hatch {
    int angle1;
    int angle2;
    bool dense;
};
constexpr int kNone = 999;
const Hatch kHatches[CGraph::kDistinctLooks] = {
    {kNone, kNone, false}, {45, kNone, false}, {0, kNone, false}, {-45, kNone, false},
    {90, kNone, false},    {45, -45, false},   {0, 90, false},    {45, kNone, true},
    {0, kNone, true},      {-45, kNone, true}, {90, kNone, true}, {45, -45, true},
};

// Beyond this a value could overflow the axis arithmetic.
constexpr double kValueLimit = 1e300;

double Luminance(const QColor& c) {
    return (0.299 * c.red() + 0.587 * c.green() + 0.114 * c.blue()) / 255.0;
}

// Round step of 1, 2 or 5 times a power of ten, near raw.
double NiceStep(double raw) {
    if (!(raw > 0) || !std::isfinite(raw)) return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double residual = raw / magnitude;
    double nice = 10;
    if (residual <= 1)
        nice = 1;
    else if (residual <= 2)
        nice = 2;
    else if (residual <= 5)
        nice = 5;
    return nice * magnitude;
}

QString FormatTick(double value, double step) {
    if (std::fabs(value) < step * 1e-6) value = 0;  // no "-0" or 1e-17 from accumulated steps
    const int decimals = step < 1 ? int(std::ceil(-std::log10(step) - 1e-9)) : 0;
    return CGraph::FormatNumber(value, decimals);
}

// Six significant digits, but never fewer than the whole part has; no trailing zeros.
QString FormatValue(double value) {
    if (value == 0) return CGraph::FormatNumber(0, 0);
    const int whole = int(std::floor(std::log10(std::fabs(value)))) + 1;
    QString text = CGraph::FormatNumber(value, 6 - whole);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    return text;
}

// FNV-1a: the same number for the same key in every run and build.
uint32_t KeyHash(const std::string& key) {
    uint32_t h = 2166136261u;
    for (unsigned char c : key) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

// Greedy word wrap; false when a single word is wider than width.
bool WrapText(const QString& text, const QFontMetricsF& fm, double width, QStringList& lines) {
    lines.clear();
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString line;
    for (const QString& word : words) {
        if (fm.horizontalAdvance(word) > width) return false;
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (fm.horizontalAdvance(candidate) <= width) {
            line = candidate;
        } else {
            lines.append(line);
            line = word;
        }
    }
    if (!line.isEmpty() || lines.isEmpty()) lines.append(line);
    return true;
}

void FillHatched(QPainter& p, const QRectF& area, int look, double spacing, double lineWidth) {
    // Whole device pixels: crisp edges, and the painter's fast paths for fills and lines.
    const QRect r = area.toRect();
    const QColor fill = QColor::fromRgb(kColours[look]);
    p.fillRect(r, fill);
    const Hatch& h = kHatches[look];
    if (h.angle1 == kNone || r.width() <= 1 || r.height() <= 1) return;
    const int gap = std::max(2, int(std::lround(h.dense ? spacing * 0.5 : spacing)));
    const int l = r.left(), t = r.top(), rr = r.right(), b = r.bottom();
    QVarLengthArray<QLine, 64> lines;
    // The first multiple of step at or above v: the pattern stays anchored to the page.
    auto up = [](int v, int step) {
        return v >= 0 ? (v + step - 1) / step * step : -(-v / step * step);
    };
    for (int angle : {h.angle1, h.angle2}) {
        if (angle == kNone) continue;
        if (angle == 0) {
            for (int y = up(t + 1, gap); y < b; y += gap) lines.append(QLine(l, y, rr, y));
        } else if (angle == 90) {
            for (int x = up(l + 1, gap); x < rr; x += gap) lines.append(QLine(x, t, x, b));
        } else if (angle > 0) {
            const int d = gap * 3 / 2;
            for (int c = up(l + t + 1, d); c < rr + b; c += d) {
                const int x1 = std::max(l, c - b), x2 = std::min(rr, c - t);
                if (x2 > x1) lines.append(QLine(x1, c - x1, x2, c - x2));
            }
        } else {
            const int d = gap * 3 / 2;
            for (int c = up(l - b + 1, d); c < rr - t; c += d) {
                const int x1 = std::max(l, c + t), x2 = std::min(rr, c + b);
                if (x2 > x1) lines.append(QLine(x1, x1 - c, x2, x2 - c));
            }
        }
    }
    QPen pen(Luminance(fill) < 0.5 ? Qt::white : Qt::black);
    pen.setWidth(std::max(1, int(lineWidth * 0.75)));
    p.setPen(pen);
    p.drawLines(lines.constData(), int(lines.size()));
}

}  // namespace

// ---- data ----

void CGraph::Clear() {
    m_title.clear();
    m_series.clear();
    m_groupTitles.clear();
    m_compiled = false;
}

void CGraph::SetGraphTitle(const std::string& title) { m_title = title; }

CGraph::Series& CGraph::SeriesAt(unsigned series) {
    if (series >= m_series.size()) {
        m_series.resize(series + 1);
        for (Series& s : m_series) {
            s.values.resize(m_groupTitles.size(), 0.0);
            s.present.resize(m_groupTitles.size(), false);
        }
    }
    return m_series[series];
}

void CGraph::EnsureGroup(unsigned group) {
    if (group < m_groupTitles.size()) return;
    m_groupTitles.resize(group + 1);
    for (Series& s : m_series) {
        s.values.resize(group + 1, 0.0);
        s.present.resize(group + 1, false);
    }
}

void CGraph::SetSeriesType(unsigned series, gpSeriesType type) {
    if (series >= kMaxSeries) return;
    SeriesAt(series).type = type == gpDepthBar ? gpDepthBar : gpFlatBar;
}

void CGraph::AddGraphPoint(unsigned series, unsigned group, double value) {
    if (series >= kMaxSeries || group >= kMaxGroups) return;
    EnsureGroup(group);
    Series& s = SeriesAt(series);
    if (!std::isfinite(value)) value = 0;
    s.values[group] = std::clamp(value, -kValueLimit, kValueLimit);
    s.present[group] = true;
}

void CGraph::SetSeriesTitle(unsigned series, const std::string& title) {
    if (series >= kMaxSeries) return;
    SeriesAt(series).title = title;
}

void CGraph::SetGroupTitle(unsigned group, const std::string& title) {
    if (group >= kMaxGroups) return;
    EnsureGroup(group);
    m_groupTitles[group] = title;
}

void CGraph::SetSeriesKey(unsigned series, const std::string& key) {
    if (series >= kMaxSeries) return;
    SeriesAt(series).key = key;
}

const std::string& CGraph::SeriesKey(int series) const {
    static const std::string none;
    return series >= 0 && series < SeriesCount() ? m_series[series].key : none;
}

std::vector<int> CGraph::ChooseLooks() const {
    const int n = SeriesCount();
    std::vector<int> looks(size_t(n), -1);
    bool taken[kDistinctLooks] = {};
    auto claim = [&](int series, int preferred) {
        for (int i = 0; i < kDistinctLooks; ++i) {
            const int look = (preferred + i) % kDistinctLooks;
            if (!taken[look]) {
                taken[look] = true;
                looks[size_t(series)] = look;
                return;
            }
        }
        looks[size_t(series)] = preferred;  // more series than looks
    };
    // Keyed series in key order, so that the positions of the others do not matter; each
    // takes its own look, or the next free one when another key took it first.
    std::vector<int> keyed;
    for (int s = 0; s < n; ++s)
        if (!m_series[s].key.empty()) keyed.push_back(s);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [this](int a, int b) { return m_series[a].key < m_series[b].key; });
    for (int s : keyed) claim(s, int(KeyHash(m_series[s].key) % kDistinctLooks));
    for (int s = 0; s < n; ++s)
        if (looks[size_t(s)] < 0) claim(s, s % kDistinctLooks);
    return looks;
}

int CGraph::SeriesLook(int series) const {
    if (series < 0 || series >= SeriesCount()) return 0;
    if (m_compiled && size_t(series) < m_looks.size()) return m_looks[size_t(series)];
    return ChooseLooks()[size_t(series)];
}

QString CGraph::FormatNumber(double value, int decimals) {
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    decimals = std::clamp(decimals, 0, 20);
    if (!std::isfinite(value)) value = 0;
    // Whatever rounds to zero is written without a sign.
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0;
    return english.toString(value, 'f', decimals);
}

gpSeriesType CGraph::SeriesType(int series) const {
    return series >= 0 && series < SeriesCount() ? m_series[series].type : gpFlatBar;
}

const std::string& CGraph::SeriesTitle(int series) const {
    static const std::string none;
    return series >= 0 && series < SeriesCount() ? m_series[series].title : none;
}

const std::string& CGraph::GroupTitle(int group) const {
    static const std::string none;
    return group >= 0 && group < GroupCount() ? m_groupTitles[group] : none;
}

bool CGraph::HasPoint(int series, int group) const {
    return series >= 0 && series < SeriesCount() && group >= 0 && group < GroupCount() &&
           m_series[series].present[group];
}

double CGraph::Value(int series, int group) const {
    return HasPoint(series, group) ? m_series[series].values[group] : 0.0;
}

// ---- layout ----

void CGraph::Compile(QPainter& painter) {
    if (painter.device()) Compile(*painter.device());
}

void CGraph::Compile(QPaintDevice& device) {
    m_compiled = true;
    m_titleLines.clear();
    m_titleBox = m_unitsBox = m_plot = QRectF();
    m_ticks.clear();
    m_tickLabels.clear();
    m_captions.clear();
    m_captionOutlines.clear();
    m_legendBoxes.clear();
    m_legendTexts.clear();
    m_valueTexts.clear();
    m_labelRects.clear();
    m_looks = ChooseLooks();
    m_depthX = m_depthY = 0;

    // Far beyond any device, coordinates would no longer round to whole pixels safely.
    static constexpr double kReach = 1 << 24;
    auto reach = [](int32_t v) { return std::clamp(double(v), -kReach, kReach); };
    m_area = QRectF(QPointF(reach(m_rect.left), reach(m_rect.top)),
                    QPointF(reach(m_rect.right), reach(m_rect.bottom)))
                 .normalized();
    if (m_area.width() < 1 || m_area.height() < 1) return;

    const double dpiX = device.logicalDpiX() > 0 ? device.logicalDpiX() : 96;
    const double dpiY = device.logicalDpiY() > 0 ? device.logicalDpiY() : 96;
    // 9 points, smaller when the rectangle cannot hold about 25 lines.
    double basePx = 9 * dpiY / 72;
    if (m_area.height() < 25 * basePx) basePx = std::max(6 * dpiY / 72, m_area.height() / 25);
    m_textFont = QFont(QStringLiteral("Arial"));
    m_textFont.setStyleHint(QFont::SansSerif);
    m_textFont.setPixelSize(std::max(1, int(std::lround(basePx))));
    m_titleFont = m_textFont;
    m_titleFont.setBold(true);
    m_titleFont.setPixelSize(std::max(1, int(std::lround(basePx * 1.4))));
    m_smallFont = m_textFont;
    m_smallFont.setPixelSize(std::max(1, int(std::lround(basePx * 0.85))));
    m_lineWidth = std::max(1.0, std::round(dpiX / 120));

    const QFontMetricsF fm(m_textFont, &device);
    const QFontMetricsF titleFm(m_titleFont, &device);
    const double lh = fm.height();
    const double margin = lh * 0.6;
    const double innerWidth = std::max(0.0, m_area.width() - 2 * margin);
    double y = m_area.top() + margin;

    if (!m_title.empty()) {
        const QString title = QString::fromStdString(m_title);
        // Two lines at most; a longer title is cut short on one.
        if (!WrapText(title, titleFm, innerWidth, m_titleLines) || m_titleLines.size() > 2)
            m_titleLines = {titleFm.elidedText(title, Qt::ElideRight, innerWidth)};
        m_titleBox = QRectF(m_area.left() + margin, y, innerWidth,
                            titleFm.height() * double(m_titleLines.size()));
        y = m_titleBox.bottom() + margin;
    }

    const int nSeries = SeriesCount();
    const int nGroups = GroupCount();
    if (nSeries == 0 || nGroups == 0) return;  // an empty chart shows its title only

    // Legend across the bottom, as many columns as fit.
    m_swatch = lh * 0.9;
    const double swatchGap = lh * 0.4;
    const double columnGap = lh * 1.2;
    const double maxText = std::max(lh, innerWidth - m_swatch - swatchGap);
    double textWidth = 0;
    // A series without a single point says so after its title.
    const QString missingNote = QStringLiteral(" (%1)").arg(QString::fromStdString(m_missingText));
    for (int s = 0; s < nSeries; ++s) {
        const bool empty = std::none_of(m_series[s].present.begin(), m_series[s].present.end(),
                                        [](bool p) { return p; });
        const QString note = empty && !m_missingText.empty() ? missingNote : QString();
        const QString t = fm.elidedText(QString::fromStdString(m_series[s].title), Qt::ElideRight,
                                        std::max(lh, maxText - fm.horizontalAdvance(note))) +
                          note;
        m_legendTexts.push_back(t);
        textWidth = std::max(textWidth, fm.horizontalAdvance(t));
    }
    const double entryWidth = m_swatch + swatchGap + textWidth;
    int columns = std::max(1, int((innerWidth + columnGap) / (entryWidth + columnGap)));
    columns = std::min(columns, nSeries);
    const int rows = (nSeries + columns - 1) / columns;
    const double rowHeight = lh * 1.25;
    const double legendHeight = rows * rowHeight;
    const double legendTop = m_area.bottom() - margin - legendHeight;
    const double legendWidth = columns * entryWidth + (columns - 1) * columnGap;
    const double legendLeft = m_area.left() + margin + std::max(0.0, innerWidth - legendWidth) / 2;
    for (int s = 0; s < nSeries; ++s) {
        const int row = s / columns, column = s % columns;
        m_legendBoxes.emplace_back(legendLeft + column * (entryWidth + columnGap),
                                   legendTop + row * rowHeight, entryWidth, rowHeight);
    }

    // Value axis: units label turned on its side, then the tick labels.
    const bool depth = std::any_of(m_series.begin(), m_series.end(),
                                   [](const Series& s) { return s.type == gpDepthBar; });
    double x = m_area.left() + margin;
    if (!m_yAxisLabel.empty()) {
        m_unitsBox = QRectF(x, 0, lh, 0);  // vertical extent set with the plot
        x += lh * 1.3;
    }
    const double roughPlotHeight = std::max(lh, (legendTop - y) * 0.7);
    LayoutAxis(roughPlotHeight, lh);
    m_tickLabelWidth = 0;
    for (const QString& t : m_tickLabels)
        m_tickLabelWidth = std::max(m_tickLabelWidth, fm.horizontalAdvance(t));
    const double tickLength = lh * 0.3;
    const double plotLeft = x + m_tickLabelWidth + tickLength + lh * 0.2;
    double plotWidth = std::max(1.0, m_area.right() - margin - plotLeft);
    if (depth) {
        const double bar = plotWidth / nGroups * 0.8 / nSeries;
        // Whole pixels keep the side and top faces on the fast aliased fill path.
        m_depthX = std::round(std::clamp(bar * 0.6, 2.0 * m_lineWidth, lh * 1.2));
        m_depthY = std::round(m_depthX * 0.7);
        plotWidth = std::max(1.0, plotWidth - m_depthX);
    }
    m_slotWidth = plotWidth / nGroups;
    m_barGap = m_slotWidth * 0.1;
    m_barWidth = (m_slotWidth - 2 * m_barGap) / nSeries;

    // Group captions under the plot, given at most a third of the height.
    double captionHeight = 0;
    const double plotTop = y + lh * 0.5 + m_depthY;
    const double maxCaption = std::max(lh, (legendTop - plotTop) / 3);
    LayoutCaptions(m_slotWidth, lh, maxCaption, captionHeight);
    const double plotBottom =
        std::max(plotTop + 1, legendTop - margin - captionHeight - tickLength);
    m_plot = QRectF(plotLeft, plotTop, plotWidth, plotBottom - plotTop);
    LayoutAxis(m_plot.height(), lh);
    m_tickLabelWidth = 0;
    for (const QString& t : m_tickLabels)
        m_tickLabelWidth = std::max(m_tickLabelWidth, fm.horizontalAdvance(t));
    if (!m_yAxisLabel.empty()) {
        m_unitsBox.setTop(m_plot.top());
        m_unitsBox.setHeight(m_plot.height());
    }

    // Caption outlines, placed now that the plot's bottom is known.
    m_captionTop = m_plot.bottom() + tickLength;
    for (int g = 0; g < nGroups; ++g) {
        const Caption& c = m_captions[size_t(g)];
        QPolygonF outline;
        if (c.shown) {
            const double centre = m_plot.left() + (g + 0.5) * m_slotWidth;
            double width = 0;
            for (const QString& line : c.lines) width = std::max(width, fm.horizontalAdvance(line));
            if (c.angle == 0) {
                outline = QPolygonF(
                    QRectF(centre - width / 2, m_captionTop, width, lh * double(c.lines.size())));
            } else {
                QTransform t;
                const double shift = c.angle == 90 ? lh / 2 : lh * 0.35;
                t.translate(centre - shift, m_captionTop);
                t.rotate(-c.angle);
                outline = t.map(QPolygonF(QRectF(-width, 0, width, lh)));
            }
        }
        m_captionOutlines.push_back(outline);
    }

    // Values over the bars, only when every one of them fits; a point never given says so in
    // its place.
    const QFontMetricsF smallFm(m_smallFont, &device);
    if (m_plot.height() > lh * 4) {
        m_valueTexts.assign(size_t(nSeries), std::vector<QString>(size_t(nGroups)));
        const QString missing = QString::fromStdString(m_missingText);
        const bool missingFits =
            !missing.isEmpty() && smallFm.horizontalAdvance(missing) <= m_barWidth;
        bool fits = nSeries * nGroups <= 60;
        for (int s = 0; s < nSeries; ++s)
            for (int g = 0; g < nGroups; ++g) {
                QString& text = m_valueTexts[s][g];
                if (!m_series[s].present[g]) {
                    if (missingFits) text = missing;
                } else if (fits) {
                    text = FormatValue(m_series[s].values[g]);
                    const double room =
                        m_barWidth + (m_series[s].type == gpDepthBar ? m_depthX : 0);
                    fits = smallFm.horizontalAdvance(text) <= room;
                }
            }
        if (!fits || !PlaceValueLabels(smallFm)) {
            for (int s = 0; s < nSeries; ++s)
                for (int g = 0; g < nGroups; ++g)
                    if (m_series[s].present[g]) m_valueTexts[s][g].clear();
            PlaceValueLabels(smallFm);
        }
    }
}

bool CGraph::PlaceValueLabels(const QFontMetricsF& fm) {
    const int nSeries = SeriesCount(), nGroups = GroupCount();
    const double h = fm.height();
    const double pad = std::max(1.0, m_lineWidth);
    const double zero = ValueToY(std::clamp(0.0, m_axisMin, m_axisMax));
    const double minHeight = 2 * m_lineWidth;  // as the bars are drawn
    // Labels may not climb into the title or leave the chart.
    const double ceiling = m_titleBox.isNull() ? m_area.top() : m_titleBox.bottom();
    const double floor = m_area.bottom();
    m_labelRects.assign(size_t(nSeries), std::vector<QRectF>(size_t(nGroups)));
    std::vector<QRectF> placed;
    for (int g = 0; g < nGroups; ++g)
        for (int s = 0; s < nSeries; ++s) {
            const QString& text = m_valueTexts[s][g];
            if (text.isEmpty()) continue;
            // Centred over the bar's front and top: over its depth too in 3-D.
            const bool deep = m_series[s].type == gpDepthBar;
            const double dx = deep ? m_depthX : 0, dy = deep ? m_depthY : 0;
            const double left = m_plot.left() + g * m_slotWidth + m_barGap + s * m_barWidth;
            const double width = std::min(m_barWidth + dx, fm.horizontalAdvance(text) + 2 * pad);
            const double centre = left + (m_barWidth + dx) / 2;
            bool down = false;
            double top;
            if (m_series[s].present[g]) {
                const double v = m_series[s].values[g];
                const QRectF bar = BarRect(s, g);
                down = v < 0;
                top = down ? std::max(bar.bottom(), bar.top() + (v != 0 ? minHeight : 0))
                           : std::min(bar.top(), bar.bottom() - (v != 0 ? minHeight : 0)) - dy - h;
            } else {
                // On the zero line, or under it when the axis leaves no room above.
                top = zero - dy - h;
                if (top < m_plot.top() - m_depthY) {
                    top = zero;
                    down = true;
                }
            }
            // In 3-D a text may reach over its neighbour's; it then moves away from its bar
            // until it stands clear of every text placed before it.
            QRectF r(centre - width / 2, top, width, h);
            for (bool moved = true; moved;) {
                moved = false;
                for (const QRectF& other : placed)
                    if (r.adjusted(-2 * pad, 0, 2 * pad, 0).intersects(other)) {
                        r.moveTop(down ? other.bottom() : other.top() - h);
                        moved = true;
                    }
            }
            if (r.top() < ceiling || r.bottom() > floor) return false;
            placed.push_back(r);
            m_labelRects[s][g] = r;
        }
    return true;
}

void CGraph::LayoutAxis(double plotHeight, double lineHeight) {
    double lo = 0, hi = 0;
    for (const Series& s : m_series)
        for (size_t g = 0; g < s.values.size(); ++g)
            if (s.present[g]) {
                lo = std::min(lo, s.values[g]);
                hi = std::max(hi, s.values[g]);
            }
    if (hi == lo) hi = lo + 1;  // every value 0: an axis from 0 to 1
    const int target = std::clamp(int(plotHeight / (lineHeight * 2.5)), 2, 10);
    double step = NiceStep((hi - lo) / target);
    // A step too small against the values would make the axis arithmetic lose its digits.
    step = std::max(step, std::max(std::fabs(lo), std::fabs(hi)) * 1e-12);
    m_axisMin = std::floor(lo / step) * step;
    m_axisMax = std::ceil(hi / step) * step;
    if (!(m_axisMax > m_axisMin)) m_axisMax = m_axisMin + step;
    m_ticks.clear();
    m_tickLabels.clear();
    for (int i = 0; i <= 50; ++i) {
        const double v = m_axisMin + i * step;
        if (v > m_axisMax + step * 1e-6) break;
        m_ticks.push_back(v);
        m_tickLabels.push_back(FormatTick(v, step));
    }
}

void CGraph::LayoutCaptions(double slotWidth, double lh, double maxHeight, double& height) {
    const QFontMetricsF fm(m_textFont);
    const int n = GroupCount();
    std::vector<QString> texts;
    texts.reserve(size_t(n));
    for (const std::string& t : m_groupTitles) texts.push_back(QString::fromStdString(t));
    m_captions.assign(size_t(n), Caption());
    const double width = slotWidth * 0.92;

    // Side by side on one line each.
    bool fits = true;
    for (int g = 0; g < n && fits; ++g) fits = fm.horizontalAdvance(texts[g]) <= width;
    if (fits) {
        for (int g = 0; g < n; ++g) m_captions[g].lines = {texts[g]};
        height = lh;
        return;
    }
    // Wrapped into at most three lines.
    const int maxLines = std::clamp(int(maxHeight / lh), 1, 3);
    int most = 1;
    fits = true;
    for (int g = 0; g < n && fits; ++g) {
        fits = WrapText(texts[g], fm, width, m_captions[g].lines) &&
               m_captions[g].lines.size() <= maxLines;
        most = std::max(most, int(m_captions[g].lines.size()));
    }
    if (fits) {
        height = lh * most;
        return;
    }
    // Slanted, or upright where slots are narrow; captions too close even then are thinned out.
    // Neighbours clear each other when the slot is wider than a line measured across the slant.
    double angle = 45;
    int every = 1;
    if (slotWidth < lh * 1.5) {
        angle = 90;
        every = std::max(1, int(std::ceil(lh * 1.1 / slotWidth)));
    }
    const double s = std::sin(angle * std::numbers::pi / 180),
                 c = std::cos(angle * std::numbers::pi / 180);
    const double maxLength = std::max(lh, (maxHeight - lh * c) / s);
    double longest = 0;
    for (int g = 0; g < n; ++g) {
        Caption& cap = m_captions[g];
        cap.angle = angle;
        cap.shown = g % every == 0;
        cap.lines = {fm.elidedText(texts[g].simplified(), Qt::ElideRight, maxLength)};
        if (cap.shown) longest = std::max(longest, fm.horizontalAdvance(cap.lines[0]));
    }
    height = longest * s + lh * c;
}

double CGraph::ValueToY(double value) const {
    const double span = m_axisMax - m_axisMin;
    return m_plot.bottom() - (value - m_axisMin) / span * m_plot.height();
}

QRectF CGraph::BarRect(int series, int group) const {
    if (!m_compiled || m_plot.isNull() || !HasPoint(series, group)) return {};
    const double left = m_plot.left() + group * m_slotWidth + m_barGap + series * m_barWidth;
    const double zero = ValueToY(std::clamp(0.0, m_axisMin, m_axisMax));
    const double y = ValueToY(m_series[series].values[group]);
    return QRectF(QPointF(left, std::min(zero, y)), QPointF(left + m_barWidth, std::max(zero, y)));
}

QString CGraph::ValueLabel(int series, int group) const {
    if (series < 0 || group < 0 || size_t(series) >= m_valueTexts.size() ||
        size_t(group) >= m_valueTexts[size_t(series)].size())
        return {};
    return m_valueTexts[size_t(series)][size_t(group)];
}

QRectF CGraph::ValueLabelRect(int series, int group) const {
    if (ValueLabel(series, group).isEmpty() || size_t(series) >= m_labelRects.size() ||
        size_t(group) >= m_labelRects[size_t(series)].size())
        return {};
    return m_labelRects[size_t(series)][size_t(group)];
}

// ---- drawing ----

void CGraph::DrawBar(QPainter& p, int series, const QRectF& exact, double dx, double dy) const {
    // Whole device pixels, so that the fill, its hatching and its outline meet exactly.
    const QRectF front(QPointF(std::round(exact.left()), std::round(exact.top())),
                       QPointF(std::round(exact.right()), std::round(exact.bottom())));
    const int look = SeriesLook(series);
    const QColor fill = QColor::fromRgb(kColours[look]);
    QPen outline(Qt::black);
    outline.setWidthF(m_lineWidth);
    outline.setJoinStyle(Qt::MiterJoin);
    if (dx > 0) {
        const QPolygonF top({front.topLeft(), front.topLeft() + QPointF(dx, -dy),
                             front.topRight() + QPointF(dx, -dy), front.topRight()});
        const QPolygonF side({front.topRight(), front.topRight() + QPointF(dx, -dy),
                              front.bottomRight() + QPointF(dx, -dy), front.bottomRight()});
        p.setPen(outline);
        p.setBrush(fill.darker(150));
        p.drawPolygon(side);
        p.setBrush(fill.lighter(125));
        p.drawPolygon(top);
    }
    if (front.height() > 0) {
        FillHatched(p, front, look, m_textFont.pixelSize() * 0.45, m_lineWidth);
        p.setPen(outline);
        p.setBrush(Qt::NoBrush);
        p.drawRect(front);
    } else if (dx <= 0) {
        // A zero stands on the axis as a flat mark of the series' colour.
        p.fillRect(
            QRectF(front.left(), front.top() - 2 * m_lineWidth, front.width(), 3 * m_lineWidth),
            fill.darker(130));
    }
}

void CGraph::DrawGraph(QPainter* painter) const {
    if (!painter || !m_compiled || m_area.isEmpty()) return;
    QPainter& p = *painter;
    p.save();
    p.setClipRect(m_area, Qt::IntersectClip);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setBackgroundMode(Qt::TransparentMode);

    if (!m_titleLines.isEmpty()) {
        p.setPen(Qt::black);
        p.setFont(m_titleFont);
        const double lineHeight = m_titleBox.height() / m_titleLines.size();
        for (int i = 0; i < m_titleLines.size(); ++i)
            p.drawText(QRectF(m_titleBox.left(), m_titleBox.top() + i * lineHeight,
                              m_titleBox.width(), lineHeight),
                       Qt::AlignCenter | Qt::TextSingleLine, m_titleLines[i]);
    }
    if (m_plot.isNull()) {
        p.restore();
        return;
    }

    const QFontMetricsF fm(m_textFont);
    const double lh = fm.height();
    QPen grid(QColor(0xc0, 0xc0, 0xc0));
    grid.setWidthF(m_lineWidth);
    QPen axis(Qt::black);
    axis.setWidthF(m_lineWidth);
    const double dx = m_depthX, dy = m_depthY;

    // Grid lines on the back wall, ticks and their labels.
    p.setFont(m_textFont);
    for (size_t i = 0; i < m_ticks.size(); ++i) {
        const double ty = ValueToY(m_ticks[i]);
        p.setPen(grid);
        if (dx > 0) p.drawLine(QPointF(m_plot.left(), ty), QPointF(m_plot.left() + dx, ty - dy));
        p.drawLine(QPointF(m_plot.left() + dx, ty - dy), QPointF(m_plot.right() + dx, ty - dy));
        p.setPen(axis);
        p.drawLine(QPointF(m_plot.left() - lh * 0.3, ty), QPointF(m_plot.left(), ty));
        const QRectF label(m_plot.left() - lh * 0.5 - m_tickLabelWidth, ty - lh / 2,
                           m_tickLabelWidth, lh);
        p.drawText(label, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, m_tickLabels[i]);
    }
    p.setPen(axis);
    p.drawLine(m_plot.topLeft(), m_plot.bottomLeft());
    // On the same whole pixel as the bars' ends.
    const double zero = std::round(ValueToY(std::clamp(0.0, m_axisMin, m_axisMax)));
    p.drawLine(QPointF(m_plot.left(), zero), QPointF(m_plot.right(), zero));
    if (dx > 0) p.drawLine(QPointF(m_plot.right(), zero), QPointF(m_plot.right() + dx, zero - dy));

    if (!m_yAxisLabel.empty() && !m_unitsBox.isNull()) {
        p.save();
        p.translate(m_unitsBox.center());
        p.rotate(-90);
        const QRectF box(-m_unitsBox.height() / 2, -m_unitsBox.width() / 2, m_unitsBox.height(),
                         m_unitsBox.width());
        p.drawText(box, Qt::AlignCenter | Qt::TextSingleLine,
                   fm.elidedText(QString::fromStdString(m_yAxisLabel), Qt::ElideRight,
                                 m_unitsBox.height()));
        p.restore();
    }

    // Bars, group by group, left to right so that each front covers its neighbour's side.
    const double minHeight = 2 * m_lineWidth;
    for (int g = 0; g < GroupCount(); ++g)
        for (int s = 0; s < SeriesCount(); ++s) {
            if (!HasPoint(s, g)) continue;
            QRectF front = BarRect(s, g);
            const double v = m_series[s].values[g];
            // A value too small to see still shows that it is not 0.
            if (v != 0 && front.height() < minHeight) {
                if (v > 0)
                    front.setTop(front.bottom() - minHeight);
                else
                    front.setBottom(front.top() + minHeight);
            }
            const bool deep = m_series[s].type == gpDepthBar;
            DrawBar(p, s, front, deep ? dx : 0, deep ? dy : 0);
        }

    // Value texts on a white ground: readable whatever bar or grid line lies behind them.
    if (!m_valueTexts.empty()) {
        p.setFont(m_smallFont);
        for (int g = 0; g < GroupCount(); ++g)
            for (int s = 0; s < SeriesCount(); ++s) {
                const QString text = ValueLabel(s, g);
                const QRectF box = ValueLabelRect(s, g);
                if (text.isEmpty() || box.isEmpty()) continue;
                p.fillRect(box, Qt::white);
                p.setPen(HasPoint(s, g) ? QColor(Qt::black) : QColor(0x60, 0x60, 0x60));
                p.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text);
            }
    }

    // Group captions.
    p.setFont(m_textFont);
    p.setPen(Qt::black);
    for (int g = 0; g < GroupCount(); ++g) {
        const Caption& c = m_captions[size_t(g)];
        if (!c.shown) continue;
        const double centre = m_plot.left() + (g + 0.5) * m_slotWidth;
        if (c.angle == 0) {
            for (int i = 0; i < c.lines.size(); ++i)
                p.drawText(QRectF(centre - m_slotWidth / 2, m_captionTop + i * lh, m_slotWidth, lh),
                           Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, c.lines[i]);
        } else {
            p.save();
            const double shift = c.angle == 90 ? lh / 2 : lh * 0.35;
            p.translate(centre - shift, m_captionTop);
            p.rotate(-c.angle);
            const double w = fm.horizontalAdvance(c.lines[0]);
            p.drawText(QRectF(-w - 1, 0, w + 1, lh),
                       Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, c.lines[0]);
            p.restore();
        }
    }

    // Legend: the bar's look beside each series title.
    for (size_t s = 0; s < m_legendBoxes.size(); ++s) {
        const QRectF& box = m_legendBoxes[s];
        const QRectF swatch(box.left(), box.center().y() - m_swatch / 2, m_swatch, m_swatch);
        const int look = SeriesLook(int(s));
        FillHatched(p, swatch, look, m_textFont.pixelSize() * 0.45, m_lineWidth);
        p.setPen(axis);
        p.setBrush(Qt::NoBrush);
        p.drawRect(swatch);
        p.drawText(QRectF(swatch.right() + lh * 0.4, box.top(), box.width(), box.height()),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_legendTexts[s]);
    }
    p.restore();
}
