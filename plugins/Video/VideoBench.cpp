#include "VideoBench.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <functional>
#include <vector>

using namespace kqa;

namespace {

constexpr double kBatchSeconds = 0.009;  // aimed length of one unit of work at scale 1
constexpr double kTestWallCap = 0.8;     // a busy machine gets fewer repetitions, not a longer test

struct Lcg {
    uint32_t s = 12345;
    int Next(int n) {
        s = s * 1664525u + 1013904223u;
        return static_cast<int>((s >> 8) % static_cast<uint32_t>(n));
    }
};

const QColor kColors[] = {QColor(200, 30, 30),  QColor(30, 160, 40),  QColor(30, 60, 200),
                          QColor(220, 180, 20), QColor(120, 40, 160), QColor(20, 160, 170),
                          QColor(90, 90, 90),   QColor(240, 120, 0)};

}  // namespace

VideoBenchResult CVideoBench::Run(double scale, bool withText) {
    VideoBenchResult r;
    const double start = Now();
    scale = std::clamp(scale, 1e-4, 10.0);
    const double batchAim = std::max(kBatchSeconds * scale, 1e-4);

    QImage target(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::white);
    QImage sprite(64, 64, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const int a = 255 - (x + y) * 255 / 126;
            sprite.setPixel(x, y, qRgba(a * 3 / 4, (x * 4) * a / 255, (y * 4) * a / 255, a));
        }
    const QString line = QStringLiteral("Quillon 97 drawing test 0123456789");
    QFont font;
    if (withText) font = QFont(QStringLiteral("Sans Serif"), 11);

    using Op = std::function<void(QPainter&, Lcg&, int)>;
    struct Test {
        Op op;
        std::optional<double>* figure;
        double* spread;
    };
    std::vector<Test> tests = {
        {[](QPainter& p, Lcg& g, int i) {
             p.setPen(kColors[i & 7]);
             p.drawLine(g.Next(kWidth), g.Next(kHeight), g.Next(kWidth), g.Next(kHeight));
         },
         &r.lines, &r.linesSpread},
        {[](QPainter& p, Lcg& g, int i) {
             p.setPen(kColors[(i + 3) & 7]);
             p.setBrush(kColors[i & 7]);
             p.drawRect(g.Next(kWidth - 120), g.Next(kHeight - 90), 120, 90);
         },
         &r.rects, &r.rectsSpread},
        {[&](QPainter& p, Lcg& g, int i) {
             p.setPen(kColors[i & 7]);
             p.drawText(g.Next(kWidth - 300), 20 + g.Next(kHeight - 40), line);
         },
         &r.text, &r.textSpread},
        {[&](QPainter& p, Lcg& g, int) {
             p.drawImage(g.Next(kWidth - 64), g.Next(kHeight - 64), sprite);
         },
         &r.images, &r.imagesSpread},
    };
    if (!withText) {
        tests.erase(tests.begin() + 2);
        r.textSkipped = true;
    }
    r.unitsPerRep = kBatchesPerRep;

    const int total = static_cast<int>(tests.size());
    for (int t = 0; t < total; ++t) {
        Test& test = tests[static_cast<size_t>(t)];
        m_progress.SetSpan(100 * t / total, 100 * (t + 1) / total);
        Lcg g;
        const double testStart = Now();
        QPainter p(&target);
        p.setFont(font);
        // Calibration: how many operations fill one batch; it also warms caches and glyphs.
        long long n = 0;
        const double c0 = ProcessCpuNow();
        double elapsed = 0;
        while ((elapsed = ProcessCpuNow() - c0) < batchAim) {
            for (int k = 0; k < 16; ++k) test.op(p, g, static_cast<int>(n++));
        }
        const long long perBatch =
            std::max<long long>(1, static_cast<long long>(n * batchAim / std::max(elapsed, 1e-9)));
        // One repetition of warm-up, then the measured ones. Drawing is processor work: timing
        // it by the processor time the program got keeps other programs' bursts out of the
        // figure (on an idle machine it equals the elapsed time).
        int rep = 0;
        auto timing = Repeat(1, kReps, m_progress,
                             [&] {
                                 double busy = 0;
                                 for (int b = 0; b < kBatchesPerRep; ++b) {
                                     const double b0 = ProcessCpuNow();
                                     for (long long k = 0; k < perBatch; ++k)
                                         test.op(p, g, static_cast<int>(k));
                                     busy += ProcessCpuNow() - b0;
                                     ++r.units;
                                     const double pos = (rep * kBatchesPerRep + b + 1.0) /
                                                        ((kReps + 1.0) * kBatchesPerRep);
                                     if (!m_progress.Step(pos)) break;
                                 }
                                 ++rep;
                                 return std::max(busy, 1e-9);
                             },
                             {m_probe, std::max(1e-6, kTestWallCap - (Now() - testStart)), false});
        p.end();
        if (!timing) return r;
        // The best repetition: drawing is a fixed amount of processor work, and whatever else
        // the machine does can only slow it down.
        *test.figure = static_cast<double>(perBatch * kBatchesPerRep) / timing->Best();
        *test.spread = timing->Spread();
    }
    r.seconds = Now() - start;
    return r;
}
