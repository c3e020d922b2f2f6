// The record stream reader on arbitrary bytes: a stream it accepts writes back to bytes
// that read back to the same record.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "database/Database.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CRecordEntry entry;
    if (!DeserializeRecord(bytes, entry)) return 0;
    std::string once, twice;
    if (!SerializeRecord(entry, once)) std::abort();
    CRecordEntry again;
    if (!DeserializeRecord(once, again) || !SerializeRecord(again, twice) || once != twice) {
        std::fprintf(stderr, "record does not survive a round trip\n");
        std::abort();
    }
    return 0;
}
