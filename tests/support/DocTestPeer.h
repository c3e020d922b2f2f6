// Stages a document's run state for a test without running the modules: a run in progress,
// results waiting to be saved, a report index left by an earlier build, a change told.
#pragma once

#include "document/Document.h"

struct CDocTestPeer {
    static void SetRunning(CQuillo95Doc& doc, bool running) { doc.m_running = running; }
    static void SetResultsNotSaved(CQuillo95Doc& doc, bool notSaved) {
        doc.m_resultsNotSaved = notSaved;
    }
    static void SetHighlightsIndex(CQuillo95Doc& doc, int index) { doc.m_highlightsIndex = index; }
    // A change as the document tells it, for a path a test cannot drive (the late read).
    static void Announce(CQuillo95Doc& doc, DocEvent kind) { doc.Announce(kind); }
};
