#include "MemoryBench.h"

#include <sys/mman.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace membench {

namespace {

std::atomic<double> g_sink{0};
std::atomic<uint64_t> g_chaseSink{0};

// Processor time of the calling thread. A load that waits for memory still holds the
// processor, so this is the kernel's own time; the time other programs took the processor
// away is left out, and a shared machine does not make memory look slower than it is.
double Seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

double ArrayBytes(double llcBytes, double availBytes) {
    // Machines that hide their caches are mostly virtual machines on servers. The cores of one
    // reach at most 96 MiB of last-level cache on EPYC (a CCD with stacked cache) and up to
    // 320 MiB on a Xeon socket; 128 MiB keeps the three arrays (1.5 GiB, almost five times
    // the largest) past them, and the test within its time where faulting a gigabyte in
    // takes seconds.
    const double cache = llcBytes > 0 ? llcBytes : kAssumedCacheBytes;
    double bytes = std::max(64.0 * 1024 * 1024, 4 * cache);
    if (availBytes > 0) bytes = std::min(bytes, availBytes / 8 / 3);
    return bytes;
}

CMapping::CMapping(size_t bytes) {
    constexpr size_t kLarge = 2 * 1024 * 1024;
    m_bytes = bytes + kLarge;
    void* map = mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return;
    m_base = map;
    m_data =
        reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(map) + kLarge - 1) / kLarge * kLarge);
#ifdef MADV_HUGEPAGE
    if (bytes >= kLarge) madvise(m_data, bytes, MADV_HUGEPAGE);
#endif
}

CMapping::~CMapping() {
    if (m_base) munmap(m_base, m_bytes);
}

CStreamArrays::CStreamArrays(size_t n)
    : m_n(n), m_ma(n * sizeof(double)), m_mb(n * sizeof(double)), m_mc(n * sizeof(double)) {
    m_a = static_cast<double*>(m_ma.Data());
    m_b = static_cast<double*>(m_mb.Data());
    m_c = static_cast<double*>(m_mc.Data());
    if (!Ok()) return;
    // The same start values as STREAM.
    for (size_t i = 0; i < n; ++i) {
        m_a[i] = 1.0;
        m_b[i] = 2.0;
        m_c[i] = 0.0;
    }
}

CStreamArrays::~CStreamArrays() = default;

double CStreamArrays::Bytes(int k) const {
    return (k < 2 ? 2.0 : 3.0) * sizeof(double) * static_cast<double>(m_n);
}

double CStreamArrays::Pass(int k) {
    double* __restrict a = m_a;
    double* __restrict b = m_b;
    double* __restrict c = m_c;
    const size_t n = m_n;
    const double s = 3.0;
    const double t0 = Seconds();
    switch (k) {
        case 0:
            // What the copy loop becomes in STREAM built by GCC: a call of the C library's
            // memcpy, which writes past the caches (non-temporal stores) for arrays this large.
            std::memcpy(c, a, n * sizeof(double));
            break;
        case 1:
            for (size_t j = 0; j < n; ++j) b[j] = s * c[j];
            break;
        case 2:
            for (size_t j = 0; j < n; ++j) c[j] = a[j] + b[j];
            break;
        default:
            for (size_t j = 0; j < n; ++j) a[j] = b[j] + s * c[j];
            break;
    }
    const double t = Seconds() - t0;
    g_sink.store(a[n / 2] + b[n / 3] + c[n / 4], std::memory_order_relaxed);
    return t;
}

CChase::CChase(size_t bytes) : m_map(bytes), m_bytes(bytes) {
    const size_t lines = bytes / 64;
    if (lines < 2) return;
    // A mapping of its own: from the heap, a set could get pages an earlier one left behind,
    // already mapped small, and the request for large pages would come too late.
    m_buf = static_cast<uint64_t*>(m_map.Data());
    if (!m_buf) return;
    std::memset(m_buf, 0, bytes);
    // Sattolo's shuffle gives one cycle through every line; a fixed seed keeps runs alike.
    std::vector<uint32_t> order(lines);
    for (size_t i = 0; i < lines; ++i) order[i] = static_cast<uint32_t>(i);
    uint64_t x = 0x2545F4914F6CDD1Dull;
    for (size_t i = lines - 1; i > 0; --i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        size_t j = static_cast<size_t>(x % i);
        std::swap(order[i], order[j]);
    }
    // Each line holds the address of the next: a load whose address is a plain register takes
    // the processor's load-to-use latency, while an index (base + 8 * index) adds a cycle of
    // address arithmetic to every load, a quarter more in the L1 cache.
    for (size_t i = 0; i < lines; ++i) {
        const size_t from = order[i], to = order[(i + 1) % lines];
        m_buf[from * 8] = reinterpret_cast<uintptr_t>(&m_buf[to * 8]);
    }
    m_pos = reinterpret_cast<uintptr_t>(&m_buf[static_cast<size_t>(order[0]) * 8]);
}

CChase::~CChase() = default;

double CChase::Run(uint64_t loads) {
    const uint64_t* p = reinterpret_cast<const uint64_t*>(m_pos);
    const double t0 = Seconds();
    for (uint64_t i = 0; i < loads; ++i) p = reinterpret_cast<const uint64_t*>(*p);
    const double t = Seconds() - t0;
    m_pos = reinterpret_cast<uintptr_t>(p);
    g_chaseSink.fetch_add(m_pos, std::memory_order_relaxed);
    return t;
}

}  // namespace membench
