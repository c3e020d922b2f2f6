// The Memory module's measuring kernels: STREAM-style bandwidth and dependent-load latency.
#pragma once

#include <cstddef>
#include <cstdint>

namespace membench {

// Bytes of each bandwidth array: four times the last-level cache (STREAM's rule), at least
// 64 MiB; an unknown cache (llcBytes 0) is taken for kAssumedCacheBytes. At most an eighth of
// the available memory (availBytes, 0 unknown) for the three arrays.
constexpr double kAssumedCacheBytes = 128.0 * 1024 * 1024;
double ArrayBytes(double llcBytes, double availBytes);

// Anonymous memory of its own, 2 MiB aligned, asking for large pages where it spans one: the
// tests are about memory, not the page walker, and a gigabyte faulted in 4 KiB pages costs
// seconds of kernel time.
class CMapping {
public:
    explicit CMapping(size_t bytes);
    ~CMapping();
    CMapping(const CMapping&) = delete;
    CMapping& operator=(const CMapping&) = delete;
    void* Data() const { return m_data; }  // null when the mapping failed

private:
    void* m_base = nullptr;
    size_t m_bytes = 0;
    void* m_data = nullptr;
};

// Three arrays of n doubles, each in a mapping of its own and touched (so the pages exist).
class CStreamArrays {
public:
    explicit CStreamArrays(size_t n);
    ~CStreamArrays();
    CStreamArrays(const CStreamArrays&) = delete;
    CStreamArrays& operator=(const CStreamArrays&) = delete;
    bool Ok() const { return m_a && m_b && m_c; }
    size_t Size() const { return m_n; }
    // Seconds of one pass of kernel k: 0 copy, 1 scale, 2 add, 3 triad.
    double Pass(int k);
    // Bytes one pass of kernel k moves, counted as STREAM counts them.
    double Bytes(int k) const;

private:
    size_t m_n;
    CMapping m_ma, m_mb, m_mc;
    double* m_a = nullptr;
    double* m_b = nullptr;
    double* m_c = nullptr;
};

// A random cyclic chain through the cache lines of a buffer of the given size.
class CChase {
public:
    explicit CChase(size_t bytes);
    ~CChase();
    CChase(const CChase&) = delete;
    CChase& operator=(const CChase&) = delete;
    bool Ok() const { return m_buf != nullptr; }
    // Seconds for loads dependent loads.
    double Run(uint64_t loads);

private:
    CMapping m_map;
    uint64_t* m_buf = nullptr;
    size_t m_bytes = 0;
    uintptr_t m_pos = 0;  // the line the walk has reached
};

}  // namespace membench
