// The reference to one displayed entry, attribute or tip that trees and lists keep per row.
#pragma once

#include <cstdint>

#include "tree/KQTree.h"

enum DetailKind : int32_t { DETAIL_ENTRY = 0, DETAIL_ATTR = 1, DETAIL_TIP = 2 };

class CDetailItem {
public:
    CDetailItem() = default;
    CDetailItem(CKQTreeEntry* entry, uint16_t kqaid, int32_t kind, int32_t index,
                int32_t sortKey = 0)
        : m_entry(entry), m_kqaid(kqaid), m_kind(kind), m_index(index), m_sortKey(sortKey) {}
    virtual ~CDetailItem() = default;
    CDetailItem(const CDetailItem&) = default;
    CDetailItem& operator=(const CDetailItem&) = default;

    CKQTreeEntry* m_entry = nullptr;  // not owned
    uint16_t m_kqaid = 0;
    int32_t m_kind = DETAIL_ENTRY;
    int32_t m_index = -1;
    int32_t m_sortKey = 0;
};

// Codes of UM_ITEMACTION.
enum ItemAction : int32_t {
    IA_SUMMARY_DESCRIBE = 1,
    IA_SUMMARY_HELP = 2,
    IA_SUMMARY_BOX = 3,
    IA_HELP = 4,
    IA_DETAILS_DESCRIBE = 5,
    IA_TREE_HELP = 6,
    IA_RUN_TEST = 7,
    IA_PROPERTIES = 8,
    IA_DETAILS_BOX = 9,
    IA_DEFAULT_HELP = 10,
};
