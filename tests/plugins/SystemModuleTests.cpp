// The System module (analyzer 10) in the real host, on fixture machines.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <regex>
#include <set>

#include "document/DocReportSource.h"
#include "plugins/System/SystemInfo.h"
#include "reports/ReportCompiler.h"
#include "tests/plugins/PluginFixture.h"

using namespace plugintest;

namespace {

class SystemModule : public ModuleTest {};

std::string SysID(CQuillo95Doc& doc) {
    CKQTreeEntry* top = doc.SystemTree().GetHead();
    return top && top->GetAttrCount() > 0 ? top->GetAttrValue(0) : "";
}

// The local time as the module writes it, read before and after an action.
std::string LocalMinute() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

}  // namespace

TEST_F(SystemModule, OwnsTheTopEntryWithTheIdentifierAndTheStatusNotes) {
    UseMachine("desktop");
    LoadAll();
    CKQTreeEntry* top = doc->SystemTree().GetHead();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->GetKey(), "System");
    EXPECT_EQ(top->m_kqaid, 10);
    ASSERT_GE(top->GetAttrCount(), 2);
    EXPECT_EQ(top->GetAttrID(0), "System ID");
    const std::string id = top->GetAttrValue(0);
    EXPECT_LE(id.size(), 22u);
    EXPECT_TRUE(std::regex_match(id, std::regex("L[0-9a-f]{20}"))) << id;
    EXPECT_EQ(top->GetAttrID(1), "Description");
    CAnalyzer* a = doc->Analyzers().FindByID(10);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->m_info.m_extra, "Description");
    EXPECT_EQ(a->m_info.m_flags[0] & KQA_FLAG_PROPERTIES, KQA_FLAG_PROPERTIES);
    EXPECT_EQ(a->m_info.m_version, 101);
    EXPECT_TRUE(a->HasEntryPoint(KQA_DOPROPERTIESUI));
    // The other analyzers are children of the top entry.
    EXPECT_NE(Sub(top, "CPU"), nullptr);
    EXPECT_NE(Sub(top, "Memory"), nullptr);

    // The host put the note for a system not yet analysed; the module has its texts.
    ASSERT_EQ(top->GetTipCount(), 1);
    EXPECT_EQ(top->GetTip(0)->m_textID, 1101);
    CString text, desc;
    doc->TipText(10, top->GetTip(0), text);
    doc->TipDesc(10, top->GetTip(0), desc);
    EXPECT_EQ(text, "This system has not been analyzed yet");
    EXPECT_NE(desc.find("Analyze Now"), std::string::npos);

    doc->RunAllTests();
    bool analysed = false;
    for (const CTip& t : top->m_tips) {
        EXPECT_NE(t.m_textID, 1101);
        if (t.m_textID == 1102) {
            analysed = true;
            CString t2;
            doc->TipText(10, const_cast<CTip*>(&t), t2);
            EXPECT_EQ(t2, "This system has been analyzed");
        }
    }
    EXPECT_TRUE(analysed);
    // The reports name systems by the description.
    std::string value;
    EXPECT_TRUE(doc->LookupValue(id, "Description", value));
    EXPECT_EQ(value, "Dell Inc. OptiPlex 7050");
}

TEST_F(SystemModule, FillsItsBranchFromTwoDifferentMachines) {
    UseMachine("desktop");
    Load({"System"});
    EXPECT_EQ(Value(10, "", "Description"), "Dell Inc. OptiPlex 7050");
    EXPECT_EQ(Value(10, "Operating System", "Distribution"), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(Value(10, "Operating System", "Distribution ID"), "debian");
    EXPECT_EQ(Value(10, "Operating System", "Kernel"), "6.1.0-18-amd64");
    EXPECT_EQ(Value(10, "Operating System", "Architecture"), "x86_64");
    EXPECT_EQ(Value(10, "Operating System", "Init System"), "systemd");
    EXPECT_EQ(Value(10, "Operating System", "Time Zone"), "Europe/Berlin");
    EXPECT_EQ(Value(10, "Operating System", "Newest Installed Kernel"), "6.1.0-21-amd64");
    EXPECT_EQ(Value(10, "Machine", "Machine Vendor"), "Dell Inc.");
    EXPECT_EQ(Value(10, "Machine", "Chassis"), "Desktop");
    EXPECT_FALSE(Has(10, "Machine", "Machine Version"));  // "Not Specified" is no version
    EXPECT_EQ(Value(10, "Machine", "Virtual Machine"), "no");
    EXPECT_EQ(Value(10, "Firmware", "Firmware Version"), "1.8.3");
    EXPECT_EQ(Value(10, "Firmware", "Boot Mode"), "BIOS");
    EXPECT_FALSE(Has(10, "Firmware", "Secure Boot"));
    EXPECT_EQ(Value(10, "Session", "Uptime"), "342.9 h");
    EXPECT_EQ(
        Sub(Branch(10), "Session")->GetAttr(Sub(Branch(10), "Session")->FindAttr("Uptime"))->m_data,
        1u);

    NewDocument();
    UseMachine("laptop");
    setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
    Load({"System"});
    EXPECT_EQ(Value(10, "", "Description"), "LENOVO ThinkPad T14s Gen 3");
    EXPECT_EQ(Value(10, "Operating System", "Distribution"), "Ubuntu 22.04.4 LTS");
    EXPECT_EQ(Value(10, "Machine", "Chassis"), "Notebook");
    EXPECT_EQ(Value(10, "Machine", "Machine Version"), "ThinkPad T14s Gen 3");
    EXPECT_EQ(Value(10, "Firmware", "Boot Mode"), "UEFI");
    EXPECT_EQ(Value(10, "Firmware", "Secure Boot"), "enabled");
    EXPECT_EQ(Value(10, "Session", "Desktop Session"), "KDE");
    EXPECT_EQ(Value(10, "Operating System", "Reboot Required"), "no");
    // Highlights for the Summary pane.
    CKQTreeEntry* os = Sub(Branch(10), "Operating System");
    EXPECT_EQ(os->GetAttr(os->FindAttr("Distribution"))->m_data & 4u, 4u);
}

TEST_F(SystemModule, IdentifierIsStableAcrossLoadsAndDiffersBetweenMachines) {
    UseMachine("desktop");
    Load({"System"});
    const std::string first = SysID(*doc);
    NewDocument();
    Load({"System"});
    EXPECT_EQ(SysID(*doc), first);
    NewDocument();
    UseMachine("laptop");
    Load({"System"});
    const std::string laptop = SysID(*doc);
    EXPECT_NE(laptop, first);
    // Another machine-id is another machine even with the same hardware.
    NewDocument();
    Write("/etc/machine-id", "00000000000000000000000000000001\n");
    Load({"System"});
    EXPECT_NE(SysID(*doc), laptop);
    // Nothing unique readable: still an identifier, from the hardware description.
    NewDocument();
    Remove("/etc/machine-id");
    Remove("/sys/class/dmi/id/product_uuid");
    Load({"System"});
    EXPECT_TRUE(std::regex_match(SysID(*doc), std::regex("L[0-9a-f]{20}")));
}

TEST_F(SystemModule, NoPrivateValueReachesAnyAttribute) {
    for (const char* machine : {"desktop", "laptop"}) {
        NewDocument();
        UseMachine(machine);
        const fs::path root = Root();
        const std::string machineId = Read(root / "etc/machine-id").substr(0, 32);
        const std::string uuid = Read(root / "sys/class/dmi/id/product_uuid").substr(0, 36);
        const std::string host =
            Read(root / "etc/hostname").substr(0, Read(root / "etc/hostname").find('\n'));
        Write("/proc/swaps",
              "Filename Type Size Used Priority\n/home/" + host + "/swapfile file 1024 0 -2\n");
        LoadAll();
        doc->RunAllTests();
        int attrs = 0;
        ForEachEntry([&](CKQTreeEntry* e, KQAID) {
            for (const CAttr& a : e->m_attrs) {
                ++attrs;
                for (const std::string& secret :
                     {machineId, uuid, host, std::string("SERIAL123456"), std::string("PART-NO")})
                    EXPECT_EQ(a.m_value.find(secret), std::string::npos)
                        << machine << ": " << a.m_id << " = " << a.m_value;
            }
        });
        EXPECT_GT(attrs, 60);
        EXPECT_EQ(Value(30, "Swap", "Swap Devices"), "~/swapfile (file)");
    }
}

TEST_F(SystemModule, TipsAreRaisedByWhatTheMachineShows) {
    UseMachine("desktop");
    Load({"System"});
    doc->RegenTips();
    // deskbox is in neither /etc/hosts nor served by nss-myhostname; a newer kernel waits.
    ASSERT_TRUE(Raised(10, sys::TIP_HOST_UNRESOLVED));
    ASSERT_TRUE(Raised(10, sys::TIP_REBOOT_PENDING));
    EXPECT_EQ(Tips(10, sys::TIP_REBOOT_PENDING)[0].m_priority, 55);
    EXPECT_EQ(Tips(10, sys::TIP_REBOOT_PENDING)[0].m_descID % 100000, 14);  // days up
    CString desc;
    CTip tip = Tips(10, sys::TIP_REBOOT_PENDING)[0];
    doc->TipDesc(10, &tip, desc);
    EXPECT_NE(desc.find("up 14 days"), std::string::npos) << desc;

    NewDocument();
    Write("/etc/hosts", "127.0.0.1 localhost\n127.0.1.1 deskbox.lan deskbox\n");
    Remove("/lib/modules/6.1.0-21-amd64");
    Load({"System"});
    doc->RegenTips();
    EXPECT_FALSE(Raised(10, sys::TIP_HOST_UNRESOLVED));
    EXPECT_FALSE(Raised(10, sys::TIP_REBOOT_PENDING));

    NewDocument();
    Write("/etc/hosts", "127.0.0.1 localhost\n");
    Write("/etc/nsswitch.conf", "hosts: files myhostname dns\n");
    Write("/run/reboot-required", "*** System restart required ***\n");
    Load({"System"});
    doc->RegenTips();
    EXPECT_FALSE(Raised(10, sys::TIP_HOST_UNRESOLVED));
    EXPECT_TRUE(Raised(10, sys::TIP_REBOOT_PENDING));

    NewDocument();
    UseMachine("laptop");
    Load({"System"});
    doc->RegenTips();
    EXPECT_FALSE(Raised(10, sys::TIP_HOST_UNRESOLVED));
    EXPECT_FALSE(Raised(10, sys::TIP_REBOOT_PENDING));
}

TEST_F(SystemModule, MissingOrUnreadableFilesLeaveTheirAttributesOut) {
    UseMachine("desktop");
    Remove("/etc/os-release");
    MakeUnreadable("/proc/sys/kernel/osrelease");
    Remove("/sys/class/dmi");
    Remove("/proc/uptime");
    Load({"System"});
    ASSERT_NE(Branch(10), nullptr);
    EXPECT_FALSE(Has(10, "Operating System", "Distribution"));
    EXPECT_FALSE(Has(10, "Operating System", "Kernel"));
    EXPECT_FALSE(Has(10, "Operating System", "Reboot Required"));
    EXPECT_FALSE(Has(10, "Machine", "Machine Vendor"));
    EXPECT_FALSE(Has(10, "Session", "Uptime"));
    EXPECT_EQ(Value(10, "Operating System", "Architecture"), "x86_64");
    EXPECT_EQ(Value(10, "", "Description"), "Linux computer");
    EXPECT_FALSE(SysID(*doc).empty());
}

// A host without a graphical application (unattended): nobody to ask, so the stored
// description stays and the properties count as confirmed.
TEST_F(SystemModule, PropertiesWithoutAnApplicationKeepTheDescriptionAndConfirm) {
    UseMachine("desktop");
    Load({"System"});
    const std::string before = Value(10, "", "Description");
    EXPECT_TRUE(doc->AnalyzerProperties(10));
    CAnalyzer* a = doc->Analyzers().FindByID(10);
    EXPECT_EQ(a->m_lastRC, KQARC_OK);
    EXPECT_EQ(Value(10, "", "Description"), before);
    CKQTreeEntry record("System");
    record.SetAttr("System ID", "Lx", 0, 0);
    record.SetAttr("Description", "Old box", 0, 0);
    EXPECT_TRUE(a->DoPropertiesUI(&record));
    EXPECT_EQ(record.GetAttrValue("Description"), "Old box");
}

TEST_F(SystemModule, TheUsersDescriptionIsKeptForTheNextStart) {
    UseMachine("laptop");
    Load({"System"});
    // What the properties dialog does, then the program saves and ends.
    Branch(10)->SetAttr("Description", "Anna's travel laptop", sys::T_DESCRIPTION, 0);
    doc->RefreshCurrentResults(true);
    ASSERT_TRUE(doc->OnSaveDocument(app.DatabasePath()));
    NewDocument();
    ASSERT_TRUE(doc->OnOpenDocument(app.DatabasePath()));
    Load({"System"});
    EXPECT_EQ(Value(10, "", "Description"), "Anna's travel laptop");
    // A new database knows no description: the default again.
    NewDocument();
    Load({"System"});
    EXPECT_EQ(Value(10, "", "Description"), "LENOVO ThinkPad T14s Gen 3");
}

namespace {

std::string FirstAttributeOf(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("System ID=", 0) == 0) {
            line = line.substr(10);
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
            return line;
        }
    return "";
}

}  // namespace

// Six machines compared as a user would: the desktop, a snapshot of it, a laptop without any
// tip, a server whose integer figure is missing, and two machines from files that carry no
// measuring time. Every report says which machine is which and shows only what each has.
TEST_F(SystemModule, SixMachinesAreToldApartAndShowOnlyWhatEachHas) {
    UseMachine("disk-sparse");
    const bool video = fs::exists(fs::path(QUILLON_BIN_DIR) / "Video.kqa");
    if (video)
        Load({"System", "CPU", "Memory", "Disk", "Video"});
    else
        Load({"System", "CPU", "Memory", "Disk"});
    const std::vector<std::string> files = {"desktop",     "desktop-snapshot", "laptop",
                                            "disk-server", "video-vm",         "disk-desktop"};
    std::vector<int32_t> keys;
    std::vector<std::string> sysids;
    for (const std::string& f : files) {
        const std::string path = std::string(KQA_FIXTURES) + "/exchange/" + f + ".kqx";
        doc->ImportFile(path);
        sysids.push_back(FirstAttributeOf(path));
        keys.push_back(doc->KeyForSysid(sysids.back()));
        ASSERT_GT(keys.back(), 0) << f;
    }
    doc->OnSelectionCaptured(keys);

    // Every report of the modules begins with the item that names a system; charts do not
    // have it (they chart every line).
    const std::string naming = doc->Analyzers().FindByID(10)->m_info.m_extra;
    int reports = 0;
    for (const CAnalyzer* a : doc->Analyzers().Ordered())
        for (const CRepDef& def : a->m_branch->m_repDefs) {
            ASSERT_GT(def.GetItemCount(), 0) << def.GetName();
            if (def.m_type == RDTYPE_REPORT) {
                EXPECT_EQ(def.m_items[0].m_text, naming) << def.GetName();
                ++reports;
            }
            for (size_t i = def.m_type == RDTYPE_REPORT ? 1 : 0; i < def.m_items.size(); ++i)
                EXPECT_NE(def.m_items[i].m_text, naming) << def.GetName() << " item " << i;
        }
    EXPECT_GE(reports, 7);  // three of the host's, four or more of the modules'

    CDocReportSource source(*doc);
    CReportCompiler compiler(source);
    auto compile = [&](const std::string& name, std::vector<std::string>& lines) {
        lines.clear();
        for (const CRepDef* def : ReportDefsOfType(doc->Analyzers(), RDTYPE_REPORT))
            if (def->GetName() == name)
                for (const CRepItem& item : def->m_items) lines.push_back(item.m_text);
        CReportTable t;
        EXPECT_TRUE(compiler.Compile(lines, keys, t)) << name;
        return t;
    };
    // Equal descriptions add the time measured, then the identifier where that is still equal.
    const std::vector<std::string> headers = {
        "Description",
        "Dell Inc. OptiPlex 7050 (2026-12-01 10:00, " + sysids[0] + ")",
        "Dell Inc. OptiPlex 7050 (2026-12-01 10:00, " + sysids[1] + ")",
        "LENOVO ThinkPad T14s Gen 3",
        "Linux computer (2026-11-20 08:15)",
        "Linux computer (" + sysids[4] + ")",
        "Linux computer (" + sysids[5] + ")"};
    std::vector<std::string> lines;
    for (const CRepDef* def : ReportDefsOfType(doc->Analyzers(), RDTYPE_REPORT)) {
        const CReportTable t = compile(def->GetName(), lines);
        EXPECT_EQ(t.m_headers, headers) << def->GetName();
        for (size_t r = 1; r < lines.size(); ++r) EXPECT_NE(lines[r], naming) << def->GetName();
    }

    // A value a machine does not have leaves its cell empty.
    CReportTable t = compile("CPU Details", lines);
    const auto row = [&](const std::string& caption) {
        for (int r = 0; r < t.RowCount(); ++r)
            if (t.m_cells[size_t(r)][0] == caption) return size_t(r);
        ADD_FAILURE() << "no row " << caption;
        return size_t(0);
    };
    EXPECT_EQ(t.m_cells[row("Processor Cores")],
              (std::vector<std::string>{"Processor Cores", "4", "4", "8", "", "", ""}));
    const std::vector<std::string>& single = t.m_cells[row("CPU Integer Test Single-Thread")];
    EXPECT_EQ(single[4], "");
    for (size_t k : {1u, 2u, 3u, 5u, 6u}) EXPECT_NE(single[k], "") << k;

    // Tips: one row per distinct tip of the analyzers loaded, captioned with its text; a cell
    // shows the priority where that machine has the tip.
    t = compile("Tips", lines);
    std::set<std::pair<int, int>> distinct;
    for (const std::string& f : files) {
        std::ifstream in(std::string(KQA_FIXTURES) + "/exchange/" + f + ".kqx");
        std::string line;
        while (std::getline(in, line)) {
            int priority = 0, text = 0, desc = 0;
            if (std::sscanf(line.c_str(), "<Tip>=%d %d %d", &priority, &text, &desc) == 3 &&
                priority > 0 && (video || text / 1000 != 5))
                distinct.emplace(text, desc);
        }
    }
    ASSERT_EQ(size_t(t.RowCount()), distinct.size());
    for (int r = 0; r < t.RowCount(); ++r) {
        const std::vector<std::string>& cells = t.m_cells[size_t(r)];
        EXPECT_FALSE(cells[0].empty());
        EXPECT_EQ(cells[0].find('^'), std::string::npos) << cells[0];
        EXPECT_EQ(cells[3], "") << cells[0];        // the laptop has no tips
        EXPECT_EQ(cells[1], cells[2]) << cells[0];  // the snapshot has the desktop's
        EXPECT_NE(std::count(cells.begin() + 1, cells.end(), ""), 6) << cells[0];
    }
    const auto tipRow = [&](const std::string& reference) {
        for (size_t r = 1; r < lines.size(); ++r)
            if (lines[r].size() >= reference.size() &&
                lines[r].compare(lines[r].size() - reference.size(), reference.size(), reference) ==
                    0)
                return t.m_cells[r - 1];
        ADD_FAILURE() << "no tip " << reference;
        return std::vector<std::string>(7);
    };
    EXPECT_EQ(tipRow("^20 2104 210400001"),
              (std::vector<std::string>{tipRow("^20 2104 210400001")[0], "Medium 60", "Medium 60",
                                        "", "", "", ""}));
    EXPECT_EQ(tipRow("^40 4101 410100098")[6], "High 85");
    EXPECT_EQ(tipRow("^40 4101 410100098")[4], "");

    // "All Details" names the systems once, in its first line.
    compile("All Details", lines);
    EXPECT_EQ(lines[0], naming);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), naming), 1);

    // "Highlights": the naming item first, then each highlight once, none from the stored copy
    // of this machine under its record's name.
    compile("Highlights", lines);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], naming);
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()).size(), lines.size());
    for (const std::string& l : lines) EXPECT_NE(l.rfind("System~", 0), 0u) << l;
}

// "Measured" dates a record's figures: written at load (the stored time of this system's
// figures when there is one), replaced by every run; with the description it is a highlight,
// so the Summary and the database list (its first columns) show which machine and when.
TEST_F(SystemModule, MeasuredDatesTheFiguresAndNamesTheRecordWithTheDescription) {
    UseMachine("laptop");
    const std::string before = LocalMinute();
    Load({"System"});
    CKQTreeEntry* top = Branch(10);
    ASSERT_GE(top->GetAttrCount(), 3);
    EXPECT_EQ(top->GetAttrID(2), "Measured");
    const std::string first = top->GetAttrValue(2);
    EXPECT_TRUE(std::regex_match(first, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d)"))) << first;
    EXPECT_GE(first, before);
    EXPECT_LE(first, LocalMinute());
    for (int i : {1, 2}) EXPECT_EQ(top->GetAttr(i)->m_data, 4u) << top->GetAttrID(i);
    EXPECT_EQ(top->GetAttr(0)->m_data & 4u, 0u);
    std::string value;
    doc->RefreshCurrentResults(false);
    EXPECT_TRUE(doc->LookupValue(SysID(*doc), sys::kMeasuredPath, value));
    EXPECT_EQ(value, first);
    CDbColumns columns;
    doc->ChooseColumns(columns);
    ASSERT_GE(columns.GetCount(), 2);
    EXPECT_EQ(columns.m_keys[0], "System~Description");
    EXPECT_EQ(columns.m_keys[1], "System~Measured");
    EXPECT_EQ(columns.m_captions[1], "Measured");

    // The next start keeps the time of the stored figures; a run dates them anew.
    top->SetAttr("Measured", "2001-02-03 04:05", sys::T_MEASURED, 4);
    doc->RefreshCurrentResults(true);
    ASSERT_TRUE(doc->OnSaveDocument(app.DatabasePath()));
    NewDocument();
    ASSERT_TRUE(doc->OnOpenDocument(app.DatabasePath()));
    Load({"System"});
    EXPECT_EQ(Value(10, "", "Measured"), "2001-02-03 04:05");
    const std::string beforeRun = LocalMinute();
    doc->RunAllTests();
    EXPECT_GE(Value(10, "", "Measured"), beforeRun);
    EXPECT_EQ(Branch(10)->GetAttrID(2), "Measured");
    EXPECT_TRUE(doc->LookupValue(SysID(*doc), "Measured", value));
    EXPECT_EQ(value, Value(10, "", "Measured"));
}
