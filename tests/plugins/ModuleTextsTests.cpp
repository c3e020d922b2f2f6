// What all three modules owe the host: texts for every tip and attribute, help anchors for
// every context number, report and chart definitions that resolve, and their bitmaps.
#include <regex>
#include <set>

#include "plugins/CPU/CPUInfo.h"
#include "plugins/Disk/DiskTexts.h"
#include "plugins/Memory/MemoryInfo.h"
#include "plugins/System/SystemInfo.h"
#ifdef KQA_TEST_QT
#include "plugins/Video/VideoTexts.h"
#endif
#include "tests/plugins/PluginFixture.h"

#ifdef KQA_TEST_QT
#include <QFile>
#endif

using namespace plugintest;

namespace {

class AllModules : public ModuleTest {
protected:
    void RunMachine(const char* machine) {
        NewDocument();
        UseMachine(machine);
        setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
        LoadAll();
        doc->RunAllTests();
    }
};

const std::map<KQAID, std::vector<int32_t>> kTipIDs = {
    {10,
     {sys::TIP_NOT_ANALYSED, sys::TIP_ANALYSED, sys::TIP_HOST_UNRESOLVED, sys::TIP_REBOOT_PENDING}},
    {20,
     {cpu::TIP_GOVERNOR, cpu::TIP_BOOST_OFF, cpu::TIP_THROTTLED, cpu::TIP_VULNERABLE, cpu::TIP_BUSY,
      cpu::TIP_POOR_SCALING, cpu::TIP_NO_MICROCODE}},
    {30,
     {mem::TIP_SWAP_HEAVY, mem::TIP_DESKTOP_MEMORY, mem::TIP_NO_SWAP, mem::TIP_SWAPPINESS,
      mem::TIP_LOW_AVAILABLE, mem::TIP_SLOW_BANDWIDTH, mem::TIP_BELOW_RATED}},
};
const std::map<KQAID, std::string> kNames = {{10, "System"}, {20, "CPU"}, {30, "Memory"}};

}  // namespace

TEST_F(AllModules, EveryAttributeAndTipHasItsTexts) {
    for (const char* machine : {"desktop", "laptop"}) {
        RunMachine(machine);
        std::set<int32_t> seenTips;
        int attrs = 0;
        ForEachEntry([&](CKQTreeEntry* e, KQAID id) {
            for (const CAttr& a : e->m_attrs) {
                ++attrs;
                CAttr copy = a;
                CString desc;
                doc->AttrDesc(id, &copy, desc);
                EXPECT_FALSE(desc.empty()) << machine << ": " << a.m_id;
                // As a database record holds it: no type word.
                copy.m_type = 0;
                CString fromRecord;
                doc->AttrDesc(id, &copy, fromRecord);
                EXPECT_EQ(fromRecord, desc) << machine << ": " << a.m_id;
            }
            for (const CTip& t : e->m_tips) {
                seenTips.insert(t.m_textID);
                CTip copy(0, t.m_textID, t.m_descID);  // as a report item rebuilds it
                CString text, desc;
                doc->TipText(id, &copy, text);
                doc->TipDesc(id, &copy, desc);
                EXPECT_FALSE(text.empty()) << t.m_textID;
                EXPECT_EQ(text.find('\n'), std::string::npos);
                EXPECT_GT(desc.size(), text.size()) << t.m_textID;
                EXPECT_EQ(desc.find("%1"), std::string::npos) << desc;
            }
        });
        EXPECT_GT(attrs, 80) << machine;
        EXPECT_TRUE(seenTips.count(1102)) << machine;
    }
    // Every tip a module can raise, from its IDs alone, with some figure.
    for (const auto& [id, tips] : kTipIDs)
        for (int32_t textID : tips) {
            CTip t(0, textID,
                   textID == 1101 || textID == 1102 ? textID + 100 : textID * 100000 + 42);
            CString text, desc;
            doc->TipText(id, &t, text);
            doc->TipDesc(id, &t, desc);
            EXPECT_FALSE(text.empty()) << textID;
            EXPECT_FALSE(desc.empty()) << textID;
        }
    // At least fifteen distinct tips across the three modules, priorities in their bands.
    size_t distinct = 0;
    for (const auto& [id, tips] : kTipIDs) distinct += tips.size() - (id == 10 ? 2 : 0);
    EXPECT_GE(distinct, 15u);
}

TEST_F(AllModules, HelpFilesHaveAnAnchorForEveryContextNumber) {
    std::map<KQAID, std::set<int32_t>> contexts;
    for (const char* machine : {"desktop", "laptop"}) {
        RunMachine(machine);
        ForEachEntry([&](CKQTreeEntry* e, KQAID id) {
            for (const CAttr& a : e->m_attrs) contexts[id].insert(a.m_type);
        });
    }
    for (const auto& [id, tips] : kTipIDs)
        for (int32_t t : tips) contexts[id].insert(t);
    for (const auto& [id, numbers] : contexts) {
        const fs::path help = fs::path(QUILLON_BIN_DIR) / (kNames.at(id) + ".HLP");
        const std::string html = Read(help);
        ASSERT_FALSE(html.empty()) << help;
        EXPECT_NE(html.find("<a name=\"0\">"), std::string::npos) << help;
        EXPECT_EQ(html.find("@KQA_"), std::string::npos) << help;
        for (int32_t n : numbers) {
            EXPECT_NE(n, 0) << kNames.at(id) << ": an attribute without a type word";
            EXPECT_NE(html.find("<a name=\"" + std::to_string(n) + "\">"), std::string::npos)
                << help << " lacks context " << n;
        }
    }
}

namespace {

std::string Escaped(const std::string& s) {
    std::string out;
    for (char c : s)
        out += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
    return out;
}

}  // namespace

// The help cannot drift from the texts the program shows: both come from one table per module.
TEST_F(AllModules, HelpCarriesEachModulesOwnTextsUnderItsTitle) {
    std::vector<std::pair<std::string, const kqa::ModuleHelp*>> modules = {
        {sys::kModule.name, &sys::Help()},     {cpu::kModule.name, &cpu::Help()},
        {mem::kModule.name, &mem::Help()},     {disk::kModule.name, &disk::Help()},
#ifdef KQA_TEST_QT
        {video::kModule.name, &video::Help()},
#endif
    };
    for (const auto& [name, help] : modules) {
        const std::string html = Read(fs::path(QUILLON_BIN_DIR) / (name + ".HLP"));
        ASSERT_FALSE(html.empty()) << name;
        EXPECT_EQ(std::string(help->title), name);
        EXPECT_NE(html.find("<h1><a name=\"0\">" + name + "</a></h1>"), std::string::npos) << name;
        EXPECT_NE(html.find(help->introHtml), std::string::npos) << name;
        for (const auto& a : help->texts.Attrs())
            EXPECT_NE(html.find("<a name=\"" + std::to_string(a.type) + "\">" + Escaped(a.id) +
                                "</a></h3>\n<p>" + Escaped(a.description) + "</p>"),
                      std::string::npos)
                << name << " " << a.type;
        for (const auto& t : help->texts.Tips())
            EXPECT_NE(html.find("<a name=\"" + std::to_string(t.textID) + "\">" + Escaped(t.text) +
                                "</a>"),
                      std::string::npos)
                << name << " " << t.textID;
        // Measuring modules explain their conditions; System measures nothing.
        const bool conditions = html.find("<a name=\"901\">") != std::string::npos;
        EXPECT_EQ(conditions, name != "System") << name;
    }
}

TEST_F(AllModules, DefinitionsResolveAndChartsNameTheirUnits) {
    RunMachine("desktop");
    const std::string sysid = doc->CurrentSysid();
    ASSERT_FALSE(sysid.empty());
    int charts = 0, reports = 0;
    for (KQAID id : {10, 20, 30}) {
        CKQTreeEntry* b = Branch(id);
        for (int i = 0; i < b->GetRepDefCount(); ++i) {
            const CRepDef* def = b->GetRepDefPtr(i);
            if (def->GetType() == RDTYPE_CHART) {
                ++charts;
                const std::string units = def->GetAttrValue("Units");
                EXPECT_FALSE(units.empty()) << def->GetName();
                for (const CRepItem& item : def->m_items) {
                    EXPECT_EQ(item.m_kqaid, id);
                    std::string value;
                    ASSERT_TRUE(doc->LookupValue(sysid, item.m_text, value)) << item.m_text;
                    // Charts read the leading number; its unit is the chart's.
                    EXPECT_TRUE(std::regex_match(
                        value, std::regex("-?[0-9]+(\\.[0-9]+)? " +
                                          std::regex_replace(units, std::regex("[/.]"), "\\$&"))))
                        << def->GetName() << ": " << item.m_text << " = " << value;
                }
            } else if (def->GetType() == RDTYPE_REPORT && def->GetName() != "Highlights" &&
                       def->GetName() != "All Details") {
                ++reports;
                int found = 0;
                for (const CRepItem& item : def->m_items) {
                    std::string value;
                    if (doc->LookupValue(sysid, item.m_text, value)) ++found;
                }
                // Nearly every item has a value on this machine (a few need hardware it lacks).
                EXPECT_GE(found * 10, def->GetItemCount() * 8) << def->GetName();
            }
        }
    }
    EXPECT_GE(charts, 6);
    EXPECT_EQ(reports, 3);
    // The Highlights report gathers what the modules flagged.
    CKQTreeEntry* top = doc->SystemTree().GetHead();
    const CRepDef* highlights = top->GetRepDefPtr(doc->HighlightsIndex());
    ASSERT_NE(highlights, nullptr);
    std::set<std::string> items;
    for (const CRepItem& it : highlights->m_items) items.insert(it.m_text);
    EXPECT_TRUE(items.count("Processor~CPU Model"));
    EXPECT_TRUE(items.count("Memory Bandwidth~Triad Bandwidth"));
    EXPECT_TRUE(items.count("CPU Integer Test~Integer All Threads"));
}

// The progress window shows the title and the tree shows the name: they read the same.
TEST_F(AllModules, TitlesReadAsTheTreeShowsEachBranch) {
    UseMachine("desktop");
    std::vector<std::string> names = {"System", "CPU", "Memory", "Disk"};
#ifdef KQA_TEST_QT
    names.push_back("Video");
#endif
    Load(names);
    ASSERT_EQ(doc->Analyzers().GetCount(), static_cast<int>(names.size()));
    for (KQAID id : {10, 20, 30, 40}) {
        CAnalyzer* a = doc->Analyzers().FindByID(id);
        ASSERT_NE(a, nullptr) << id;
        EXPECT_EQ(a->m_info.m_title, a->GetName());
        EXPECT_EQ(Branch(id)->GetKey(), a->m_info.m_title);
    }
}

#ifdef KQA_TEST_QT
TEST_F(AllModules, BitmapsLiveInTheModulesOwnResources) {
    UseMachine("desktop");
    LoadAll();
    for (KQAID id : {10, 20, 30}) {
        CAnalyzer* a = doc->Analyzers().FindByID(id);
        ASSERT_NE(a, nullptr);
        const QString path = QString(":/kqa/%1/%2.png")
                                 .arg(QString::fromStdString(a->GetName()))
                                 .arg(a->m_info.m_bitmap);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        EXPECT_EQ(f.read(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
    }
}
#endif
