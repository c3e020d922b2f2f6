// The disk tests: sequential write and read, then random 4 KiB reads, on a temporary file.
#pragma once

#include <optional>
#include <string>

#include "KQAModule.h"

struct DiskBenchPlan {
    long long fileBytes = 0;  // 0: not enough room to test
    bool shrunk = false;      // smaller than wanted for want of free space
};

// Sizes the test file: the wanted size, but never more than half the space available to the
// program, in whole segments. Files below one segment make no test.
DiskBenchPlan PlanTestFile(long long wantedBytes, long long availBytes, long long segmentBytes);

struct DiskBenchResult {
    bool directIO = false;   // O_DIRECT accepted for the whole run
    std::string directNote;  // why not, when not
    long long fileBytes = 0;
    bool shrunk = false;
    long long availBytes = -1;                            // space available before the test
    std::optional<double> writeMBs, readMBs, randomIOPS;  // medians of the repetitions
    double writeSpread = 0, readSpread = 0, randomSpread = 0;
    int units = 0;  // progress messages sent, one per unit of work
    int segmentsWritten = 0, segmentsRead = 0, randomBatches = 0;  // units of work done
    double seconds = 0;
    std::string error;  // set when the test could not run at all
};

class CDiskBench {
public:
    // Segment: the unit of sequential work between two progress messages.
    static constexpr long long kBlock = 1 << 20;
    static constexpr long long kSegment = 4 << 20;
    static constexpr int kRandomBatch = 32;  // 4 KiB reads between two progress messages
    static constexpr int kReps = 5;

    // probe (may be null) is sampled between repetitions.
    CDiskBench(std::string directory, kqa::CProgress& progress,
               kqa::CConditionsProbe* probe = nullptr)
        : m_dir(std::move(directory)), m_progress(progress), m_probe(probe) {}

    // Progress positions: warm-up and writing 0-45, reading 45-90, random reads 91-100.
    // Writes, reads and removes "<directory>/.Quillon-disktest.<pid>.tmp", always a new file;
    // an empty directory runs no test. scale shortens the time spent and the file (tests); 1 is
    // the normal run of about 6 s.
    DiskBenchResult Run(double scale);

private:
    // One progress message at fraction (0..1) of the current phase; false once cancelled.
    bool Unit(double fraction);
    std::string m_dir;
    kqa::CProgress& m_progress;
    kqa::CConditionsProbe* m_probe;
    DiskBenchResult m_r;
    double m_start = 0;
};
