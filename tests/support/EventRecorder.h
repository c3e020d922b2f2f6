// Records what the document's change channel tells, as a pane would hear it: the changes in
// order, and apart from them the records of a queued listing and its ends.
#pragma once

#include <vector>

#include "document/DocumentEvents.h"

class EventRecorder : public IDocumentObserver {
public:
    struct Change {
        DocEvent kind;
        int key;
        bool operator==(const Change&) const = default;
    };
    void OnDocumentEvent(const DocumentEvent& event) override {
        if (event.kind == DocEvent::RecordListed)
            listed.push_back(event.recordKey);
        else if (event.kind == DocEvent::ListingDone)
            ++listingsDone;
        else
            changes.push_back({event.kind, event.recordKey});
    }
    std::vector<Change> changes;
    std::vector<int> listed;
    int listingsDone = 0;
};
