// The document's change channel: what changed, told to every subscriber in the order they
// subscribed. Panes subscribe for themselves and decide what each change means to them.
#pragma once

class CRecordEntry;

enum class DocEvent : int {
    RecordAdded,        // a record joined the database (saved, imported): key
    RecordChanged,      // a record's contents were edited (key 0: the running system's)
    RecordRemoved,      // a record left the database: key
    RecordKept,         // a delete that could not be written was undone: key
    DatabaseChanged,    // the database as a whole (its order may have changed)
    DatabaseRead,       // the file was read late: every row and the saved selection anew
    SelectionChanged,   // the Database pane's selected rows changed
    ResultsChanged,     // a test run ended: this machine's tree and tips were rebuilt
    PropertiesChanged,  // an analyzer's properties dialog refreshed this machine's results
    TipsRebuilt,        // every tip was generated again
    RecordListed,       // one record of a queued listing, in record: key
    ListingDone,        // the queued listing ended
};

struct DocumentEvent {
    DocEvent kind;
    int recordKey = 0;
    // RecordListed only: the record, valid for the length of the call.
    const CRecordEntry* record = nullptr;
};

class IDocumentObserver {
public:
    virtual ~IDocumentObserver() = default;
    virtual void OnDocumentEvent(const DocumentEvent& event) = 0;
};

// Subscribing twice changes nothing; an observer may unsubscribe (itself or another) while a
// change is being told, and is not called again after that.
class IDocumentEvents {
public:
    virtual ~IDocumentEvents() = default;
    virtual void Subscribe(IDocumentObserver* observer) = 0;
    virtual void Unsubscribe(IDocumentObserver* observer) = 0;
};
