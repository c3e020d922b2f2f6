// The Memory module (analyzer 30) in the real host, on fixture machines.
#include <string>

#include "plugins/Memory/MemoryInfo.h"
#include "tests/plugins/MeasuredFigures.h"
#include "tests/plugins/PluginFixture.h"

using namespace plugintest;

namespace {

class MemoryModule : public ModuleTest {
protected:
    void LoadMemory() { Load({"System", "Memory"}); }
    // An SMBIOS memory device record of the given size (MB), type and speeds (MT/s).
    static std::string Dimm(unsigned mb, unsigned type, unsigned rated, unsigned configured) {
        std::string d(0x54, '\0');
        d[0] = 17;
        d[1] = 0x54;
        d[0x0C] = static_cast<char>(mb & 0xFF);
        d[0x0D] = static_cast<char>(mb >> 8);
        d[0x12] = static_cast<char>(type);
        d[0x15] = static_cast<char>(rated & 0xFF);
        d[0x16] = static_cast<char>(rated >> 8);
        d[0x20] = static_cast<char>(configured & 0xFF);
        d[0x21] = static_cast<char>(configured >> 8);
        return d + std::string("DIMM\0\0", 6);
    }
};

}  // namespace

TEST_F(MemoryModule, DescribesTheDesktopMemory) {
    UseMachine("desktop");
    setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1);
    LoadMemory();
    EXPECT_EQ(Value(30, "Memory Size", "Total Memory"), "3812 MiB");
    EXPECT_EQ(Value(30, "Memory Size", "Available Memory"), "293 MiB");
    EXPECT_EQ(Value(30, "Memory Size", "Available Share"), "8 %");
    EXPECT_EQ(Value(30, "Memory Size", "Cached Memory"), "264 MiB");
    EXPECT_EQ(Value(30, "Memory Size", "Desktop Needs"), "4096 MiB");
    EXPECT_EQ(Value(30, "Swap", "Swap Total"), "2048 MiB");
    EXPECT_EQ(Value(30, "Swap", "Swap Used"), "1462 MiB");
    EXPECT_EQ(Value(30, "Swap", "Swap Use"), "71 %");
    EXPECT_EQ(Value(30, "Swap", "Swappiness"), "60");
    EXPECT_EQ(Value(30, "Swap", "Swap Devices"), "/dev/sda3 (partition)");
    EXPECT_EQ(Value(30, "Swap", "Compressed Swap"), "none");
    EXPECT_EQ(Value(30, "Swap", "Zswap"), "disabled");
    EXPECT_EQ(Value(30, "Huge Pages", "Transparent Huge Pages"), "madvise");
    EXPECT_EQ(Value(30, "Huge Pages", "Huge Page Size"), "2048 KiB");
    EXPECT_EQ(Value(30, "Memory Devices", "Memory Modules"), "2");  // the empty slot is left out
    EXPECT_EQ(Value(30, "Memory Devices", "Module Sizes"), "2 x 2048 MiB");
    EXPECT_EQ(Value(30, "Memory Devices", "Memory Type"), "DDR4");
    EXPECT_EQ(Value(30, "Memory Devices", "Rated Speed"), "2400 MT/s");
    EXPECT_EQ(Value(30, "Memory Devices", "Configured Speed"), "2133 MT/s");
    EXPECT_EQ(Value(30, "Memory Devices", "Channel Peak"), "17064 MB/s");
    CKQTreeEntry* size = Sub(Branch(30), "Memory Size");
    EXPECT_EQ(size->GetAttr(size->FindAttr("Total Memory"))->m_data, 5u);
}

TEST_F(MemoryModule, DescribesTheLaptopMemory) {
    UseMachine("laptop");
    LoadMemory();
    EXPECT_EQ(Value(30, "Memory Size", "Total Memory"), "31188 MiB");
    EXPECT_FALSE(Has(30, "Memory Size", "Desktop Needs"));  // no desktop session
    EXPECT_EQ(Value(30, "Swap", "Swappiness"), "180");
    EXPECT_EQ(Value(30, "Swap", "Compressed Swap"), "zram0 8192 MiB zstd");
    EXPECT_EQ(Value(30, "Huge Pages", "Transparent Huge Pages"), "always");
    EXPECT_EQ(Value(30, "Memory Devices", "Memory Type"), "LPDDR5");
    EXPECT_EQ(Value(30, "Memory Devices", "Module Sizes"), "2 x 16384 MiB");
    EXPECT_EQ(Value(30, "Memory Devices", "Configured Speed"), "6400 MT/s");
}

TEST_F(MemoryModule, MissingOrUnreadableFilesLeaveTheirAttributesOut) {
    UseMachine("desktop");
    MakeUnreadable("/proc/meminfo");
    Remove("/sys/firmware/dmi");
    Remove("/proc/swaps");
    Load({"Memory"});
    ASSERT_NE(Branch(30), nullptr);
    EXPECT_FALSE(Has(30, "Memory Size", "Total Memory"));
    EXPECT_FALSE(Has(30, "Swap", "Swap Total"));
    EXPECT_FALSE(Has(30, "Swap", "Swap Devices"));
    EXPECT_EQ(Sub(Branch(30), "Memory Devices"), nullptr);
    EXPECT_EQ(Value(30, "Swap", "Swappiness"), "60");
    int cancel = 0;
    CAnalyzer* a = doc->Analyzers().FindByID(30);
    EXPECT_TRUE(a->RunTests(cancel));  // the tests still run
    EXPECT_TRUE(Has(30, "Memory Bandwidth", "Copy Bandwidth"));
    doc->RegenTips();
    EXPECT_FALSE(Raised(30, mem::TIP_LOW_AVAILABLE));
}

TEST_F(MemoryModule, TipsRaisedAndNotRaised) {
    UseMachine("desktop");
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    LoadMemory();
    doc->RegenTips();
    ASSERT_TRUE(Raised(30, mem::TIP_SWAP_HEAVY));
    EXPECT_EQ(Tips(30, mem::TIP_SWAP_HEAVY)[0].m_descID % 100000, 71);
    EXPECT_TRUE(Raised(30, mem::TIP_DESKTOP_MEMORY));
    ASSERT_TRUE(Raised(30, mem::TIP_LOW_AVAILABLE));
    EXPECT_EQ(Tips(30, mem::TIP_LOW_AVAILABLE)[0].m_priority, 75);
    EXPECT_TRUE(Raised(30, mem::TIP_BELOW_RATED));
    EXPECT_FALSE(Raised(30, mem::TIP_NO_SWAP));
    EXPECT_FALSE(Raised(30, mem::TIP_SWAPPINESS));
    CTip swap = Tips(30, mem::TIP_SWAP_HEAVY)[0];
    CString desc;
    doc->TipDesc(30, &swap, desc);
    EXPECT_NE(desc.find("71 % of the swap space"), std::string::npos) << desc;

    NewDocument();
    setenv("XDG_CURRENT_DESKTOP", "XFCE", 1);
    Write("/proc/meminfo",
          "MemTotal: 3903456 kB\nMemAvailable: 160000 kB\nSwapTotal: 0 kB\nSwapFree: 0 kB\n");
    Write("/proc/sys/vm/swappiness", "100\n");
    Write("/sys/firmware/dmi/entries/17-0/raw", Dimm(2048, 0x1A, 2400, 2400));
    Write("/sys/firmware/dmi/entries/17-1/raw", Dimm(2048, 0x1A, 2400, 2400));
    LoadMemory();
    doc->RegenTips();
    EXPECT_FALSE(Raised(30, mem::TIP_SWAP_HEAVY));
    EXPECT_FALSE(Raised(30, mem::TIP_DESKTOP_MEMORY));  // XFCE fits into 3.8 GB
    EXPECT_TRUE(Raised(30, mem::TIP_NO_SWAP));
    EXPECT_FALSE(Raised(30, mem::TIP_SWAPPINESS));  // no swap to tend to
    ASSERT_TRUE(Raised(30, mem::TIP_LOW_AVAILABLE));
    EXPECT_EQ(Tips(30, mem::TIP_LOW_AVAILABLE)[0].m_priority, 85);  // 4 %: critical
    EXPECT_FALSE(Raised(30, mem::TIP_BELOW_RATED));

    NewDocument();
    Write("/proc/meminfo",
          "MemTotal: 3903456 kB\nMemAvailable: 2000000 kB\nSwapTotal: 2097148 kB\nSwapFree: "
          "2000000 kB\n");
    LoadMemory();
    doc->RegenTips();
    EXPECT_TRUE(Raised(30, mem::TIP_SWAPPINESS));
    EXPECT_EQ(Tips(30, mem::TIP_SWAPPINESS)[0].m_descID % 100000, 100);
    EXPECT_FALSE(Raised(30, mem::TIP_NO_SWAP));
    EXPECT_FALSE(Raised(30, mem::TIP_LOW_AVAILABLE));

    NewDocument();
    UseMachine("laptop");
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    LoadMemory();
    doc->RegenTips();
    for (int32_t id : {mem::TIP_SWAP_HEAVY, mem::TIP_DESKTOP_MEMORY, mem::TIP_NO_SWAP,
                       mem::TIP_SWAPPINESS, mem::TIP_LOW_AVAILABLE, mem::TIP_BELOW_RATED})
        EXPECT_FALSE(Raised(30, id)) << id;  // swappiness 180 suits zram
}

TEST_F(MemoryModule, RunMeasuresBandwidthAndLatencyWithTheirConditions) {
    UseMachine("laptop");
    LoadMemory();
    doc->RunAllTests();
    CKQTreeEntry* bw = Sub(Branch(30), "Memory Bandwidth");
    ASSERT_NE(bw, nullptr);
    for (const char* k :
         {"Copy Bandwidth", "Scale Bandwidth", "Add Bandwidth", "Triad Bandwidth"}) {
        const std::string v = bw->GetAttrValue(k);
        EXPECT_GT(std::atof(v.c_str()), 100) << k << " = " << v;
        EXPECT_EQ(v.substr(v.find(' ')), " MB/s");
    }
    EXPECT_EQ(bw->GetAttr(bw->FindAttr("Triad Bandwidth"))->m_data, 5u | DATA_MEASURED);
    EXPECT_EQ(MeasuredFigures(bw),
              (std::map<std::string, uint32_t>{{"Copy Bandwidth", kMeasured},
                                               {"Scale Bandwidth", kMeasured},
                                               {"Add Bandwidth", kMeasured},
                                               {"Triad Bandwidth", kMeasured}}));
    EXPECT_EQ(bw->GetAttrValue("Governor"), "performance");
    EXPECT_EQ(bw->GetAttrValue("Boost"), "on");
    CKQTreeEntry* lat = Sub(Branch(30), "Memory Latency");
    ASSERT_NE(lat, nullptr);
    double previous = 0;
    for (long kib : mem::kLatencySetsKiB) {
        const std::string v = lat->GetAttrValue(mem::LatencyName(kib));
        EXPECT_EQ(v.substr(v.find(' ')), " ns") << v;
        const double ns = std::atof(v.c_str());
        EXPECT_GT(ns, 0.1);
        previous = ns;
    }
    (void)previous;
    std::map<std::string, uint32_t> latencies;
    for (long kib : {16, 256, 131072}) latencies[mem::LatencyName(kib)] = kLowerBetter;
    EXPECT_EQ(MeasuredFigures(lat), latencies);  // not the sets in the shared cache
    EXPECT_EQ(lat->GetAttr(lat->FindAttr("Latency 2 MiB"))->m_data, DATA_NUMERIC);
    EXPECT_GE(lat->FindAttr("Latency 2 MiB Spread"), 0);
    EXPECT_EQ(lat->GetAttrValue("Module Version"), "2.0");
#ifndef __SANITIZE_ADDRESS__
    // Triad at its in-cache speed is far above a third of a 6400 MT/s channel; instrumented
    // builds are too slow for that comparison to mean anything.
    EXPECT_FALSE(Raised(30, mem::TIP_SLOW_BANDWIDTH));
#endif
}

TEST_F(MemoryModule, ArraysOutgrowTheCacheEvenWhenTheMachineHidesIt) {
    // The test runs at a hundredth of the work, so the arrays are a hundredth of their size.
    auto arrayMiB = [&] {
        NewDocument();
        LoadMemory();
        doc->RunAllTests();
        return Value(30, "Memory Bandwidth", "Array Size");
    };
    UseMachine("laptop");
    Write("/proc/meminfo", "MemTotal: 134217728 kB\nMemAvailable: 100663296 kB\n");
    Write("/sys/devices/system/cpu/cpu0/cache/index3/size", "32768K");
    EXPECT_EQ(arrayMiB(), "1.3 MiB");  // four times a 32 MiB cache
    Remove("/sys/devices/system/cpu/cpu0/cache");
    EXPECT_EQ(arrayMiB(), "5.1 MiB");  // four times the 128 MiB a hidden cache is taken for
    // Never more than an eighth of the available memory for the three arrays.
    Write("/proc/meminfo", "MemTotal: 4194304 kB\nMemAvailable: 2097152 kB\n");
    EXPECT_EQ(arrayMiB(), "0.9 MiB");
}

TEST_F(MemoryModule, BandwidthFarBelowTheMemoryTypeRaisesItsTip) {
    UseMachine("laptop");
    // A channel of 65000 MT/s would move 520 GB/s: no machine reaches a third of that.
    Write("/sys/firmware/dmi/entries/17-0/raw", Dimm(16384, 0x22, 65000, 65000));
    Write("/sys/firmware/dmi/entries/17-1/raw", Dimm(16384, 0x22, 65000, 65000));
    LoadMemory();
    EXPECT_EQ(Value(30, "Memory Devices", "Channel Peak"), "520000 MB/s");
    doc->RunAllTests();
    ASSERT_TRUE(Raised(30, mem::TIP_SLOW_BANDWIDTH));
    CTip t = Tips(30, mem::TIP_SLOW_BANDWIDTH)[0];
    EXPECT_LT(t.m_descID % 100000, 35);
    CString desc;
    doc->TipDesc(30, &t, desc);
    EXPECT_NE(desc.find("reached only"), std::string::npos);
}

TEST_F(MemoryModule, ProgressFollowsEveryPassAndCancelStopsAtOnce) {
    UseMachine("desktop");
    LoadMemory();
    doc->RunAllTests();
    // 7 passes of 4 kernels, then per working set a calibration and 4 repetitions.
    EXPECT_GE(view.progressCount, 7 * 4 + 5 * 5);
    // Run This Test on the latency entry runs the latency test alone.
    Sub(Branch(30), "Memory Latency")->RemoveAllAttrs();
    Sub(Branch(30), "Memory Bandwidth")->RemoveAllAttrs();
    ASSERT_EQ(doc->RunOneTest(30, Sub(Branch(30), "Memory Latency")), 1);
    EXPECT_TRUE(Has(30, "Memory Latency", "Latency 16 KiB"));
    EXPECT_FALSE(Has(30, "Memory Bandwidth", "Copy Bandwidth"));

    NewDocument();
    LoadMemory();
    view.progressCount = 0;
    view.onProgress = [&](int n) {
        if (n == 10 && frame.progressCancel) *frame.progressCancel = 1;
    };
    doc->RunAllTests();
    EXPECT_EQ(view.progressCount, 10);  // not one pass after Cancel
    EXPECT_FALSE(Has(30, "Memory Bandwidth", "Copy Bandwidth"));
    EXPECT_EQ(Sub(Branch(30), "Memory Latency"), nullptr);
}
