#include "MemoryBench.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace membench {

namespace {

std::atomic<double> g_sink{0};
std::atomic<uint64_t> g_chaseSink{0};

double Seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
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
    void* p =
        std::aligned_alloc(2 * 1024 * 1024 <= bytes ? 2 * 1024 * 1024 : 64, (bytes + 63) / 64 * 64);
    if (!p) return;
    m_buf = static_cast<uint64_t*>(p);
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
    for (size_t i = 0; i < lines; ++i) {
        const uint64_t from = order[i], to = order[(i + 1) % lines];
        m_buf[from * 8] = to * 8;
    }
    m_pos = static_cast<uint64_t>(order[0]) * 8;
}

CChase::~CChase() { std::free(m_buf); }

double CChase::Run(uint64_t loads) {
    uint64_t p = m_pos;
    const uint64_t* buf = m_buf;
    const double t0 = Seconds();
    for (uint64_t i = 0; i < loads; ++i) p = buf[p];
    const double t = Seconds() - t0;
    m_pos = p;
    g_chaseSink.fetch_add(p, std::memory_order_relaxed);
    return t;
}

}  // namespace membench
