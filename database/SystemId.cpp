// New system identifiers: prefix + "+" + a hexadecimal time stamp, at most 31 characters.
#include <cstdint>

#include "database/Database.h"
#include "resources/Strings.h"

// The formats come from the string table.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string CResultsDatabase::MakeNewSysid() {
    std::string prefix;
    if (const CKQTreeEntry* head = m_cache.GetHead()) prefix = GetRecordSysid(*head);
    const std::string base = prefix + LoadKQString(IDS_OPTION_PREFIX_PLUS);
    int width = kMaxSysidLength - static_cast<int>(base.size());
    if (width > 8) width = 8;
    if (width <= 0) {
        m_host.LogLine(FormatKQString(IDS_ERR_SYSID_TOO_LONG, prefix, KQFormat("%d", 1 - width)));
        return std::string();
    }
    const std::string format =
        KQFormat(LoadKQString(IDS_FMT_HEX_WIDTH).c_str(), static_cast<unsigned>(width));
    // Below eight digits only the low digits are printed, so the identifier always fits.
    const uint32_t mask = width >= 8 ? 0xFFFFFFFFu : (1u << (4 * width)) - 1u;
    uint32_t t = m_host.Now();
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::string candidate = base + KQFormat(format.c_str(), static_cast<unsigned>(t & mask));
        // One exported and not imported yet is unknown to the database, but a file holds it.
        if (!IsKnownSysid(candidate) && m_handedOut.insert(candidate).second) return candidate;
        t = t * t;
    }
    m_host.LogLine(LoadKQString(IDS_ERR_NO_UNIQUE_ID));
    return std::string();
}
#pragma GCC diagnostic pop
