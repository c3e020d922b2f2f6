// The CPU module's measuring kernels: fixed integer and floating-point work per iteration.
#pragma once

#include <cstdint>

namespace cpubench {

// Integer operations one iteration of IntegerWork performs (shifts, xors, multiplies, adds).
constexpr double kIntOpsPerIteration = 32;
// Floating-point operations (a multiply and an add per lane) of one FloatWork iteration.
constexpr double kFloatOpsPerIteration = 16;

uint64_t IntegerWork(uint64_t iterations, uint64_t seed);
double FloatWork(uint64_t iterations, double seed);

// Runs the work on threads threads started together; the processor seconds of the slowest.
double RunThreads(int threads, bool integer, uint64_t iterations);
// Processor seconds of one run on the calling thread.
double RunSingle(bool integer, uint64_t iterations);

// The CPUs this process may run on (sched_getaffinity), at least 1.
int UsableCPUs();

}  // namespace cpubench
