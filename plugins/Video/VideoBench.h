// The 2-D drawing tests: lines, rectangles, text and image copies drawn with QPainter.
//
// The drawing goes to a QImage, never to a window: a host without a display (the offscreen
// platform, or no QGuiApplication at all) measures the same raster engine that paints every
// Qt widget into its backing store, and nothing flashes on the user's screen. Text needs the
// font database, which only a QGuiApplication provides; without one the text test is left out.
#pragma once

#include <optional>
#include <string>

#include "KQAModule.h"

struct VideoBenchResult {
    std::optional<double> lines, rects, text, images;  // operations per second, best of five
    double linesSpread = 0, rectsSpread = 0, textSpread = 0, imagesSpread = 0;
    bool textSkipped = false;
    int units = 0;        // batches drawn, one progress message each
    int unitsPerRep = 0;  // batches in one repetition
    double seconds = 0;
};

class CVideoBench {
public:
    static constexpr int kWidth = 1024, kHeight = 768;
    static constexpr int kReps = 5;
    static constexpr int kBatchesPerRep = 10;

    // probe (may be null) is sampled between repetitions.
    explicit CVideoBench(kqa::CProgress& progress, kqa::CConditionsProbe* probe = nullptr)
        : m_progress(progress), m_probe(probe) {}
    // scale shortens every repetition (tests); 1 is the normal run of about 2.5 s.
    VideoBenchResult Run(double scale, bool withText);

private:
    kqa::CProgress& m_progress;
    kqa::CConditionsProbe* m_probe;
};
