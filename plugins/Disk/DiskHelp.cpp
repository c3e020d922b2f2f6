// Writes Disk.HLP from the module's own text tables, so that every attribute type and tip text
// ID has its anchor and the help never drifts from the descriptions shown in the program.
#include <cstdio>
#include <string>

#include "DiskTexts.h"

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
    const kqa::CTextRegistry& r = DiskTexts();
    std::fputs("<html><head><title>Disk Analyzer</title></head><body>\n"
               "<h1><a name=\"0\">Disk Analyzer</a></h1>\n"
               "<p>The Disk analyzer lists the machine's block devices (model, capacity, rotational or "
               "solid state, I/O scheduler, queue depth) and its mounted file systems (size, free space, "
               "mount options), and names the file system the program lives on. Its test writes a "
               "temporary file in the program's directory and measures sequential writing and reading "
               "in 1 MiB blocks and random 4 KiB reads, bypassing the page cache (O_DIRECT) where the "
               "file system allows. The file is sized to take under two seconds to write and never "
               "more than half the free space; the whole test takes about six seconds. It then "
               "proposes tips: file systems nearly full, schedulers that do not suit the disk, "
               "solid-state disks without TRIM and more.</p>\n<h2>Attributes</h2>\n",
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
