// Writes Video.HLP from the module's own text tables, so that every attribute type and tip text
// ID has its anchor and the help never drifts from the descriptions shown in the program.
#include <cstdio>
#include <string>

#include "VideoTexts.h"

static std::string Html(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else out += c;
    }
    return out;
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    FILE* f = std::fopen(argv[1], "w");
    if (!f) return 1;
    const kqa::CTextRegistry& r = VideoTexts();
    std::fputs("<html><head><title>Video Analyzer</title></head><body>\n"
               "<h1><a name=\"0\">Video Analyzer</a></h1>\n"
               "<p>The Video analyzer lists the screens (resolution, colour depth, refresh rate, "
               "density, scale factor), the Qt graphics platform in use and the graphics adapters "
               "with their drivers and connected outputs. Its test measures 2-D drawing with QPainter "
               "(lines, rectangles, text and image copies) on a 1024 x 768 image, in about two and a "
               "half seconds. With no display (the offscreen platform) the test runs the same; in a "
               "host without a graphical application object no screens are listed and the text test "
               "is left out.</p>\n<h2>Attributes</h2>\n",
               f);
    for (const auto& a : r.Attrs())
        std::fprintf(f, "<h3><a name=\"%d\">%s</a></h3>\n<p>%s</p>\n", a.type, Html(a.id).c_str(),
                     Html(a.description).c_str());
    std::fputs("<h2>Tips</h2>\n", f);
    for (const auto& t : r.Tips()) {
        std::string d = kqa::Substitute(t.description, {"(the figure found on this machine)"});
        std::fprintf(f, "<h3><a name=\"%d\">%s</a></h3>\n<p>%s</p>\n", t.textID, Html(t.text).c_str(),
                     Html(d).c_str());
    }
    std::fputs("</body></html>\n", f);
    return std::fclose(f) == 0 ? 0 : 1;
}
