// What keeps stored results safe: the order of idle writes, dangling directory entries, files
// this run did not read, idle work held off while records are held, a damaged mirror.
#include <sqlite3.h>

#include <fstream>

#include "database/ExchangeFile.h"
#include "tests/database/DbFixture.h"

namespace {

const std::string kDir = "Quillon Data Directory";

class Trust : public DbTest {
protected:
    // The directory as the file holds it, read by a storage of its own.
    std::vector<std::string> DirectoryOnDisk(const std::string& path) {
        CStreamStorage s;
        std::string data;
        std::vector<std::string> names;
        if (s.OpenExisting(path) != CStreamStorage::OpenResult::Ok || !s.ReadStream(kDir, data) ||
            !DeserializeDirectory(data, names))
            return {"<unreadable>"};
        return names;
    }
    // Every name in the file's directory has a stream that reads as a record.
    void ExpectConsistent(const std::string& path) {
        CStreamStorage s;
        ASSERT_EQ(s.OpenExisting(path), CStreamStorage::OpenResult::Ok);
        for (const std::string& name : DirectoryOnDisk(path)) {
            if (name.empty()) continue;
            std::string data;
            CKQTreeEntry e;
            EXPECT_TRUE(s.ReadStream(name, data) && DeserializeRecord(data, e)) << name;
        }
    }
    void PutStream(const std::string& path, const std::string& name, const std::string& data) {
        CStreamStorage s;
        ASSERT_EQ(s.OpenExisting(path), CStreamStorage::OpenResult::Ok);
        if (data.empty())
            ASSERT_TRUE(s.DestroyStream(name));
        else
            ASSERT_TRUE(s.WriteStream(name, data));
    }
    std::string ExchangeWith(const std::vector<std::string>& sysids) {
        std::ofstream out(dir + "/in.kqx", std::ios::binary);
        out << "{Quillon 95 Exchange File}\r\n";
        for (const std::string& s : sysids) out << "[Box]\r\nSysName=" << s << "\r\nNew=1\r\n";
        return dir + "/in.kqx";
    }
    // A database of someone else's at path: records of its own, written by another document.
    void ForeignDatabase(const std::string& path, const std::string& sysid) {
        FakeFrame otherFrame;
        CAppState otherApp = app;
        CQuillo95Doc other(otherApp, otherFrame);
        auto* rec = dynamic_cast<CRecordEntry*>(other.Database().NewRecord(""));
        FillSample(*rec, sysid);
        other.Database().AddImportedRecord(rec, sysid);
        rec->SetChanged();
        ASSERT_TRUE(other.OnSaveDocument(path));
    }
    // The next start of the program: a new document on the same settings and frame.
    void Restart() {
        doc.reset();
        doc = std::make_unique<CQuillo95Doc>(app, frame);
        view.doc = doc.get();
        doc->SetView(&view);
        doc->Subscribe(&events);
        Db().SetBusyTimeout(50);
    }
    // Another program holding the file's write lock, as a backup tool or the sqlite3 shell
    // would; Release lets it go.
    void HoldExclusive(sqlite3*& other) {
        ASSERT_EQ(sqlite3_open(Path().c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    static void Release(sqlite3* other) {
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }
};

// ---- idle saving ----

TEST_F(Trust, IdleSavingCommitsStreamsBeforeTheDirectoryThatNamesThem) {
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    Db().SetStepBudget(CResultsDatabase::kStepBudgetUs, 2);
    Import("A");
    Import("B");
    Import("C");
    EXPECT_TRUE(Db().IdleStep());  // A and B
    EXPECT_EQ(DirectoryOnDisk(Path()), std::vector<std::string>{});
    EXPECT_TRUE(Db().IdleStep());  // C
    EXPECT_EQ(DirectoryOnDisk(Path()), std::vector<std::string>{});
    EXPECT_EQ(StreamsIn(Path()).size(), 4u);
    EXPECT_TRUE(Db().IdleStep());  // now the directory
    EXPECT_EQ(DirectoryOnDisk(Path()), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_FALSE(Db().IdleStep());
    EXPECT_FALSE(doc->IsModified());

    // A delete in between writes a directory that leaves out what has no stream yet.
    Import("D");
    EXPECT_TRUE(Db().DeleteRecord(Db().KeyForSysid("A")));
    EXPECT_EQ(DirectoryOnDisk(Path()), (std::vector<std::string>{"", "B", "C"}));
    ExpectConsistent(Path());
    Db().IdleStepsToEnd();
    EXPECT_EQ(DirectoryOnDisk(Path()), (std::vector<std::string>{"", "B", "C", "D"}));
    ExpectConsistent(Path());
}

TEST_F(Trust, AnIdleStepIsBoundedByTimeNotOnlyByCount) {
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    for (int i = 0; i < 50; ++i) Import("R" + std::to_string(i));
    Db().SetStepBudget(
        0, CResultsDatabase::kStepMaxRecords);  // every record is over the budget: one per step
    EXPECT_TRUE(Db().IdleStep());
    EXPECT_EQ(StreamsIn(Path()).size(), 2u);
}

TEST_F(Trust, ADeleteRewritesTheDirectoryAndDestroysTheStreamInOneTransaction) {
    Import("A");
    Import("B");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    CStreamStorage::s_faultHook = [](const std::string& op, const std::string&) {
        return op == "commit";
    };
    const int keyA = Db().KeyForSysid("A");
    bool undone = false;
    EXPECT_FALSE(Db().DeleteRecord(keyA, &undone));
    CStreamStorage::s_faultHook = nullptr;
    // Neither happened: the file still names A and still holds it.
    EXPECT_EQ(DirectoryOnDisk(Path()), (std::vector<std::string>{"A", "B"}));
    ExpectConsistent(Path());
    // And the delete is undone, not left for a later step.
    EXPECT_TRUE(undone);
    EXPECT_TRUE(frame.LogContains("Error 1022: Record A could not be deleted"));
    EXPECT_EQ(Db().KeyForSysid("A"), keyA);
    Db().IdleStepsToEnd();
    EXPECT_EQ(DirectoryOnDisk(Path()), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(StreamsIn(Path()).size(), 3u);
    // Deleted for good once the file lets it.
    EXPECT_TRUE(Db().DeleteRecord(keyA));
    EXPECT_EQ(DirectoryOnDisk(Path()), (std::vector<std::string>{"", "B"}));
    EXPECT_EQ(StreamsIn(Path()).size(), 2u);
}

TEST_F(Trust, AFullSaveDoesNotNameARecordWhoseFirstWriteFailed) {
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    Import("A");
    Import("B");
    CStreamStorage::s_faultHook = [](const std::string& op, const std::string& name) {
        return op == "write" && name == "A";
    };
    EXPECT_FALSE(doc->OnSaveDocument(Path()));
    CStreamStorage::s_faultHook = nullptr;
    EXPECT_EQ(DirectoryOnDisk(Path()), (std::vector<std::string>{"B"}));
    ExpectConsistent(Path());
    EXPECT_TRUE(doc->OnSaveDocument(Path()));
    // Written later, A is named after B.
    EXPECT_EQ(DirectoryOnDisk(Path()), (std::vector<std::string>{"B", "A"}));
}

// ---- importing over dangling entries ----

TEST_F(Trust, AnImportTakesOverDanglingEntriesInPlace) {
    Import("A");
    Import("B");
    Import("C");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    PutStream(Path(), "B", "");              // gone
    PutStream(Path(), "C", "not a record");  // damaged
    doc = Reopen(Path());
    view.doc = doc.get();
    const int keyB = Db().KeyForSysid("B"), keyC = Db().KeyForSysid("C");
    frame.log.clear();
    doc->ImportFile(ExchangeWith({"A", "b", "C"}));
    EXPECT_TRUE(frame.LogContains("Warning 1008: Duplicate record A skipped"));
    EXPECT_FALSE(frame.LogContains("Duplicate record b"));
    EXPECT_FALSE(frame.LogContains("Duplicate record C"));
    // Same positions, same keys, no second entry.
    EXPECT_EQ(Db().Directory(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(Db().KeyForSysid("B"), keyB);
    EXPECT_EQ(Db().KeyForSysid("C"), keyC);
    ASSERT_TRUE(doc->SaveModified());
    auto again = Reopen(Path());
    for (const char* s : {"A", "B", "C"}) {
        CRecordEntry r;
        EXPECT_TRUE(again->Database().LoadRecord(r, s)) << s;
    }
    CRecordEntry b;
    ASSERT_TRUE(again->Database().LoadRecord(b, "B"));
    EXPECT_EQ(b.GetAttrValue("New"), "1");
    EXPECT_EQ(CResultsDatabase::GetRecordSysid(b), "B");  // the directory's spelling
}

TEST_F(Trust, ARecordNotYetWrittenCountsAsPresent) {
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    Import("A");
    doc->ImportFile(ExchangeWith({"A"}));
    EXPECT_TRUE(frame.LogContains("Warning 1008: Duplicate record A skipped"));
    EXPECT_EQ(Db().Directory().size(), 1u);
}

TEST_F(Trust, AnImportStopsWhenTheDatabaseCannotBeRead) {
    Import("A");
    Import("B");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    doc = Reopen(Path());
    view.doc = doc.get();
    CStreamStorage::s_faultHook = [](const std::string& op, const std::string& name) {
        return op == "read" && name == "A";
    };
    doc->ImportFile(ExchangeWith({"A", "NEW"}));
    CStreamStorage::s_faultHook = nullptr;
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_NE(frame.boxes[0].text.find("Error 1017: Can't read the database " + Path()),
              std::string::npos);
    EXPECT_FALSE(Db().IsKnownSysid("NEW"));
    EXPECT_EQ(Db().Directory().size(), 2u);
}

// ---- files this run did not read ----

TEST_F(Trust, AFileThatAppearedAfterStartUpIsMovedAsideNotOverwritten) {
    EXPECT_FALSE(doc->OnOpenDocument(Path()));  // missing: log only
    EXPECT_TRUE(frame.boxes.empty());
    doc->OnNewDocument();
    ForeignDatabase(Path(), "THEIRS");
    Import("MINE");
    ASSERT_TRUE(doc->SaveModified());
    EXPECT_TRUE(frame.LogContains("Warning 1015: " + Path()));
    ASSERT_EQ(KeptAside().size(), 1u);
    const std::string aside = dir + "/" + KeptAside()[0];
    EXPECT_EQ(DirectoryOnDisk(aside), std::vector<std::string>{"THEIRS"});
    EXPECT_EQ(DirectoryOnDisk(Path()), std::vector<std::string>{"MINE"});
    // From now on the file is ours: the next save goes into it.
    Import("MORE");
    ASSERT_TRUE(doc->SaveModified());
    EXPECT_EQ(KeptAside().size(), 1u);
    EXPECT_EQ(DirectoryOnDisk(Path()), (std::vector<std::string>{"MINE", "MORE"}));
}

TEST_F(Trust, AFileReplacedUnderAnOpenDatabaseIsKeptAside) {
    Import("MINE");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    ForeignDatabase(dir + "/other.kqd", "THEIRS");
    std::filesystem::rename(dir + "/other.kqd", Path());
    Import("MORE");
    ASSERT_TRUE(doc->SaveModified());
    ASSERT_EQ(KeptAside().size(), 1u);
    EXPECT_EQ(DirectoryOnDisk(dir + "/" + KeptAside()[0]), std::vector<std::string>{"THEIRS"});
    EXPECT_EQ(DirectoryOnDisk(Path()), (std::vector<std::string>{"MINE", "MORE"}));
    ExpectConsistent(Path());
}

TEST_F(Trust, AFileWithAJournalBesideItIsCopiedAsideThenReplaced) {
    doc->OnNewDocument();
    ForeignDatabase(Path(), "THEIRS");
    WriteFile(Path() + "-journal", "");
    Import("MINE");
    ASSERT_TRUE(doc->SaveModified());
    ASSERT_EQ(KeptAside().size(), 1u);
    EXPECT_EQ(DirectoryOnDisk(dir + "/" + KeptAside()[0]), std::vector<std::string>{"THEIRS"});
    EXPECT_EQ(DirectoryOnDisk(Path()), std::vector<std::string>{"MINE"});
}

TEST_F(Trust, AFileThatCanBeNeitherMovedNorCopiedIsNotSavedInto) {
    doc->OnNewDocument();
    WriteFile(Path(), "some bytes that are no database");
    WriteFile(Path() + "-journal", "x");
    Import("MINE");
    EXPECT_FALSE(doc->SaveModified());
    EXPECT_TRUE(frame.LogContains("Error 1014: Can't save the database to " + Path()));
    EXPECT_TRUE(KeptAside().empty());
    std::ifstream in(Path());
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, "some bytes that are no database");
}

TEST_F(Trust, ALockedFileAtStartUpIsReadAgainAndThisRunJoinsItsRecords) {
    Import("STORED");
    Import("TWICE");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    Restart();
    sqlite3* other = nullptr;
    HoldExclusive(other);
    EXPECT_FALSE(doc->OnOpenDocument(Path()));
    EXPECT_TRUE(doc->DatabaseUnread());
    EXPECT_TRUE(frame.LogContains("Warning: 1010: Can't open file " + Path()));
    EXPECT_TRUE(frame.LogContains("Warning 1021: The database " + Path()));
    EXPECT_TRUE(frame.boxes.empty());  // busy is not damaged: the log tells it
    doc->OnNewDocument();
    Load({"Ten"});  // this machine, unknown to the run so far
    const std::string mine = doc->CurrentSysid();
    const int keyNew = Import("NEW");
    Import("TWICE", 1);
    // Still held: idle steps and saves write nothing, and nothing is set aside.
    frame.clock += 10;
    EXPECT_FALSE(doc->IdleStep());
    EXPECT_FALSE(doc->SaveModified());
    EXPECT_TRUE(KeptAside().empty());
    Release(other);
    // Released: the next idle step reads the file, and this run's records join it.
    frame.clock += 10;
    events.changes.clear();
    EXPECT_TRUE(doc->IdleStep());
    EXPECT_FALSE(doc->DatabaseUnread());
    EXPECT_TRUE(frame.LogContains("Warning 1008: Duplicate record TWICE skipped"));
    EXPECT_EQ(Db().Directory(), (std::vector<std::string>{mine, "STORED", "TWICE", "NEW"}));
    EXPECT_EQ(Db().KeyForSysid("NEW"), keyNew);  // the views' keys still hold
    ASSERT_FALSE(events.changes.empty());
    EXPECT_EQ(events.changes.back().kind, DocEvent::DatabaseRead);
    ASSERT_TRUE(doc->SaveModified());
    EXPECT_TRUE(KeptAside().empty());
    EXPECT_EQ(DirectoryOnDisk(Path()), (std::vector<std::string>{mine, "STORED", "TWICE", "NEW"}));
    ExpectConsistent(Path());
    CRecordEntry twice;
    ASSERT_TRUE(Db().LoadRecord(twice, "TWICE"));
    CRecordEntry sample;
    FillSample(sample, "TWICE");
    EXPECT_EQ(twice.m_attrs.size(), sample.m_attrs.size());
    for (size_t i = 0; i < sample.m_attrs.size(); ++i)
        EXPECT_EQ(twice.m_attrs[i].m_value, sample.m_attrs[i].m_value);  // the stored one
}

TEST_F(Trust, AMachineReadLateKeepsItsStoredRecordAndTakesOnlyMeasuredResults) {
    Load({"Ten"});
    const std::string mine = doc->CurrentSysid();
    ASSERT_EQ(doc->Analyzers().FindByID(10)->m_info.m_extra, "Item~Speed");
    // What the user gave this machine, stored: the description (the module's extra path).
    CRecordEntry* rec = Db().GetRecord(mine);
    ASSERT_NE(rec, nullptr);
    rec->GetSubtree()->Find("Item")->SetAttr("Speed", "My words", 0, 0);
    rec->SetAttr("Model", "Stored model", 0, 0);
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    for (const bool measure : {false, true}) {
        SCOPED_TRACE(measure ? "with a test run" : "without a test run");
        Restart();
        sqlite3* other = nullptr;
        HoldExclusive(other);
        EXPECT_FALSE(doc->OnOpenDocument(Path()));
        doc->OnNewDocument();
        Load({"Ten"});
        if (measure) doc->RunAllTests();
        Release(other);
        ASSERT_TRUE(doc->SaveModified());  // reads the file first
        EXPECT_EQ(DirectoryOnDisk(Path()), std::vector<std::string>{mine});
        auto again = Reopen(Path());
        CRecordEntry stored;
        ASSERT_TRUE(again->Database().LoadRecord(stored, mine));
        EXPECT_EQ(stored.GetSubtree()->Find("Item")->GetAttrValue("Speed"), "My words");
        EXPECT_EQ(stored.GetAttrValue("Model"), measure ? "Model Ten" : "Stored model");
        EXPECT_EQ(stored.GetAttrValue("RunTests"), measure ? "1" : "");
        // The running system shows the stored description too.
        EXPECT_EQ(doc->SystemTree().GetHead()->GetSubtree()->Find("Item")->GetAttrValue("Speed"),
                  "My words");
        EXPECT_TRUE(KeptAside().empty());
    }
}

TEST_F(Trust, AFailedDirectoryReadIsAnOpenFailureNotADamagedFile) {
    Import("STORED");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    doc = std::make_unique<CQuillo95Doc>(app, frame);
    view.doc = doc.get();
    app.ApplyOption("-A");  // unattended: the log and standard error, never a box
    CStreamStorage::s_faultHook = [](const std::string& op, const std::string& name) {
        return op == "read" && name == kDir;
    };
    EXPECT_FALSE(doc->OnOpenDocument(Path()));
    CStreamStorage::s_faultHook = nullptr;
    EXPECT_TRUE(frame.boxes.empty());
    EXPECT_TRUE(frame.LogContains("Warning 1021: The database " + Path()));
    EXPECT_FALSE(Db().SetsAsideBeforeSave());
    EXPECT_TRUE(KeptAside().empty());
}

// ---- records held across dialogs ----

TEST_F(Trust, ExportCurrentWritesTheMirrorNotTheCacheHead) {
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    Import("IMPORTED");  // at the head of the cache, in use by nobody
    frame.saveAnswer = dir + "/current.kqx";
    // The dialog's own event loop would run idle steps: they must not touch the database.
    frame.onSaveDialog = [this] { doc->FinishIdleWork(); };
    EXPECT_TRUE(doc->ExportCurrent());
    std::ifstream in(dir + "/current.kqx");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find('['), std::string::npos) << text;  // header lines only
    EXPECT_EQ(StreamsIn(Path()).size(), 1u);               // nothing was written meanwhile
    doc->FinishIdleWork();
    EXPECT_EQ(StreamsIn(Path()).size(), 2u);

    Load({"Ten"});
    EXPECT_TRUE(doc->ExportCurrent());
    in = std::ifstream(dir + "/current.kqx");
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("[Ten]"), std::string::npos) << text;
}

TEST_F(Trust, ARecordExportedThroughTheDialogIsHeldUntilTheEnd) {
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    Import("IMPORTED");
    CKQTreeEntry* rec = Db().Cache().GetHead();
    frame.saveAnswer = dir + "/one.kqx";
    int heldDuring = -1;
    frame.onSaveDialog = [&] {
        heldDuring = dynamic_cast<CRecordEntry*>(rec)->InUse();
        doc->IdleStep();
    };
    EXPECT_TRUE(doc->ExportEntry(rec, std::string()));
    EXPECT_EQ(heldDuring, 1);
    EXPECT_EQ(dynamic_cast<CRecordEntry*>(rec)->InUse(), 0);
    std::ifstream in(dir + "/one.kqx");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("SysName=IMPORTED"), std::string::npos);
}

// ---- the mirror and the highlights ----

TEST_F(Trust, ADamagedMirrorIsRebuiltInPlaceWithAWarning) {
    Load({"Ten"});
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    const std::string mirror = Db().RecordSysid(0);
    Import("OTHER");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    doc.reset();
    PutStream(Path(), mirror, "garbage");
    doc = Reopen(Path());
    view.doc = doc.get();
    doc->SetView(&view);
    const int key = Db().KeyForSysid(mirror);
    frame.log.clear();
    Load({"Ten"});
    EXPECT_TRUE(frame.LogContains("Warning 1018: Record " + mirror));
    EXPECT_EQ(Db().Directory(), (std::vector<std::string>{mirror, "OTHER"}));
    EXPECT_EQ(Db().KeyForSysid(mirror), key);
    ASSERT_TRUE(doc->SaveModified());
    ExpectConsistent(Path());
    auto again = Reopen(Path());
    CRecordEntry r;
    ASSERT_TRUE(again->Database().LoadRecord(r, mirror));
    EXPECT_EQ(r.m_key, "Ten");
}

TEST_F(Trust, AMirrorThatCannotBeReadForNowIsLeftAloneNotRebuilt) {
    Load({"Ten"});
    const std::string mirror = Db().RecordSysid(0);
    CRecordEntry* rec = Db().GetRecord(mirror);
    ASSERT_NE(rec, nullptr);
    rec->SetAttr("Model", "Stored model", 0, 0);
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    doc = Reopen(Path());
    view.doc = doc.get();
    doc->SetView(&view);
    frame.log.clear();
    CStreamStorage::s_faultHook = [mirror](const std::string& op, const std::string& name) {
        return op == "read" && name == mirror;
    };
    Load({"Ten"});
    CStreamStorage::s_faultHook = nullptr;
    EXPECT_TRUE(frame.LogContains("Record " + mirror + " could not be read"));
    EXPECT_FALSE(frame.LogContains("Warning 1018"));
    ASSERT_TRUE(doc->SaveModified());
    doc->FinishIdleWork();
    auto again = Reopen(Path());
    CRecordEntry r;
    ASSERT_TRUE(again->Database().LoadRecord(r, mirror));
    EXPECT_EQ(r.GetAttrValue("Model"), "Stored model");
}

TEST_F(Trust, RegenTipsRebuildsTheHighlights) {
    Load({"Ten"});
    CKQTreeEntry* top = doc->SystemTree().GetHead();
    ASSERT_NE(top, nullptr);
    const CRepDef* h = top->GetRepDefPtr(doc->HighlightsIndex());
    ASSERT_NE(h, nullptr);
    const int before = h->GetItemCount();
    top->SetAttr("Flagged", "yes", 0, 4);
    doc->RegenTips();
    h = top->GetRepDefPtr(doc->HighlightsIndex());
    bool found = false;
    for (const CRepItem& item : h->m_items) found = found || item.m_text == "Flagged";
    EXPECT_TRUE(found);
    EXPECT_GT(h->GetItemCount(), before);
}

}  // namespace
