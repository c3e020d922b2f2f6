// The directory stream reader on arbitrary bytes: what it accepts round-trips exactly.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "database/Database.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> directory;
    if (!DeserializeDirectory(bytes, directory)) return 0;
    std::string out;
    std::vector<std::string> again;
    if (!SerializeDirectory(directory, out) || !DeserializeDirectory(out, again) ||
        again != directory) {
        std::fprintf(stderr, "directory does not survive a round trip\n");
        std::abort();
    }
    return 0;
}
