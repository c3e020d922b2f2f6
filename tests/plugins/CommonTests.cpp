// The modules' shared helpers: reading through the root directory, values, texts, progress.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "KQAModule.h"

namespace fs = std::filesystem;
using namespace kqa;

namespace {

class RootTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "kqaroot XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        root = tmpl;
        setenv("QUILLON_SYSROOT", (root.string() + "/").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("QUILLON_SYSROOT");
        SetPrivateNames({});
        fs::remove_all(root);
    }
    void Put(const std::string& abs, const std::string& text) {
        fs::path p = root / abs.substr(1);
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
    fs::path root;
};

class RecordingView : public CWnd {
public:
    intptr_t SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        if (message == UM_ANALYZERPROGRESS) {
            positions.push_back(static_cast<int>(lParam));
            if (cancelAfter > 0 && static_cast<int>(positions.size()) >= cancelAfter && cancel)
                *cancel = 1;
        } else if (message == UM_ANALYZERLOG) {
            logs.emplace_back(std::to_string(wParam) + ":" + reinterpret_cast<const char*>(lParam));
        }
        return 1;
    }
    std::vector<int> positions;
    std::vector<std::string> logs;
    int cancelAfter = 0;
    int* cancel = nullptr;
};

}  // namespace

TEST_F(RootTest, FilesAreReadThroughTheRootDirectory) {
    Put("/proc/meminfo", "MemTotal:  1024 kB\nMemFree: 10 kB\n");
    Put("/sys/x/number", "  42 \n");
    Put("/sys/x/empty", "\n");
    Put("/etc/list/b", "");
    Put("/etc/list/a", "");
    EXPECT_EQ(RootPath("/proc/meminfo"), root.string() + "/proc/meminfo");
    ASSERT_TRUE(ReadFile("/proc/meminfo"));
    EXPECT_EQ(ParseKeyValue(*ReadFile("/proc/meminfo"), ':')["MemTotal"], "1024 kB");
    EXPECT_EQ(ReadInt("/sys/x/number"), 42);
    EXPECT_FALSE(ReadLine("/sys/x/empty"));
    EXPECT_FALSE(ReadFile("/proc/nothing"));
    // A directory where a file should be is unreadable, not an empty file.
    EXPECT_FALSE(ReadFile("/etc/list"));
    EXPECT_TRUE(IsDirectory("/etc/list"));
    EXPECT_EQ(ListDir("/etc/list"), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(ListDir("/no/such").empty());
}

TEST_F(RootTest, MountTableDecodesEscapesAndFallsBack) {
    Put("/etc/mtab", "/dev/sdb1 /media/my\\040disk ext4 rw,noatime 0 0\nbad line\n");
    auto mounts = ReadMounts();  // no /proc/self/mounts in this root
    ASSERT_EQ(mounts.size(), 1u);
    EXPECT_EQ(mounts[0].mountPoint, "/media/my disk");
    EXPECT_EQ(mounts[0].options, "rw,noatime");
    Put("/proc/self/mounts", "proc /proc proc rw 0 0\n");
    EXPECT_EQ(ReadMounts().at(0).fsType, "proc");
}

TEST(Parsing, KeyValuesBlocksAndCpuLists) {
    auto kv = ParseKeyValue(
        "NAME=\"Debian GNU/Linux\"\nID=debian\n# comment=x\nID=other\nnoequals\n", '=');
    EXPECT_EQ(kv["NAME"], "Debian GNU/Linux");
    EXPECT_EQ(kv["ID"], "debian");  // the first wins
    EXPECT_EQ(kv.count("# comment"), 0u);
    auto blocks = ParseBlocks("processor : 0\nflags : a b\n\n\nprocessor : 1\n\n", ':');
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1]["processor"], "1");
    EXPECT_EQ(ParseCpuList("0-3,6,8-9").size(), 7u);
    EXPECT_EQ(ParseCpuList("5"), std::vector<int>{5});
    EXPECT_TRUE(ParseCpuList("3-1").empty());
    EXPECT_TRUE(ParseCpuList("x").empty());
    EXPECT_TRUE(ParseCpuList("").empty());
}

TEST(Values, NumbersCarryOneFixedUnitAndTheDataWord) {
    CKQTreeEntry e("E");
    SetNumber(&e, "Copy", 16776.4, 0, "MB/s", 3040, true);
    SetNumber(&e, "Ratio", 1.955, 2, "x", 3041);
    SetNumber(&e, "Count", -0.0001, 0, "", 3042);
    EXPECT_EQ(e.GetAttrValue("Copy"), "16776 MB/s");
    EXPECT_EQ(e.GetAttr(0)->m_data, DATA_NUMERIC | DATA_HIGHLIGHT);
    EXPECT_EQ(e.GetAttr(0)->m_type, 3040);
    EXPECT_EQ(e.GetAttr(1)->m_data, DATA_NUMERIC);
    EXPECT_EQ(e.GetAttrValue("Count"), "0");
    EXPECT_EQ(*LeadingNumber("12.5 MB/s"), 12.5);
    EXPECT_FALSE(LeadingNumber("unknown"));
    // A very large value keeps its unit, never rescaled.
    SetNumber(&e, "Copy", 1234567, 0, "MB/s", 3040, true);
    EXPECT_EQ(e.GetAttrValue("Copy"), "1234567 MB/s");
    EXPECT_EQ(e.GetAttrCount(), 3);
}

TEST(Values, AMeasuredFigureCarriesItsHistoryBitsAndItsSpreadBeside) {
    CKQTreeEntry e("E");
    SetMeasured(&e, "Triad", 16776.4, 0, "MB/s", 3040, 0.04249, false, true);
    SetMeasured(&e, "Latency", 82.31, 1, "ns", 3041, 0.1, true);
    EXPECT_EQ(e.GetAttrValue("Triad"), "16776 MB/s");
    EXPECT_EQ(e.GetAttr(e.FindAttr("Triad"))->m_data,
              DATA_NUMERIC | DATA_HIGHLIGHT | DATA_MEASURED);
    EXPECT_EQ(e.GetAttr(e.FindAttr("Latency"))->m_data,
              DATA_NUMERIC | DATA_MEASURED | DATA_LOWER_BETTER);
    // Percent with one decimal, and no data word: not a figure of its own.
    EXPECT_EQ(e.GetAttrValue("Triad Spread"), "4.2 %");
    EXPECT_EQ(e.GetAttr(e.FindAttr("Triad Spread"))->m_data, 0u);
    EXPECT_EQ(e.GetAttr(e.FindAttr("Triad Spread"))->m_type, TYPE_COND_SPREAD);
    EXPECT_EQ(e.GetAttrValue("Latency Spread"), "10.0 %");
    // A second run replaces both, and a spread that cannot be one reads 0.
    SetMeasured(&e, "Triad", 15000, 0, "MB/s", 3040, std::nan(""), false, true);
    EXPECT_EQ(e.GetAttrValue("Triad Spread"), "0.0 %");
    SetSpread(&e, "Triad", -1);
    EXPECT_EQ(e.GetAttrValue("Triad Spread"), "0.0 %");
    EXPECT_EQ(e.GetAttrCount(), 4);
    // Records keep no type word: the description is found by the name's ending.
    CTextRegistry r;
    AddConditionAttrs(r);
    CAttr stored = *e.GetAttr(e.FindAttr("Latency Spread"));
    stored.m_type = 0;
    CString desc;
    EXPECT_EQ(r.AttrDesc(&stored, desc), KQARC_OK);
    EXPECT_NE(desc.find("repetitions"), std::string::npos);
    stored.m_id = "Spread";  // not a spread of anything
    EXPECT_EQ(r.AttrDesc(&stored, desc), KQARC_FAIL);
}

TEST(Values, HomePathsAreShownFromTilde) {
    setenv("HOME", "/home/alice", 1);
    EXPECT_EQ(HomeTilde("/home/alice/data/f"), "~/data/f");
    EXPECT_EQ(HomeTilde("/home/alice"), "~");
    EXPECT_EQ(HomeTilde("/home/bob/x"), "~/x");  // another user's name does not leak either
    EXPECT_EQ(HomeTilde("/root/swapfile"), "~/swapfile");
    EXPECT_EQ(HomeTilde("/homework/x"), "/homework/x");
    EXPECT_EQ(HomeTilde("/swapfile"), "/swapfile");
}

TEST_F(RootTest, PrivateNamesAndAddressesAreScrubbed) {
    SetPrivateNames({"deskbox.example.org", "deskbox", "alice"});
    EXPECT_EQ(ScrubPrivate("Owner alice on deskbox"), "Owner (hidden) on (hidden)");
    EXPECT_EQ(ScrubPrivate("DESKBOX.example.org up"), "(hidden) up");
    EXPECT_EQ(ScrubPrivate("mydeskbox alicex"), "mydeskbox alicex");
    EXPECT_EQ(ScrubPrivate("eth0 aa:bb:cc:dd:ee:0f ok"), "eth0 (hidden) ok");
    EXPECT_EQ(ScrubPrivate("1:2:3 ab-cd-ef-01-23-45"), "1:2:3 (hidden)");
    CKQTreeEntry e("E");
    SetText(&e, "Name", "alice", 1);
    EXPECT_EQ(e.GetAttrValue("Name"), "(hidden)");
    // Without an override the names come from the machine, through the root.
    SetPrivateNames({});
    Put("/proc/sys/kernel/hostname", "fixturehost\n");
    EXPECT_EQ(ScrubPrivate("fixturehost"), "(hidden)");
}

namespace {
std::string Pct(int32_t f) { return std::to_string(f) + " %"; }
const TipTextDef kTestTips[] = {
    {3101, "Swap heavy", "Use is %1, change it.", &Pct},
    {3102, "Plain", "Value %1.", nullptr},
    {1101, "Note", "Not analysed.", nullptr, 1201},
};
const AttrDescDef kTestAttrs[] = {{3001, "Total Memory", "Total."}, {3002, "Free", "Free."}};
}  // namespace

TEST(Texts, FoundFromTheIDsAloneWithTheirFigure) {
    CTextRegistry r;
    r.AddTips(kTestTips);
    r.AddAttrs(kTestAttrs);
    EXPECT_EQ(TipDescID(3101, 93), 310100093);
    EXPECT_EQ(TipDescID(3101, -5), 310100000);
    EXPECT_EQ(TipDescID(3101, 1234567), 310199999);
    CString text;
    CTip tip(0, 3101, TipDescID(3101, 93));
    EXPECT_EQ(r.TipText(&tip, text), KQARC_OK);
    EXPECT_EQ(text, "Swap heavy");
    EXPECT_EQ(r.TipDesc(&tip, text), KQARC_OK);
    EXPECT_EQ(text, "Use is 93 %, change it.");
    CTip plain(0, 3102, TipDescID(3102, 7));
    r.TipDesc(&plain, text);
    EXPECT_EQ(text, "Value 7.");
    CTip note(-1, 1101, 1201);
    r.TipDesc(&note, text);
    EXPECT_EQ(text, "Not analysed.");
    // Unknown IDs fail and leave the string alone.
    CString kept = "kept";
    CTip unknown(0, 4242, 1201 + 1);
    EXPECT_EQ(r.TipText(&unknown, kept), KQARC_FAIL);
    EXPECT_EQ(r.TipDesc(&unknown, kept), KQARC_FAIL);
    EXPECT_EQ(kept, "kept");
    EXPECT_EQ(r.TipDesc(nullptr, kept), KQARC_FAIL);

    CAttr byType("Renamed", "1", 3002, 0);
    EXPECT_EQ(r.AttrDesc(&byType, text), KQARC_OK);
    EXPECT_EQ(text, "Free.");
    CAttr fromRecord("Total Memory", "1", 0, 0);  // records keep no type word
    EXPECT_EQ(r.AttrDesc(&fromRecord, text), KQARC_OK);
    EXPECT_EQ(text, "Total.");
    CAttr none("Other", "1", 0, 0);
    EXPECT_EQ(r.AttrDesc(&none, kept), KQARC_FAIL);
}

TEST(Progress, PositionsMapIntoTheSpanAndCancelStops) {
    RecordingView view;
    int cancel = 0;
    CProgress p(&view, 20, cancel);
    p.SetSpan(50, 100);
    EXPECT_TRUE(p.Step(0.5));
    EXPECT_TRUE(p.Step(2.0));
    EXPECT_EQ(view.positions, (std::vector<int>{75, 100}));
    p.Log("hello");
    EXPECT_EQ(view.logs, std::vector<std::string>{"20:hello"});
    cancel = 1;
    EXPECT_FALSE(p.Step(0.9));
    EXPECT_EQ(p.MessagesSent(), 3);
    CProgress silent(nullptr, 20, cancel);
    EXPECT_FALSE(silent.Step(0.1));
    EXPECT_EQ(silent.MessagesSent(), 0);
}

TEST(Progress, RepeatSendsOneMessagePerRepetitionAndStopsAtCancel) {
    RecordingView view;
    int cancel = 0;
    CProgress p(&view, 30, cancel);
    int calls = 0;
    auto t = Repeat(1, 5, p, [&] { return 1.0 + (calls++ % 3); });
    ASSERT_TRUE(t);
    EXPECT_EQ(calls, 6);
    EXPECT_EQ(view.positions.size(), 6u);
    EXPECT_EQ(view.positions.back(), 100);
    EXPECT_EQ(t->samples.size(), 5u);  // the warm-up is not kept
    EXPECT_EQ(t->Best(), 1.0);
    EXPECT_EQ(t->Median(), 2.0);
    EXPECT_DOUBLE_EQ(t->Spread(), 1.0);

    RecordingView v2;
    v2.cancelAfter = 3;
    v2.cancel = &cancel;
    CProgress p2(&v2, 30, cancel);
    calls = 0;
    EXPECT_FALSE(Repeat(1, 5, p2, [&] {
        ++calls;
        return 1.0;
    }));
    EXPECT_EQ(calls, 3);  // no repetition after the message that saw Cancel
}

TEST(Progress, CancelInsideARepetitionSendsNothingMore) {
    RecordingView view;
    int cancel = 0;
    CProgress p(&view, 30, cancel);
    int calls = 0;
    // The repetition's own progress message (the second) sees Cancel.
    EXPECT_FALSE(Repeat(0, 5, p, [&] {
        if (++calls == 2) {
            p.Step(0.3);
            cancel = 1;
        }
        return 1.0;
    }));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(view.positions.size(), 2u);  // the first repetition's and the one inside
}

TEST_F(RootTest, RepeatSamplesTheConditionsAndKeepsToItsBudget) {
    Put("/sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq", "3000000\n");
    RecordingView view;
    int cancel = 0;
    CProgress p(&view, 30, cancel);
    CConditionsProbe probe(100);
    int calls = 0;
    // The clock drops during the second repetition; only sampling between them can see it.
    auto t = Repeat(0, 3, p,
                    [&] {
                        ++calls;
                        Put("/sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq",
                            calls == 2 ? "1500000\n" : "3000000\n");
                        return 0.5;
                    },
                    {&probe, 0});
    ASSERT_TRUE(t);
    EXPECT_DOUBLE_EQ(t->Total(), 1.5);
    Conditions c = probe.Finish();
    EXPECT_TRUE(c.throttled);
    EXPECT_DOUBLE_EQ(c.clockMinMHz, 1500);

    // Past the budget no repetition starts, but one measured repetition always runs.
    calls = 0;
    auto slow = Repeat(1, 7, p,
                       [&] {
                           ++calls;
                           usleep(20000);
                           return 0.02;
                       },
                       {nullptr, 0.03});
    ASSERT_TRUE(slow);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(slow->samples.size(), 1u);
    // A test that stores a spread asks for enough repetitions to have one.
    calls = 0;
    slow = Repeat(1, 7, p,
                  [&] {
                      ++calls;
                      usleep(20000);
                      return 0.02 + 0.001 * calls;
                  },
                  {nullptr, 0.03, true, 3});
    ASSERT_TRUE(slow);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(slow->samples.size(), 3u);
    EXPECT_GT(slow->Spread(), 0);
}

TEST(Progress, ScaleComesFromTheEnvironment) {
    unsetenv("QUILLON_BENCH_SCALE");
    EXPECT_EQ(BenchScale(), 1.0);
    setenv("QUILLON_BENCH_SCALE", "0.01", 1);
    EXPECT_EQ(BenchScale(), 0.01);
    setenv("QUILLON_BENCH_SCALE", "-2", 1);
    EXPECT_EQ(BenchScale(), 1.0);
    setenv("QUILLON_BENCH_SCALE", "fast", 1);
    EXPECT_EQ(BenchScale(), 1.0);
    unsetenv("QUILLON_BENCH_SCALE");
}

TEST_F(RootTest, ConditionsRecordSettingsAndAClockDrop) {
    setenv("QUILLON_BENCH_SCALE", "0.001", 1);
    for (int c = 0; c < 2; ++c)
        Put("/sys/devices/system/cpu/cpu" + std::to_string(c) + "/cpufreq/scaling_cur_freq",
            "3000000\n");
    Put("/sys/devices/system/cpu/cpu0/cpufreq/scaling_governor", "schedutil\n");
    Put("/sys/devices/system/cpu/cpufreq/boost", "0\n");
    Put("/sys/class/power_supply/BAT1/type", "Battery\n");
    Put("/sys/class/power_supply/ADP1/type", "Mains\n");
    Put("/sys/class/power_supply/ADP1/online", "0\n");
    Put("/proc/loadavg", "1.50 1.00 0.50 2/100 1\n");

    CConditionsProbe steady(123);
    steady.Sample();
    Conditions s = steady.Finish();
    EXPECT_EQ(s.governor, "schedutil");
    EXPECT_EQ(s.boost, "off");
    EXPECT_EQ(s.power, "battery");
    EXPECT_DOUBLE_EQ(s.loadBefore, 1.5);  // no /proc/stat: the load average
    EXPECT_DOUBLE_EQ(s.clockBeforeMHz, 3000);
    EXPECT_FALSE(s.throttled);

    CConditionsProbe hot(123);
    Put("/sys/devices/system/cpu/cpu1/cpufreq/scaling_cur_freq", "2000000\n");
    Put("/sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq", "2100000\n");
    hot.Sample();
    Put("/sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq", "3000000\n");
    Conditions h = hot.Finish();
    EXPECT_TRUE(h.throttled);
    EXPECT_DOUBLE_EQ(h.clockMinMHz, 2100);

    CKQTreeEntry e("Test");
    StoreConditions(&e, h);
    EXPECT_EQ(e.GetAttrValue("Governor"), "schedutil");
    EXPECT_EQ(e.GetAttrValue("Throttled"), "yes (down to 2100 MHz)");
    EXPECT_EQ(e.GetAttrValue("Module Version"), "1.23");
    EXPECT_EQ(e.GetAttrValue("Work Scale"), "0.0010");
    // Adapter online, and a mouse battery does not count.
    Put("/sys/class/power_supply/ADP1/online", "1\n");
    EXPECT_EQ(ReadPowerSource(), "AC");
    fs::remove_all(root / "sys/class/power_supply");
    Put("/sys/class/power_supply/mouse/type", "Battery\n");
    Put("/sys/class/power_supply/mouse/scope", "Device\n");
    EXPECT_EQ(ReadPowerSource(), "AC");
    fs::remove_all(root / "sys/class/power_supply");
    EXPECT_EQ(ReadPowerSource(), "");
    unsetenv("QUILLON_BENCH_SCALE");
}

TEST_F(RootTest, BusyCpusComeFromProcStatOverTheWindow) {
    // A static /proc/stat does not move: the load average stands in.
    Put("/proc/stat",
        "cpu  100 0 100 800 0 0 0 0 0 0\ncpu0 50 0 50 400 0 0 0\ncpu1 50 0 50 400 0 0 0\n");
    Put("/proc/loadavg", "0.25 0.1 0.1 1/1 1\n");
    EXPECT_DOUBLE_EQ(SampleBusyCPUs(0.001), 0.25);
}

TEST(Entries, ChildrenAndDefinitions) {
    CKQTreeEntry branch("CPU");
    CKQTreeEntry* a = Child(&branch, "A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Child(&branch, "A"), a);
    EXPECT_EQ(FindChild(&branch, "B"), nullptr);
    a->SetAttr("X", "1", 1, 0);
    EXPECT_EQ(FindAttrDeep(&branch, "X")->m_value, "1");
    AddChart(&branch, "Speed", "MB/s", 20, {"A~X", "A~Y"});
    AddChart(&branch, "Speed", "MB/s", 20, {"A~X"});  // again: replaced, not doubled
    ASSERT_EQ(branch.GetRepDefCount(), 1);
    EXPECT_EQ(branch.GetRepDefPtr(0)->GetType(), RDTYPE_CHART);
    EXPECT_EQ(branch.GetRepDefPtr(0)->GetAttrValue("Units"), "MB/s");
    EXPECT_EQ(branch.GetRepDefPtr(0)->GetItemCount(), 1);
    // A report is headed by the item that names the system, once.
    AddReport(&branch, "Details", 20, {"A~X"});
    AddReport(&branch, "Named", 20, {kSystemNamePath, "A~X"});
    for (int i : {1, 2}) {
        const CRepDef* def = branch.GetRepDefPtr(i);
        EXPECT_EQ(def->GetType(), RDTYPE_REPORT);
        ASSERT_EQ(def->GetItemCount(), 2);
        EXPECT_EQ(def->m_items[0].m_text, kSystemNamePath);
        EXPECT_EQ(def->m_items[0].m_kqaid, 10);
        EXPECT_EQ(def->m_items[1].m_text, "A~X");
        EXPECT_EQ(def->m_items[1].m_kqaid, 20);
    }

    // Empty areas go; one with a tip, or another analyzer's branch, stays.
    Child(Child(&branch, "Empty"), "Empty too");
    Child(&branch, "Tipped")->AddTip(10, 2101, 1);
    Child(&branch, "Other")->m_kqaid = 30;
    RemoveEmptyChildren(&branch);
    EXPECT_EQ(FindChild(&branch, "Empty"), nullptr);
    EXPECT_NE(FindChild(&branch, "A"), nullptr);
    EXPECT_NE(FindChild(&branch, "Tipped"), nullptr);
    EXPECT_NE(FindChild(&branch, "Other"), nullptr);

    // Reading back: numbers, texts, and a sub-entry cleared with all it holds.
    a->SetAttr("Rate", "1520.5 MB/s", 1, 1);
    a->SetAttr("Name", "sda", 1, 0);
    EXPECT_DOUBLE_EQ(Number(a, "Rate"), 1520.5);
    EXPECT_DOUBLE_EQ(Number(a, "Name", -7), -7);
    EXPECT_DOUBLE_EQ(Number(a, "Missing"), -1);
    EXPECT_DOUBLE_EQ(Number(nullptr, "Rate", 3), 3);
    EXPECT_EQ(Text(a, "Name"), "sda");
    EXPECT_EQ(Text(nullptr, "Name"), "");
    ClearChild(&branch, "A");
    EXPECT_EQ(FindChild(&branch, "A"), nullptr);
    ClearChild(&branch, "A");  // nothing left to clear
    ClearChild(nullptr, "A");
}
