// The CPU module (analyzer 20) in the real host, on fixture machines.
#include "plugins/CPU/CPUInfo.h"
#include "tests/plugins/MeasuredFigures.h"
#include "tests/plugins/PluginFixture.h"

using namespace plugintest;

namespace {

class CPUModule : public ModuleTest {
protected:
    void LoadCPU() { Load({"System", "CPU"}); }
};

}  // namespace

TEST_F(CPUModule, DescribesTheDesktopProcessor) {
    UseMachine("desktop");
    LoadCPU();
    EXPECT_EQ(Value(20, "Processor", "CPU Model"), "Intel(R) Core(TM) i5-7500 CPU @ 3.40GHz");
    EXPECT_EQ(Value(20, "Processor", "CPU Vendor"), "GenuineIntel");
    EXPECT_EQ(Value(20, "Processor", "CPU Signature"), "family 6, model 158, stepping 9");
    EXPECT_EQ(Value(20, "Processor", "Sockets"), "1");
    EXPECT_EQ(Value(20, "Processor", "Cores"), "4");
    EXPECT_EQ(Value(20, "Processor", "Threads"), "4");
    EXPECT_EQ(Value(20, "Processor", "Threads per Core"), "1");
    EXPECT_EQ(Value(20, "Processor", "CPUs Usable"), "4");
    EXPECT_EQ(Value(20, "Processor", "Base Clock"), "3400 MHz");
    EXPECT_EQ(Value(20, "Processor", "Maximum Clock"), "3800 MHz");
    EXPECT_EQ(Value(20, "Processor", "Minimum Clock"), "800 MHz");
    EXPECT_EQ(Value(20, "CPU Caches", "L1 Data Cache"), "32 KiB");
    EXPECT_EQ(Value(20, "CPU Caches", "L2 Cache"), "256 KiB");
    EXPECT_EQ(Value(20, "CPU Caches", "L3 Cache"), "6144 KiB");
    EXPECT_EQ(Value(20, "Instruction Set", "Instruction Set Level"), "x86-64-v3");
    EXPECT_EQ(Value(20, "Instruction Set", "SIMD Extensions"),
              "SSE2 SSE3 SSSE3 SSE4.1 SSE4.2 AVX AVX2 FMA");
    EXPECT_EQ(Value(20, "Instruction Set", "Hardware Virtualization"), "VT-x");
    EXPECT_EQ(Value(20, "Instruction Set", "Microcode Package"), "intel-microcode not installed");
    EXPECT_EQ(Value(20, "Frequency Scaling", "CPU Governor"), "powersave");
    EXPECT_EQ(Value(20, "Frequency Scaling", "Scaling Driver"), "intel_pstate");
    EXPECT_EQ(Value(20, "Frequency Scaling", "CPU Boost"), "off");
    EXPECT_EQ(Value(20, "Frequency Scaling", "Power Supply"),
              "AC");  // the mouse battery does not count
    EXPECT_EQ(Value(20, "CPU Security", "Retbleed"), "Vulnerable: eIBRS with unprivileged eBPF");
    EXPECT_EQ(Value(20, "CPU Security", "Vulnerable Count"), "1");
    EXPECT_EQ(Value(20, "CPU Security", "Mitigations"), "auto");
    EXPECT_EQ(Value(20, "CPU Load", "Load Average"), "0.20 0.15 0.10");
    EXPECT_EQ(Value(20, "CPU Load", "Tasks"), "300");
    CKQTreeEntry* p = Sub(Branch(20), "Processor");
    EXPECT_EQ(p->GetAttr(p->FindAttr("Cores"))->m_data, 5u);
    EXPECT_EQ(p->GetAttr(p->FindAttr("Cores"))->m_type, cpu::T_CORES);
}

TEST_F(CPUModule, DescribesTheLaptopProcessor) {
    UseMachine("laptop");
    LoadCPU();
    EXPECT_EQ(Value(20, "Processor", "CPU Model"), "AMD Ryzen 7 PRO 6850U with Radeon Graphics");
    EXPECT_EQ(Value(20, "Processor", "Cores"), "8");
    EXPECT_EQ(Value(20, "Processor", "Threads"), "16");
    EXPECT_EQ(Value(20, "Processor", "Threads per Core"), "2");
    EXPECT_EQ(Value(20, "Processor", "Maximum Clock"), "4768 MHz");
    EXPECT_FALSE(Has(20, "Processor", "Base Clock"));
    EXPECT_EQ(Value(20, "Processor", "Current Clock"), "4000 MHz");
    EXPECT_EQ(Value(20, "CPU Caches", "L3 Cache"), "16384 KiB");
    EXPECT_EQ(Value(20, "Instruction Set", "Hardware Virtualization"), "AMD-V");
    EXPECT_EQ(Value(20, "Instruction Set", "Microcode Package"), "amd64-microcode installed");
    EXPECT_EQ(Value(20, "Frequency Scaling", "CPU Boost"), "on");
    EXPECT_EQ(Value(20, "Frequency Scaling", "Power Supply"), "AC");
    EXPECT_EQ(Value(20, "CPU Security", "Vulnerable Count"), "0");
    EXPECT_EQ(Value(20, "CPU Security", "Srbds"), "Mitigation: safe RET");
}

TEST_F(CPUModule, TheClockChartChartsClocksALaptopWithoutABaseClockHas) {
    UseMachine("laptop");
    LoadCPU();
    CKQTreeEntry* branch = Branch(20);
    const CRepDef* chart = nullptr;
    for (int i = 0; i < branch->GetRepDefCount(); ++i)
        if (branch->GetRepDefPtr(i)->GetName() == "CPU Clock") chart = branch->GetRepDefPtr(i);
    ASSERT_TRUE(chart);
    EXPECT_EQ(chart->GetType(), RDTYPE_CHART);
    ASSERT_GE(chart->GetItemCount(), 1);
    EXPECT_EQ(chart->m_items[0].m_text, "Processor~Current Clock");
    for (const CRepItem& item : chart->m_items) {
        const size_t sep = item.m_text.find('~');
        ASSERT_NE(sep, std::string::npos);
        EXPECT_TRUE(Has(20, item.m_text.substr(0, sep), item.m_text.substr(sep + 1)))
            << item.m_text;
    }
}

TEST_F(CPUModule, MissingOrUnreadableFilesLeaveTheirAttributesOut) {
    UseMachine("desktop");
    Remove("/proc/cpuinfo");
    MakeUnreadable("/sys/devices/system/cpu/cpu0/cpufreq/scaling_governor");
    Remove("/sys/devices/system/cpu/vulnerabilities");
    Load({"CPU"});
    ASSERT_NE(Branch(20), nullptr);
    EXPECT_FALSE(Has(20, "Processor", "CPU Model"));
    EXPECT_FALSE(Has(20, "Frequency Scaling", "CPU Governor"));
    EXPECT_FALSE(Has(20, "CPU Security", "Vulnerable Count"));
    EXPECT_EQ(Value(20, "Processor", "Threads"), "4");  // from the online list
    EXPECT_EQ(Value(20, "Processor", "Cores"), "4");    // from the topology
    doc->RegenTips();
    EXPECT_FALSE(Raised(20, cpu::TIP_GOVERNOR));
}

TEST_F(CPUModule, SettingTipsRaisedAndNotRaised) {
    UseMachine("desktop");
    LoadCPU();
    doc->RegenTips();
    EXPECT_TRUE(Raised(20, cpu::TIP_GOVERNOR));
    EXPECT_EQ(Tips(20, cpu::TIP_GOVERNOR)[0].m_descID, 2101 * 100000 + 3800);
    EXPECT_TRUE(Raised(20, cpu::TIP_BOOST_OFF));
    EXPECT_TRUE(Raised(20, cpu::TIP_VULNERABLE));
    EXPECT_TRUE(Raised(20, cpu::TIP_NO_MICROCODE));
    EXPECT_FALSE(Raised(20, cpu::TIP_BUSY));
    EXPECT_FALSE(Raised(20, cpu::TIP_THROTTLED));
    CTip governor = Tips(20, cpu::TIP_GOVERNOR)[0];
    CString desc;
    doc->TipDesc(20, &governor, desc);
    EXPECT_NE(desc.find("up to 3800 MHz"), std::string::npos) << desc;
    EXPECT_NE(desc.find("cpupower frequency-set -g performance"), std::string::npos);

    NewDocument();
    for (int c = 0; c < 4; ++c)
        Write("/sys/devices/system/cpu/cpu" + std::to_string(c) + "/cpufreq/scaling_governor",
              "performance\n");
    Write("/sys/devices/system/cpu/intel_pstate/no_turbo", "0\n");
    Write("/sys/devices/system/cpu/vulnerabilities/retbleed", "Mitigation: Enhanced IBRS\n");
    Write("/var/lib/dpkg/status", "Package: intel-microcode\nStatus: install ok installed\n\n");
    Write("/proc/loadavg", "3.60 3.00 2.00 5/300 1\n");
    LoadCPU();
    doc->RegenTips();
    EXPECT_FALSE(Raised(20, cpu::TIP_GOVERNOR));
    EXPECT_FALSE(Raised(20, cpu::TIP_BOOST_OFF));
    EXPECT_FALSE(Raised(20, cpu::TIP_VULNERABLE));
    EXPECT_FALSE(Raised(20, cpu::TIP_NO_MICROCODE));
    ASSERT_TRUE(Raised(20, cpu::TIP_BUSY));  // 3.6 of 4 CPUs busy
    EXPECT_EQ(Tips(20, cpu::TIP_BUSY)[0].m_descID % 100000, 90);

    // On battery a saving governor is right.
    NewDocument();
    UseMachine("laptop");
    for (int c = 0; c < 16; ++c)
        Write("/sys/devices/system/cpu/cpu" + std::to_string(c) + "/cpufreq/scaling_governor",
              "powersave\n");
    Write("/sys/class/power_supply/AC/online", "0\n");
    Write("/proc/cmdline", "BOOT_IMAGE=/vmlinuz ro mitigations=off\n");
    LoadCPU();
    doc->RegenTips();
    EXPECT_EQ(Value(20, "Frequency Scaling", "Power Supply"), "battery");
    EXPECT_FALSE(Raised(20, cpu::TIP_GOVERNOR));
    ASSERT_TRUE(Raised(20, cpu::TIP_VULNERABLE));  // mitigations turned off
    EXPECT_EQ(Tips(20, cpu::TIP_VULNERABLE)[0].m_priority, 65);
    EXPECT_FALSE(Raised(20, cpu::TIP_BOOST_OFF));
    EXPECT_FALSE(Raised(20, cpu::TIP_NO_MICROCODE));
    EXPECT_FALSE(Raised(20, cpu::TIP_BUSY));  // 2.5 of 16
}

TEST_F(CPUModule, RunMeasuresBothTestsWithTheirConditions) {
    UseMachine("desktop");
    LoadCPU();
    doc->RunAllTests();
    for (const char* test : {"CPU Integer Test", "CPU Float Test"}) {
        CKQTreeEntry* e = Sub(Branch(20), test);
        ASSERT_NE(e, nullptr) << test;
        const bool integer = std::string(test) == "CPU Integer Test";
        const std::string unit = integer ? " Mop/s" : " MFLOP/s";
        const std::string single =
            e->GetAttrValue(integer ? "Integer Single-Thread" : "Float Single-Thread");
        const std::string multi =
            e->GetAttrValue(integer ? "Integer All Threads" : "Float All Threads");
        EXPECT_GT(std::atof(single.c_str()), 10) << single;
        EXPECT_GT(std::atof(multi.c_str()), 10) << multi;
        EXPECT_EQ(single.substr(single.find(' ')), unit);
        EXPECT_EQ(e->GetAttr(0)->m_data, 5u | DATA_MEASURED);
        // The three figures, and nothing else of the test (conditions, thread count).
        const std::string what = integer ? "Integer" : "Float";
        EXPECT_EQ(MeasuredFigures(e),
                  (std::map<std::string, uint32_t>{{what + " Single-Thread", kMeasured},
                                                   {what + " All Threads", kMeasured},
                                                   {what + " Scaling", kMeasured}}));
        EXPECT_GE(std::atoi(e->GetAttrValue("Threads Used").c_str()), 1);
        EXPECT_EQ(e->GetAttrValue("Governor"), "powersave");
        EXPECT_EQ(e->GetAttrValue("Boost"), "off");
        EXPECT_EQ(e->GetAttrValue("Power Source"), "AC");
        EXPECT_EQ(e->GetAttrValue("Throttled"), "no");
        EXPECT_EQ(e->GetAttrValue("Module Version"), "1.3");
        EXPECT_EQ(e->GetAttrValue("Load Before"),
                  "0.20");  // the fixture's /proc/stat does not move
        EXPECT_EQ(e->GetAttrValue("Work Scale"), "0.0100");
    }
    EXPECT_FALSE(Raised(20, cpu::TIP_THROTTLED));
    // Run This Test on one test entry runs that test alone.
    Sub(Branch(20), "CPU Integer Test")->RemoveAllAttrs();
    Sub(Branch(20), "CPU Float Test")->RemoveAllAttrs();
    const int before = view.progressCount;
    ASSERT_EQ(doc->RunOneTest(20, Sub(Branch(20), "CPU Float Test")), 1);
    EXPECT_TRUE(Has(20, "CPU Float Test", "Float Single-Thread"));
    EXPECT_FALSE(Has(20, "CPU Integer Test", "Integer Single-Thread"));
    EXPECT_GE(view.progressCount - before, 12);
}

TEST_F(CPUModule, AClockThatFallsDuringTheTestRaisesTheThrottleTip) {
    UseMachine("desktop");
    LoadCPU();
    // The clock drops while the test runs (written between repetitions).
    view.onProgress = [this](int n) {
        if (n == 3)
            for (int c = 0; c < 4; ++c)
                Write(
                    "/sys/devices/system/cpu/cpu" + std::to_string(c) + "/cpufreq/scaling_cur_freq",
                    "1900000\n");
    };
    doc->RunAllTests();
    EXPECT_EQ(Value(20, "CPU Integer Test", "Throttled"), "yes (down to 1900 MHz)");
    ASSERT_TRUE(Raised(20, cpu::TIP_THROTTLED));
    CTip t = Tips(20, cpu::TIP_THROTTLED)[0];
    EXPECT_EQ(t.m_priority, 80);
    CString desc;
    doc->TipDesc(20, &t, desc);
    EXPECT_NE(desc.find("down to 1900 MHz"), std::string::npos) << desc;
}

TEST_F(CPUModule, PoorScalingIsJudgedFromTheStoredFigures) {
    UseMachine("desktop");
    LoadCPU();
    doc->RunAllTests();
    CKQTreeEntry* e = Sub(Branch(20), "CPU Integer Test");
    ASSERT_NE(e, nullptr);
    e->SetAttr("Threads Used", "4", cpu::T_THREADS_USED, 1);
    e->SetAttr("Integer Scaling", "1.60 x", cpu::T_INT_SCALING, 1);
    doc->RegenTips();
    ASSERT_TRUE(Raised(20, cpu::TIP_POOR_SCALING));
    EXPECT_EQ(Tips(20, cpu::TIP_POOR_SCALING)[0].m_descID % 100000, 40);
    e->SetAttr("Integer Scaling", "3.80 x", cpu::T_INT_SCALING, 1);
    doc->RegenTips();
    EXPECT_FALSE(Raised(20, cpu::TIP_POOR_SCALING));
    e->SetAttr("Threads Used", "1", cpu::T_THREADS_USED, 1);
    e->SetAttr("Integer Scaling", "0.50 x", cpu::T_INT_SCALING, 1);
    doc->RegenTips();
    EXPECT_FALSE(Raised(20, cpu::TIP_POOR_SCALING));  // one thread cannot scale
}

TEST_F(CPUModule, ProgressFollowsEveryRepetitionAndCancelStopsAtOnce) {
    UseMachine("laptop");
    LoadCPU();
    doc->RunAllTests();
    // Two tests, each calibrated, then one warm-up and five repetitions on one thread and on
    // all threads: a message after every unit of work, never a stretch without one.
    const int full = view.progressCount;
    EXPECT_GE(full, 2 * (1 + 2 * 6));

    NewDocument();
    LoadCPU();
    view.progressCount = 0;
    int seenAtCancel = -1;
    view.onProgress = [&](int n) {
        if (n == 9 && frame.progressCancel) {
            *frame.progressCancel = 1;
            seenAtCancel = n;
        }
    };
    doc->RunAllTests();
    EXPECT_EQ(seenAtCancel, 9);
    EXPECT_EQ(view.progressCount, 9);  // not one message (or repetition) after Cancel
    EXPECT_FALSE(Has(20, "CPU Integer Test", "Integer Single-Thread"));
    EXPECT_FALSE(Has(20, "CPU Float Test", "Float Single-Thread"));
    // A cancelled run generates no tips.
    EXPECT_FALSE(Raised(20, cpu::TIP_GOVERNOR));
    EXPECT_EQ(frame.status.back(), "Testing cancelled");
}
