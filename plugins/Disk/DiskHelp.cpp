// Writes Disk.HLP from the module's own text tables.
#include "DiskTexts.h"

static const char kIntro[] =
    "<p>The Disk analyzer lists the machine's block devices (model, capacity, rotational or solid "
    "state, I/O scheduler, queue depth) and its mounted file systems (size, free space, mount "
    "options), and names the file system the program lives on. Its test writes a temporary file "
    "in the program's directory and measures sequential writing and reading in 1 MiB blocks and "
    "random 4 KiB reads, bypassing the page cache (O_DIRECT) where the file system allows. The "
    "file is sized to take under two seconds to write and never more than half the free space; "
    "the whole test takes about six seconds. It then proposes tips: file systems nearly full, "
    "schedulers that do not suit the disk, solid-state disks without TRIM and more.</p>";

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    return kqa::WriteHelpFile(argv[1], DiskTexts(), "Disk Analyzer", kIntro) ? 0 : 1;
}
