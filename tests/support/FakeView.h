// The one fake of the window that analyzers, panes and lists send their messages to: it
// records what they send and, given a document, hands the three analyzer messages to it as
// the main view does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "document/Document.h"
#include "reports/DetailItem.h"

class FakeView : public CWnd {
public:
    intptr_t SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        messages.push_back({message, wParam, lParam});
        if (message == UM_ITEMACTION) {
            itemCodes.push_back(static_cast<int>(wParam));
            items.push_back(lParam ? *reinterpret_cast<const CDetailItem*>(lParam) : CDetailItem());
        }
        if (message == UM_ANALYZERLOG && lParam)
            logs.emplace_back(reinterpret_cast<const char*>(lParam));
        if (message == UM_ANALYZERPROGRESS) OnProgress(lParam);
        if (doc == nullptr) return answerWithoutDoc;
        switch (message) {
            case UM_ANALYZERLOG:
                return doc->OnAnalyzerLog(wParam, lParam);
            case UM_ANALYZERREQUEST:
                return doc->OnAnalyzerRequest(wParam, lParam);
            case UM_ANALYZERPROGRESS:
                return doc->OnAnalyzerProgress(wParam, lParam);
            default:
                return 0;
        }
    }

    CQuillo95Doc* doc = nullptr;
    intptr_t answerWithoutDoc = 0;  // what every message answers when no document is attached
    struct Msg {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    std::vector<Msg> messages;
    // UM_ITEMACTION: the action codes and copies of the items they name.
    std::vector<int> itemCodes;
    std::vector<CDetailItem> items;
    std::vector<std::string> logs;  // the analyzers' log texts
    std::vector<int> positions;     // progress positions in order
    int progressCount = 0;
    std::function<void(int)> onProgress;  // called with the count after each progress message
    // Cancel during a run: the run's flag is set at the cancelAt-th progress message, or at
    // the first one at or past cancelAtPosition.
    int* cancel = nullptr;
    int cancelAt = -1;
    int cancelAtPosition = -1;
    int afterCancel = 0;  // progress messages sent once the flag was set

private:
    void OnProgress(intptr_t position) {
        ++progressCount;
        positions.push_back(static_cast<int>(position));
        if (cancel && *cancel) ++afterCancel;
        if (cancel &&
            (progressCount == cancelAt || (cancelAtPosition >= 0 && position >= cancelAtPosition)))
            *cancel = 1;
        if (onProgress) onProgress(progressCount);
    }
};
