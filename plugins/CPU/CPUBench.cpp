#include "CPUBench.h"

#include <sched.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace cpubench {

namespace {

// Results go here so that the compiler cannot drop the work.
std::atomic<uint64_t> g_intSink{0};
std::atomic<double> g_floatSink{0};

// Processor time of the calling thread: the work is pure processor work, so the time other
// programs took the CPU away is left out and the figure does not fall with the machine's load.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

uint64_t IntegerWork(uint64_t iterations, uint64_t seed) {
    // Four independent xorshift streams: enough parallel work for a modern core, and each step
    // depends on the one before, so the compiler cannot fold the loop.
    uint64_t a = seed | 1, b = seed * 3 + 7, c = seed * 5 + 11, d = seed * 7 + 13;
    uint64_t sa = 0, sb = 0, sc = 0, sd = 0;
    for (uint64_t i = 0; i < iterations; ++i) {
        a ^= a << 13;
        a ^= a >> 7;
        a ^= a << 17;
        sa += a * 0x9E3779B97F4A7C15ull;
        b ^= b << 13;
        b ^= b >> 7;
        b ^= b << 17;
        sb += b * 0xBF58476D1CE4E5B9ull;
        c ^= c << 13;
        c ^= c >> 7;
        c ^= c << 17;
        sc += c * 0x94D049BB133111EBull;
        d ^= d << 13;
        d ^= d >> 7;
        d ^= d << 17;
        sd += d * 0xD6E8FEB86659FD93ull;
    }
    const uint64_t r = sa ^ sb ^ sc ^ sd;
    g_intSink.fetch_add(r, std::memory_order_relaxed);
    return r;
}

double FloatWork(uint64_t iterations, double seed) {
    // Eight independent multiply-add chains converging to a fixed point, so values stay finite.
    double x[8];
    for (int k = 0; k < 8; ++k) x[k] = seed + k * 0.125;
    const double m = 0.9999999, c = 1e-7;
    for (uint64_t i = 0; i < iterations; ++i)
        for (int k = 0; k < 8; ++k) x[k] = x[k] * m + c;
    double s = 0;
    for (double v : x) s += v;
    g_floatSink.store(s, std::memory_order_relaxed);
    return s;
}

double RunSingle(bool integer, uint64_t iterations) {
    const double t0 = ThreadSeconds();
    if (integer)
        IntegerWork(iterations, 0x1234567u);
    else
        FloatWork(iterations, 0.5);
    return ThreadSeconds() - t0;
}

double RunThreads(int threads, bool integer, uint64_t iterations) {
    if (threads < 1) threads = 1;
    std::atomic<int> go{0};
    std::atomic<int> ready{0};
    std::vector<double> seconds(static_cast<size_t>(threads), 0.0);
    std::vector<std::thread> pool;
    pool.reserve(static_cast<size_t>(threads));
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            ready.fetch_add(1);
            go.wait(0);
            const double t0 = ThreadSeconds();
            if (integer)
                IntegerWork(iterations, 0x1234567u + static_cast<uint64_t>(t));
            else
                FloatWork(iterations, 0.5 + t * 0.01);
            seconds[static_cast<size_t>(t)] = ThreadSeconds() - t0;
        });
    }
    // All threads exist and wait before they start together.
    while (ready.load() < threads) std::this_thread::yield();
    go.store(1);
    go.notify_all();
    for (auto& th : pool) th.join();
    // The slowest thread: threads that share a core or a power budget slow each other down.
    return *std::max_element(seconds.begin(), seconds.end());
}

int UsableCPUs() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace cpubench
