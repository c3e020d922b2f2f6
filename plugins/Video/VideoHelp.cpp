// Writes Video.HLP from the module's own text tables.
#include "VideoTexts.h"

static const char kIntro[] =
    "<p>The Video analyzer lists the screens (resolution, colour depth, refresh rate, density, "
    "scale factor), the Qt graphics platform in use and the graphics adapters with their drivers "
    "and connected outputs. Its test measures 2-D drawing with QPainter (lines, rectangles, text "
    "and image copies) on a 1024 x 768 image, in about two and a half seconds. With no display "
    "(the offscreen platform) the test runs the same; in a host without a graphical application "
    "object no screens are listed and the text test is left out.</p>";

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    return kqa::WriteHelpFile(argv[1], VideoTexts(), "Video Analyzer", kIntro) ? 0 : 1;
}
