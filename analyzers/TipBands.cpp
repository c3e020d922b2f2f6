// Tip priority bands, as the panes and the summary count them.
#include "analyzers/Analyzer.h"

int TipBand(int32_t priority) {
    if (priority >= 80) return 3;
    if (priority >= 50) return 2;
    if (priority >= 1) return 1;
    if (priority == 0) return 0;
    return -1;
}

int CountTips(const CKQTreeEntry& entry) {
    int n = 0;
    for (int i = 0; i < entry.GetTipCount(); ++i)
        if (entry.GetTipPriority(i) >= 0) ++n;
    return n;
}
