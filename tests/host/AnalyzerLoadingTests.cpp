#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <set>

#include "tests/host/HostFixture.h"

namespace {

std::string ModuleFile(const std::string& name) {
    return std::string(QUILLON_TESTMODULE_DIR) + "/" + name + ".kqa";
}

}  // namespace

TEST(EntryPointNames, EveryNameResolvesInAModuleDefiningAllNine) {
    void* module = dlopen(ModuleFile("Ten").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    std::set<std::string> distinct;
    for (const char* name : kqaEntryPointNames) {
        distinct.insert(name);
        EXPECT_NE(dlsym(module, name), nullptr) << name;
    }
    EXPECT_EQ(distinct.size(), static_cast<size_t>(KQA_ENTRYCOUNT));
    dlclose(module);
}

TEST(EntryPointNames, HostRecordHoldsAllNineAfterLoading) {
    FakeView view;
    CAnalyzer a;
    ASSERT_TRUE(a.Load(ModuleFile("Ten"), &view));
    for (int i = 0; i < KQA_ENTRYCOUNT; ++i)
        EXPECT_TRUE(a.HasEntryPoint(static_cast<KQAEntry>(i))) << kqaEntryPointNames[i];
    EXPECT_EQ(a.m_lastRC, KQARC_OK);
    EXPECT_EQ(a.GetID(), 10);
    EXPECT_EQ(a.m_info.m_version, 105);
    EXPECT_EQ(a.m_info.m_bitmap, 310);
    EXPECT_EQ(a.m_info.m_flags[0], 2);
    EXPECT_EQ(a.m_info.m_extra, "Item~Speed");
    a.Unload();
    EXPECT_FALSE(a.IsLoaded());
}

TEST(AnalyzerWrappers, NothingLoadedRecordsZero) {
    CAnalyzer a;
    int cancel = 0;
    CKQTreeEntry entry("E");
    a.m_lastRC = 7;
    EXPECT_FALSE(a.GetSystemInfo(&entry));
    EXPECT_EQ(a.m_lastRC, 0);
    EXPECT_EQ(a.m_branch, &entry);  // remembered even so
    a.m_lastRC = 7;
    EXPECT_FALSE(a.RunTests(cancel));
    EXPECT_EQ(a.m_lastRC, 0);
    CString text = "kept";
    CTip tip(1, 2, 3);
    EXPECT_FALSE(a.GetTipText(&tip, text));
    EXPECT_EQ(text, "kept");
    EXPECT_FALSE(a.Load(ModuleFile("NoSuchModule"), nullptr));
}

namespace {

// Calls every wrapper but kqaInitialize's; each must answer false and record 0 without
// reaching the module, and leave what it was given alone.
void ExpectEveryWrapperRecordsZero(CAnalyzer& a) {
    CKQTreeEntry branch("Branch");
    int cancel = 0;
    CTip tip(1, 2, 3);
    CAttr attr("A", "v", 0, 0);
    CString text = "kept";
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"GetSystemInfo", [&] { return a.GetSystemInfo(&branch); }},
        {"DoPropertiesUI(branch)", [&] { return a.DoPropertiesUI(nullptr); }},
        {"DoPropertiesUI(entry)", [&] { return a.DoPropertiesUI(&branch); }},
        {"RunTests", [&] { return a.RunTests(cancel); }},
        {"RunATest", [&] { return a.RunATest(&branch, cancel); }},
        {"GenTips", [&] { return a.GenTips(); }},
        {"GetTipText", [&] { return a.GetTipText(&tip, text); }},
        {"GetTipDesc", [&] { return a.GetTipDesc(&tip, text); }},
        {"GetAttrDesc", [&] { return a.GetAttrDesc(&attr, text); }},
    };
    for (const auto& [name, call] : calls) {
        a.m_lastRC = 7;
        EXPECT_FALSE(call()) << name;
        EXPECT_EQ(a.m_lastRC, 0) << name;
    }
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(branch.GetAttrCount(), 0);
    EXPECT_EQ(tip.m_priority, 1);
    EXPECT_EQ(cancel, 0);
}

}  // namespace

TEST(AnalyzerWrappers, MissingEntryPointsAndUnloadedModulesRecordZero) {
    FakeView view;
    CAnalyzer initOnly;
    ASSERT_TRUE(initOnly.Load(ModuleFile("InitOnly"), &view));
    EXPECT_EQ(initOnly.m_lastRC, KQARC_OK);
    ExpectEveryWrapperRecordsZero(initOnly);

    // A module with every entry point, once unloaded, is never called again.
    CAnalyzer full;
    ASSERT_TRUE(full.Load(ModuleFile("Ten"), &view));
    full.Unload();
    ExpectEveryWrapperRecordsZero(full);
}

TEST(AnalyzerWrappers, AModuleWithoutInitializeDoesNotLoad) {
    FakeView view;
    CAnalyzer a;
    EXPECT_FALSE(a.Load(ModuleFile("NoInit"), &view));
    EXPECT_FALSE(a.IsLoaded());
    EXPECT_EQ(a.m_lastRC, 0);
    for (int i = 0; i < KQA_ENTRYCOUNT; ++i)
        EXPECT_FALSE(a.HasEntryPoint(static_cast<KQAEntry>(i)));
    EXPECT_TRUE(view.messages.empty());
}

TEST(AnalyzerWrappers, RemembersTheBranchAndRecordsEachResult) {
    FakeView view;
    CAnalyzer a;
    ASSERT_TRUE(a.Load(ModuleFile("TenNoEdit"), &view));
    CKQTreeEntry branch("TenNoEdit");
    EXPECT_TRUE(a.GetSystemInfo(&branch));
    int cancel = 0;
    EXPECT_TRUE(a.RunTests(cancel));
    EXPECT_TRUE(a.GenTips());
    EXPECT_EQ(branch.GetAttrValue("RunTests"), "1");
    EXPECT_EQ(branch.GetAttrValue("GenTips"), "1");
    // Its properties dialog answers 2: failure, recorded as such.
    EXPECT_FALSE(a.DoPropertiesUI(nullptr));
    EXPECT_EQ(a.m_lastRC, 2);
    EXPECT_EQ(branch.GetAttrValue("Properties"), "1");
    CKQTreeEntry record("Record");
    a.DoPropertiesUI(&record);
    EXPECT_EQ(record.GetAttrValue("Properties"), "1");
    EXPECT_EQ(branch.GetAttrValue("Properties"), "1");
}

TEST(AnalyzerList, OrderedByIdentifierEqualOnesKeepLoadOrder) {
    CAnalyzerList list;
    auto make = [](KQAID id, const char* name) {
        auto* a = new CAnalyzer;
        a->m_info.m_id = id;
        a->m_info.m_name = name;
        return a;
    };
    CAnalyzer* b20 = make(20, "b");
    CAnalyzer* c5 = make(5, "c");
    CAnalyzer* d20 = make(20, "d");
    CAnalyzer* e1 = make(1, "e");
    for (CAnalyzer* a : {b20, c5, d20, e1}) list.Insert(a);
    std::vector<std::string> order;
    for (CAnalyzer* a : list.Ordered()) order.push_back(a->GetName());
    EXPECT_EQ(order, (std::vector<std::string>{"e", "c", "b", "d"}));
    EXPECT_EQ(list.FindByID(20), d20);  // the later one routes
    EXPECT_EQ(list.FindByName("b"), b20);
    EXPECT_EQ(list.FindByID(7), nullptr);
    EXPECT_FALSE(list.GenTipsOne(7));
    int cancel = 0;
    EXPECT_EQ(list.RunOne(nullptr, false, 7, nullptr, cancel), 0);
    EXPECT_EQ(list.RunAll(nullptr, false, cancel), 1);
    list.DestroyAll();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.FindByID(20), nullptr);
}

TEST(DirectoryLister, ListsOnlyMatchingNames) {
    CScratchDir scratch("kqlist");
    const std::string tmpl = scratch.Path();
    ASSERT_FALSE(tmpl.empty());
    for (const char* f : {"a.kqa", "b.txt", "c.kqa", "d.kqa.bak", "kqa"})
        std::ofstream(tmpl + "/" + f);
    std::vector<std::string> names = DefaultDirectoryLister().List(tmpl + "/", "*.kqa");
    std::set<std::string> got(names.begin(), names.end());
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(got, (std::set<std::string>{"a.kqa", "c.kqa"}));
    EXPECT_TRUE(DefaultDirectoryLister().List(tmpl + "/missing/", "*.kqa").empty());
}

using Loading = HostTest;

TEST_F(Loading, OnlyInitializeExportedLoadsAndGetsABranch) {
    Load({"InitOnly"});
    ASSERT_GE(frame.log.size(), 2u);
    EXPECT_EQ(frame.log[0], "Loading analyzer InitOnly.kqa");
    EXPECT_EQ(frame.log[1], "Loaded analyzer InitOnly.kqa");
    CAnalyzer* a = doc->Analyzers().FindByID(40);
    ASSERT_NE(a, nullptr);
    for (int i = 1; i < KQA_ENTRYCOUNT; ++i)
        EXPECT_FALSE(a->HasEntryPoint(static_cast<KQAEntry>(i)));
    ASSERT_EQ(AnalyzerRoots(), 1);
    CKQTreeEntry* top = doc->SystemTree().GetHead();
    EXPECT_EQ(top->GetKey(), "InitOnly");
    EXPECT_EQ(top->m_kqaid, 40);
    EXPECT_EQ(a->m_branch, top);
    EXPECT_EQ(a->m_lastRC, 0);  // kqaGetSystemInfo is missing

    // Tests and tips do nothing; its texts are empty.
    doc->RunAllTests();
    EXPECT_EQ(frame.status.back(), "Testing complete");
    EXPECT_EQ(top->GetTipCount(), 0);
    CTip tip(50, 1, 2);
    CString text;
    doc->TipText(40, &tip, text);
    EXPECT_EQ(text, "");
    CAttr attr("X", "1", 0, 0);
    doc->AttrDesc(40, &attr, text);
    EXPECT_EQ(text, "");
}

TEST_F(Loading, SingleModuleFormsTheTreeWithAnEmptySubtree) {
    Load({"InitOnly"});
    CKQTreeEntry* top = doc->SystemTree().GetHead();
    ASSERT_NE(top, nullptr);
    ASSERT_NE(top->GetSubtree(), nullptr);
    EXPECT_EQ(top->GetSubtree()->GetCount(), 0);
    EXPECT_EQ(top->m_flags & 3u, 3u);
}

TEST_F(Loading, InitializeReturningZeroOrTwoDropsTheModule) {
    for (const char* m : {"InitFails0", "InitFails2"}) {
        frame.log.clear();
        Load({m});
        EXPECT_EQ(frame.log,
                  (std::vector<std::string>{std::string("Loading analyzer ") + m + ".kqa",
                                            "Analyzer load failed"}));
        EXPECT_TRUE(doc->Analyzers().IsEmpty());
        EXPECT_TRUE(doc->SystemTree().IsEmpty());
        EXPECT_TRUE(app.AnalyzerLines().empty());
    }
}

TEST_F(Loading, AFailedModuleDoesNotStopTheOthers) {
    std::ofstream(dir + "/Broken.kqa") << "not a shared object";
    Load({"InitFails2", "Five", "Broken"});
    // The loader's reason follows on a line of its own; its wording is the C library's.
    ASSERT_EQ(frame.log.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(frame.log.begin(), frame.log.begin() + 6),
              (std::vector<std::string>{"Loading analyzer InitFails2.kqa", "Analyzer load failed",
                                        "Loading analyzer Five.kqa", "Loaded analyzer Five.kqa",
                                        "Loading analyzer Broken.kqa", "Analyzer load failed"}));
    EXPECT_EQ(frame.log[6].rfind(dir + "/Broken.kqa: ", 0), 0u) << frame.log[6];
    EXPECT_EQ(doc->Analyzers().GetCount(), 1);
    ASSERT_EQ(AnalyzerRoots(), 1);
    EXPECT_EQ(doc->SystemTree().GetHead()->GetKey(), "Five");
}

TEST_F(Loading, AModuleWithoutInitializeIsDroppedQuietly) {
    Load({"NoInit", "Five"});
    EXPECT_EQ(frame.log,
              (std::vector<std::string>{
                  "Loading analyzer NoInit.kqa", "Analyzer load failed",
                  dir + "/NoInit.kqa: undefined symbol: " + kqaEntryPointNames[KQA_INITIALIZE],
                  "Loading analyzer Five.kqa", "Loaded analyzer Five.kqa"}));
    EXPECT_EQ(doc->Analyzers().GetCount(), 1);
    EXPECT_EQ(app.AnalyzerLines(), std::vector<std::string>{"Five version 0.7"});
    ASSERT_EQ(AnalyzerRoots(), 1);
    EXPECT_EQ(doc->SystemTree().GetHead()->FindAttr("Loaded"), -1);
    EXPECT_EQ(Child(doc->SystemTree().GetHead(), "NoInit"), nullptr);
}

TEST_F(Loading, AModuleClaimingTheHostsOwnIdentifierIsNotLoaded) {
    Load({"ClaimsHost", "Five"});
    EXPECT_EQ(frame.log,
              (std::vector<std::string>{"Loading analyzer ClaimsHost.kqa", "Analyzer load failed",
                                        "The module claims analyzer identifier 65535, which is the "
                                        "program's own; it is not loaded.",
                                        "Loading analyzer Five.kqa", "Loaded analyzer Five.kqa"}));
    EXPECT_EQ(doc->Analyzers().GetCount(), 1);
    EXPECT_EQ(doc->Analyzers().FindByID(KQAID_HOST), nullptr);
}

TEST_F(Loading, ABranchThatCannotBeMadeStopsLoadingWithOneLine) {
    app.SetPromptProps(true);
    doc->SystemTree().SetFactory([](const std::string&) -> CKQTreeEntry* { return nullptr; });
    Load({"Five", "Ten"});
    EXPECT_EQ(frame.log,
              (std::vector<std::string>{"Loading analyzer Five.kqa", "Loaded analyzer Five.kqa",
                                        "Loading analyzer Ten.kqa", "Loaded analyzer Ten.kqa",
                                        "Error 10: Not enough memory"}));
    EXPECT_TRUE(doc->SystemTree().IsEmpty());
    EXPECT_EQ(doc->Analyzers().GetCount(), 2);
    EXPECT_EQ(Branch(5), nullptr);
    EXPECT_EQ(Branch(10), nullptr);
    EXPECT_TRUE(app.AnalyzerLines().empty());
    // The status note, the refresh, the properties prompt and the modified flag are skipped.
    EXPECT_EQ(doc->Database().Cache().GetCount(), 0);
    EXPECT_FALSE(doc->IsModified());
    // Analyzers without a branch are never handed a null entry.
    doc->RunAllTests();
    EXPECT_EQ(frame.status.back(), "Testing complete");
    for (CAnalyzer* a : doc->Analyzers().Ordered()) EXPECT_EQ(a->m_lastRC, 0) << a->GetName();

    // With entries to be had again, loading once more builds the branches.
    doc->SystemTree().SetFactory(nullptr);
    frame.log.clear();
    Load({"Five", "Ten"});
    EXPECT_EQ(Branch(5), doc->SystemTree().GetHead());
    EXPECT_TRUE(HasTip(Branch(10), -1, 1101, 1201));
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(Loading, LowestIdentifierOwnsTheTopEntry) {
    Load({"Twenty", "Five"});
    ASSERT_EQ(AnalyzerRoots(), 1);
    CKQTreeEntry* top = doc->SystemTree().GetHead();
    EXPECT_EQ(top->GetKey(), "Five");
    EXPECT_EQ(top->m_kqaid, 5);
    EXPECT_EQ(top->m_flags & 3u, 3u);
    ASSERT_GE(top->GetRepDefCount(), 2);
    EXPECT_EQ(top->GetRepDefPtr(0)->GetName(), "Highlights");
    EXPECT_EQ(top->GetRepDefPtr(0)->GetType(), RDTYPE_REPORT);
    EXPECT_EQ(top->GetRepDefPtr(1)->GetName(), "All Details");
    EXPECT_EQ(top->GetRepDefPtr(1)->GetType(), RDTYPE_REPORT);
    EXPECT_EQ(doc->HighlightsIndex(), 0);

    CKQTreeEntry* twenty = Child(top, "Twenty");
    ASSERT_NE(twenty, nullptr);
    EXPECT_EQ(twenty->m_kqaid, 20);
    EXPECT_EQ(twenty->m_flags & 3u, 1u);
    EXPECT_EQ(twenty->GetRepDefCount(), 0);
    EXPECT_EQ(Branch(20), twenty);
    EXPECT_EQ(Branch(5), top);
    EXPECT_EQ(Count(top, "SystemInfo"), 1);
    EXPECT_EQ(Count(twenty, "SystemInfo"), 1);
    // The module's own entries come first in the subtree, the later branch after them.
    EXPECT_EQ(top->GetSubtree()->GetAt(0)->GetKey(), "Item");
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(Loading, VersionLinesAndBranchesInIdentifierOrder) {
    Load({"Thirty", "Twenty", "Five", "Ten"});
    EXPECT_EQ(app.AnalyzerLines(),
              (std::vector<std::string>{"Five version 0.7", "Ten version 1.5", "Twenty version 1.2",
                                        "Thirty version 3.0"}));
    std::vector<std::string> keys;
    for (CKQTreeEntry* e : *doc->SystemTree().GetHead()->GetSubtree()) keys.push_back(e->GetKey());
    EXPECT_EQ(keys, (std::vector<std::string>{"Item", "Ten", "Twenty", "Thirty"}));
}

TEST_F(Loading, EqualIdentifiersKeepLoadOrderAndTheLaterRoutes) {
    Load({"TwentyB", "Twenty"});
    std::vector<std::string> order;
    for (CAnalyzer* a : doc->Analyzers().Ordered()) order.push_back(a->GetName());
    EXPECT_EQ(order, (std::vector<std::string>{"TwentyB", "Twenty"}));
    EXPECT_EQ(doc->SystemTree().GetHead()->GetKey(), "TwentyB");
    EXPECT_NE(Child(doc->SystemTree().GetHead(), "Twenty"), nullptr);
    EXPECT_EQ(doc->AnalyzerName(20), "Twenty");
    CTip tip(50, 7, 8);
    CString text;
    doc->TipText(20, &tip, text);
    EXPECT_EQ(text, "Twenty tip 7 8");
    // A run still reaches both.
    doc->RunAllTests();
    EXPECT_EQ(Count(doc->SystemTree().GetHead(), "RunTests"), 1);
    EXPECT_EQ(Count(Child(doc->SystemTree().GetHead(), "Twenty"), "RunTests"), 1);

    // The other file-system order gives the other owner.
    FakeLister reversed({"Twenty.kqa", "TwentyB.kqa"});
    doc->LoadAnalyzers(reversed);
    EXPECT_EQ(doc->SystemTree().GetHead()->GetKey(), "Twenty");
    EXPECT_EQ(doc->AnalyzerName(20), "TwentyB");
}

TEST_F(Loading, NoModuleFoundIsSilent) {
    FakeLister lister({});
    doc->LoadAnalyzers(lister);
    EXPECT_EQ(lister.askedPattern, "*.kqa");
    EXPECT_EQ(lister.askedDirectory, dir + "/");
    EXPECT_TRUE(frame.log.empty());
    EXPECT_TRUE(doc->SystemTree().IsEmpty());
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(Loading, NoViewLoadsNothing) {
    doc->SetView(nullptr);
    Load({"Five"});
    EXPECT_TRUE(frame.log.empty());
    EXPECT_TRUE(doc->Analyzers().IsEmpty());
}

TEST_F(Loading, LoadingAgainStartsAfresh) {
    Load({"Five", "Twenty"});
    Load({"Five", "Twenty"});
    EXPECT_EQ(doc->Analyzers().GetCount(), 2);
    EXPECT_EQ(app.AnalyzerLines().size(), 2u);
    // The top entry and, beside it, the host's own (history) entry: nothing piled up.
    EXPECT_EQ(doc->SystemTree().GetCount(), 2);
    EXPECT_EQ(Branch(5), doc->SystemTree().GetHead());
    EXPECT_EQ(doc->SystemTree().GetAt(1), doc->HostEntry());
    doc->RunAllTests();  // every branch pointer is live
    EXPECT_EQ(Count(Branch(20), "RunTests"), 1);
}

TEST_F(Loading, PropertiesPromptForAnUnknownSystemOnly) {
    app.SetPromptProps(true);
    Load({"Ten"});
    EXPECT_EQ(Count(Branch(10), "Properties"), 1);
    // The mirror record now knows BOX-10: no prompt the next time.
    Load({"Ten"});
    EXPECT_EQ(Count(Branch(10), "Properties"), 0);
}

TEST_F(Loading, NoPropertiesPromptWithOptionP) {
    app.SetPromptProps(false);
    Load({"Ten"});
    EXPECT_EQ(Count(Branch(10), "Properties"), 0);
}

TEST_F(Loading, StatusNoteAfterLoading) {
    Load({"Five", "Ten"});
    CKQTreeEntry* ten = Branch(10);
    ASSERT_NE(ten, nullptr);
    ASSERT_EQ(ten->GetTipCount(), 1);
    EXPECT_TRUE(HasTip(ten, -1, 1101, 1201));
}

namespace {

// The libraries a shared object asks for, as readelf shows them ("libkqutil.so", ...).
std::set<std::string> Needed(const std::string& file) {
    std::set<std::string> needed;
    const std::string command = "readelf -d '" + file + "' 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return needed;
    char line[512];
    while (std::fgets(line, sizeof line, p) != nullptr) {
        const std::string s(line);
        const size_t open = s.find("(NEEDED)") == std::string::npos ? s.npos : s.find('[');
        if (open != s.npos) needed.insert(s.substr(open + 1, s.find(']', open) - open - 1));
    }
    pclose(p);
    return needed;
}

// Every copy of the tree library mapped into this process, by file identity.
std::set<std::pair<dev_t, ino_t>> MappedTreeLibraries() {
    std::set<std::pair<dev_t, ino_t>> files;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            const std::string path = info->dlpi_name ? info->dlpi_name : "";
            struct stat st {};
            if (path.find("/libkqutil.so") != std::string::npos && ::stat(path.c_str(), &st) == 0)
                static_cast<std::set<std::pair<dev_t, ino_t>>*>(out)->insert(
                    {st.st_dev, st.st_ino});
            return 0;
        },
        &files);
    return files;
}

}  // namespace

// A module built before the tree library had a version asks for libkqutil.so; the program's
// directory keeps that name beside libkqutil.so.1, and the module shares the program's copy.
TEST_F(Loading, AModuleBuiltBeforeTheLibraryVersionStillLoads) {
    const std::set<std::string> needed = Needed(ModuleFile("Unversioned"));
    if (needed.empty()) GTEST_SKIP() << "readelf is not there";
    ASSERT_TRUE(needed.count("libkqutil.so")) << "the stand-in module asks for a versioned name";
    EXPECT_TRUE(Needed(ModuleFile("Ten")).count("libkqutil.so.1"));

    Load({"Unversioned"});
    CAnalyzer* a = doc->Analyzers().FindByID(60);
    ASSERT_NE(a, nullptr) << (frame.log.empty() ? "" : frame.log.back());
    EXPECT_EQ(Count(Branch(60), "SystemInfo"), 1);
    EXPECT_EQ(MappedTreeLibraries().size(), 1u);
}
