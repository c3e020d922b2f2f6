// New system identifiers: prefix + "+" + a hexadecimal time stamp, at most 31 characters.
#include <cstdint>

#include "document/Document.h"
#include "resources/Strings.h"

std::string CQuillo95Doc::CurrentSysid() const {
    const CKQTreeEntry* head = m_systemTree.GetHead();
    return head ? CResultsDatabase::GetRecordSysid(*head) : std::string();
}

// The formats come from the string table.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string CQuillo95Doc::MakeNewSysid() {
    std::string prefix;
    if (const CKQTreeEntry* head = m_db.m_cache.GetHead())
        prefix = CResultsDatabase::GetRecordSysid(*head);
    const std::string base = prefix + LoadKQString(IDS_OPTION_PREFIX_PLUS);
    int width = CResultsDatabase::kMaxSysidLength - static_cast<int>(base.size());
    if (width > 8) width = 8;
    if (width <= 0) {
        m_frame.LogLine(FormatKQString(IDS_ERR_SYSID_TOO_LONG, prefix, KQFormat("%d", 1 - width)));
        return std::string();
    }
    const std::string format =
        KQFormat(LoadKQString(IDS_FMT_HEX_WIDTH).c_str(), static_cast<unsigned>(width));
    // Below eight digits only the low digits are printed, so the identifier always fits.
    const uint32_t mask = width >= 8 ? 0xFFFFFFFFu : (1u << (4 * width)) - 1u;
    uint32_t t = m_frame.Now();
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::string candidate = base + KQFormat(format.c_str(), static_cast<unsigned>(t & mask));
        if (!m_db.IsKnownSysid(candidate)) return candidate;
        t = t * t;
    }
    m_frame.LogLine(LoadKQString(IDS_ERR_NO_UNIQUE_ID));
    return std::string();
}
#pragma GCC diagnostic pop
