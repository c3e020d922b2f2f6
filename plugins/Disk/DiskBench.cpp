#include "DiskBench.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace kqa;

DiskBenchPlan PlanTestFile(long long wantedBytes, long long availBytes, long long segmentBytes) {
    DiskBenchPlan p;
    if (segmentBytes <= 0) return p;
    long long size = std::max(wantedBytes, segmentBytes);
    if (availBytes >= 0 && size > availBytes / 2) {
        size = availBytes / 2;
        p.shrunk = true;
    }
    size -= size % segmentBytes;
    p.fileBytes = size >= segmentBytes ? size : 0;
    return p;
}

namespace {

constexpr long long kWanted = 2048LL << 20;  // largest test file at scale 1
constexpr double kWriteSeconds = 1.7;        // aimed for, at scale 1
constexpr double kPhaseCap = 2.3;            // hard limit per sequential phase
constexpr double kMinPhaseCap = 0.5;         // small scales still cover their whole file
constexpr double kRandomRepSeconds = 0.25;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

bool FullWrite(int fd, const char* buf, long long len, long long off) {
    while (len > 0) {
        ssize_t n = ::pwrite(fd, buf, static_cast<size_t>(len), off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buf += n;
        len -= n;
        off += n;
    }
    return true;
}

bool FullRead(int fd, char* buf, long long len, long long off) {
    while (len > 0) {
        ssize_t n = ::pread(fd, buf, static_cast<size_t>(len), off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buf += n;
        len -= n;
        off += n;
    }
    return true;
}

}  // namespace

bool CDiskBench::Unit(double fraction) {
    ++m_r.units;
    return m_progress.Step(std::min(fraction, 0.99));
}

DiskBenchResult CDiskBench::Run(double scale) {
    m_r = DiskBenchResult();
    m_start = Now();
    scale = std::clamp(scale, 1e-4, 10.0);
    const double writeAim = kWriteSeconds * scale;
    const double phaseCap = std::max(kPhaseCap * scale, kMinPhaseCap);
    const double randomRep = std::max(kRandomRepSeconds * scale, 0.002);
    m_progress.SetSpan(0, 45);
    if (m_dir.empty()) {
        m_r.error = "no private folder for the test file";
        return m_r;
    }

    struct statvfs st {};
    if (::statvfs(m_dir.c_str(), &st) == 0)
        m_r.availBytes = static_cast<long long>(st.f_bavail) * static_cast<long long>(st.f_frsize);
    const long long wanted =
        std::max<long long>(static_cast<long long>(kWanted * scale), kSegment * kReps);
    DiskBenchPlan plan = PlanTestFile(wanted, m_r.availBytes, kSegment);
    if (plan.fileBytes == 0) {
        m_r.error = Format("not enough free space in %s for a test file", HomeTilde(m_dir).c_str());
        return m_r;
    }

    std::unique_ptr<char, FreeDeleter> buf(static_cast<char*>(std::aligned_alloc(4096, kBlock)));
    if (!buf) {
        m_r.error = "out of memory";
        return m_r;
    }
    // Incompressible data, so that drives which compress do not flatter themselves.
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (long long i = 0; i < kBlock; i += 8) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        std::memcpy(buf.get() + i, &x, 8);
    }

    const std::string path =
        Format("%s/.Quillon-disktest.%d.tmp", m_dir.c_str(), static_cast<int>(::getpid()));
    // Always a new file: whatever lies under that name already (a symbolic link planted by
    // someone who can write the folder, say) is neither followed nor overwritten.
    const int create = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(path.c_str(), create | O_DIRECT, 0600);
    m_r.directIO = fd >= 0;
    if (fd < 0 && errno == EINVAL) {
        // Some file systems make the file before they refuse direct I/O.
        ::unlink(path.c_str());
        fd = ::open(path.c_str(), create, 0600);
        m_r.directNote =
            "the file system refuses direct I/O (O_DIRECT); the page cache was dropped "
            "before each read, as far as the file system allows";
    }
    if (fd < 0) {
        m_r.error = Format("cannot create the test file in %s: %s", HomeTilde(m_dir).c_str(),
                           std::strerror(errno));
        return m_r;
    }
    struct Cleanup {
        int& fd;
        const std::string& path;
        ~Cleanup() {
            if (fd >= 0) ::close(fd);
            ::unlink(path.c_str());
        }
    } cleanup{fd, path};

    auto dropCache = [&] {
        if (m_r.directIO) return;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    };
    auto segment = [&](long long off, bool write) {
        for (long long b = 0; b < kSegment; b += kBlock) {
            bool ok = write ? FullWrite(fd, buf.get(), kBlock, off + b)
                            : FullRead(fd, buf.get(), kBlock, off + b);
            if (!ok) return false;
        }
        return true;
    };

    // Warm-up: at least two segments, about 0.15 s, which also tell how fast the disk writes.
    // A file system that takes O_DIRECT at open time may still refuse it on the first write.
    const double warmAim = std::max(0.15 * scale, 0.005);
    const long long warmCap = std::min<long long>(plan.fileBytes, 256LL << 20);
    long long warmBytes = 0;
    double t0 = Now();
    auto warmUp = [&] {
        warmBytes = 0;
        t0 = Now();
        while (warmBytes < 2 * kSegment ||
               (Now() - t0 < warmAim && warmBytes + kSegment <= warmCap)) {
            if (!segment(warmBytes, true)) return false;
            warmBytes += kSegment;
            if (!Unit(0)) return false;
        }
        return true;
    };
    bool warm = warmUp();
    if (m_progress.Cancelled()) return m_r;
    if (!warm && m_r.directIO && errno == EINVAL) {
        int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags & ~O_DIRECT);
        m_r.directIO = false;
        m_r.directNote =
            "the file system refuses direct I/O (O_DIRECT) writes; the page cache was "
            "dropped before each read, as far as the file system allows";
        warm = warmUp();
        if (m_progress.Cancelled()) return m_r;
    }
    if (!warm) {
        m_r.error = Format("writing the test file failed: %s", std::strerror(errno));
        return m_r;
    }
    if (!m_r.directIO) ::fdatasync(fd);
    const double warmRate = static_cast<double>(warmBytes) / std::max(Now() - t0, 1e-6);

    // A slow disk gets a smaller file, not a longer test.
    const long long byTime = static_cast<long long>(warmRate * writeAim);
    long long size = std::min(plan.fileBytes, byTime);
    const long long repBytes = std::max<long long>(1, size / (kSegment * kReps)) * kSegment;
    size = repBytes * kReps;
    if (size > plan.fileBytes) {
        m_r.error = Format("not enough free space in %s for a test file", HomeTilde(m_dir).c_str());
        return m_r;
    }
    m_r.shrunk = plan.shrunk && plan.fileBytes <= byTime;
    // Reserve the space as fio does; where the file system cannot, the writes simply extend the
    // file (posix_fallocate would emulate it by writing every block first).
    ::fallocate(fd, 0, 0, size);

    // One sequential pass over [0, limit): up to kReps repetitions over consecutive parts of the
    // file, each timed without the progress messages sent in between.
    bool failed = false;
    int failedErrno = 0;  // kept at once: the timing and progress calls after it may change errno
    auto fail = [&] {
        failed = true;
        failedErrno = errno;
    };
    auto failure = [&](const char* what) {
        m_r.error = Format("%s the test file failed: %s", what, std::strerror(failedErrno));
        return m_r;
    };
    auto pass = [&](bool write, long long limit, long long& done) {
        done = 0;
        const int reps = static_cast<int>(std::min<long long>(kReps, limit / repBytes));
        return Repeat(0, reps, m_progress,
                      [&] {
                          const double start = Now();
                          double paused = 0;
                          const long long base = done;
                          for (long long off = 0; off < repBytes && !failed; off += kSegment) {
                              if (!segment(base + off, write)) {
                                  fail();
                                  break;
                              }
                              ++(write ? m_r.segmentsWritten : m_r.segmentsRead);
                              const double p0 = Now();
                              const bool go = Unit(static_cast<double>(base + off + kSegment) /
                                                   static_cast<double>(limit));
                              paused += Now() - p0;
                              if (!go) break;
                          }
                          if (write && !failed) {
                              // The repetition ends when its data is on the device, as a program
                              // that saves a file waits for it; without this the disk's own cache
                              // flatters it.
                              if (::fdatasync(fd) != 0) fail();
                          }
                          done += repBytes;
                          return std::max(Now() - start - paused, 1e-9);
                      },
                      {m_probe, phaseCap, false});
    };
    const double mb = static_cast<double>(repBytes) / 1e6;

    long long written = 0;
    auto writes = pass(true, size, written);
    if (!writes) return m_r;
    if (failed) return failure("writing");
    m_r.writeMBs = mb / writes->Median();
    m_r.writeSpread = writes->Spread();
    m_r.fileBytes = written;  // reads stay within what was really written

    dropCache();
    long long read = 0;
    m_progress.SetSpan(45, 90);
    auto reads = pass(false, written, read);
    if (!reads) return m_r;
    if (failed) return failure("reading");
    m_r.readMBs = mb / reads->Median();
    m_r.readSpread = reads->Spread();

    // Random 4 KiB reads over what was written, kReps timed repetitions of a fixed count of
    // reads (calibrated on the first batches), so that each repetition is the same work.
    dropCache();
    const long long blocks = m_r.fileBytes / 4096;
    uint64_t r = 0x2545F4914F6CDD1Dull;
    m_progress.SetSpan(91, 100);
    auto batch = [&] {
        for (int i = 0; i < kRandomBatch; ++i) {
            r ^= r << 13, r ^= r >> 7, r ^= r << 17;
            if (!FullRead(fd, buf.get(), 4096, static_cast<long long>(r % blocks) * 4096))
                return false;
        }
        ++m_r.randomBatches;
        return true;
    };
    const double c0 = Now();
    int calBatches = 0;
    while (Now() - c0 < randomRep / 4 && calBatches < 1000000) {
        if (!batch()) {
            fail();
            return failure("reading");
        }
        ++calBatches;
    }
    const double perBatch = (Now() - c0) / std::max(calBatches, 1);
    const int batchesPerRep = std::max(1, static_cast<int>(randomRep / std::max(perBatch, 1e-9)));
    int rep = 0;
    auto randoms = Repeat(0, kReps, m_progress,
                          [&] {
                              const double start = Now();
                              double paused = 0;
                              for (int b = 0; b < batchesPerRep && !failed; ++b) {
                                  if (!batch()) {
                                      fail();
                                      break;
                                  }
                                  const double p0 = Now();
                                  const bool go = Unit((rep + (b + 1.0) / batchesPerRep) / kReps);
                                  paused += Now() - p0;
                                  if (!go) break;
                              }
                              ++rep;
                              return std::max(Now() - start - paused, 1e-9);
                          },
                          {m_probe, 0, false});
    if (!randoms) return m_r;
    if (failed) return failure("reading");
    m_r.randomIOPS = batchesPerRep * static_cast<double>(kRandomBatch) / randoms->Median();
    m_r.randomSpread = randoms->Spread();
    m_r.seconds = Now() - m_start;
    m_progress.Step(1.0);
    return m_r;
}
