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

double* AllocDoubles(size_t n) {
    size_t bytes = (n * sizeof(double) + 63) / 64 * 64;
    void* p = std::aligned_alloc(64, bytes);
    return static_cast<double*>(p);
}

}  // namespace

double ArrayBytes(double llcBytes, double availBytes) {
    // Machines that hide their caches are mostly virtual machines on servers, whose last-level
    // caches reach 256-384 MiB a socket (EPYC 9004, Xeon 5th generation): arrays sized for a
    // desktop's cache would be timed partly in that cache.
    const double cache = llcBytes > 0 ? llcBytes : kAssumedCacheBytes;
    double bytes = std::max(64.0 * 1024 * 1024, 4 * cache);
    if (availBytes > 0) bytes = std::min(bytes, availBytes / 8 / 3);
    return bytes;
}

CStreamArrays::CStreamArrays(size_t n) : m_n(n) {
    m_a = AllocDoubles(n);
    m_b = AllocDoubles(n);
    m_c = AllocDoubles(n);
    if (!Ok()) return;
    // The same start values as STREAM.
    for (size_t i = 0; i < n; ++i) {
        m_a[i] = 1.0;
        m_b[i] = 2.0;
        m_c[i] = 0.0;
    }
}

CStreamArrays::~CStreamArrays() {
    std::free(m_a);
    std::free(m_b);
    std::free(m_c);
}

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

CChase::CChase(size_t bytes) : m_bytes(bytes) {
    const size_t lines = bytes / 64;
    if (lines < 2) return;
    // Fresh pages of their own, 2 MiB aligned: from the heap, a set could get pages an earlier
    // one left behind, already mapped small, and the request for large pages would come late.
    constexpr size_t kLarge = 2 * 1024 * 1024;
    m_mapBytes = (bytes + 63) / 64 * 64 + kLarge;
    void* map =
        mmap(nullptr, m_mapBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return;
    m_map = map;
    const uintptr_t at = (reinterpret_cast<uintptr_t>(map) + kLarge - 1) / kLarge * kLarge;
    m_buf = reinterpret_cast<uint64_t*>(at);
#ifdef MADV_HUGEPAGE
    // Large pages where the kernel offers them: the test is about memory, not the page walker.
    if (bytes >= 2 * 1024 * 1024) madvise(m_buf, bytes, MADV_HUGEPAGE);
#endif
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

CChase::~CChase() {
    if (m_map) munmap(m_map, m_mapBytes);
}

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
