// Replaces the global allocation functions of a test executable so that a test can make one
// chosen allocation fail. Include it in exactly one source file of the executable.
#pragma once

#include <cstdlib>
#include <new>

namespace failing_new {
// Allocations left before the next one fails; negative = never fail.
inline int allocationsLeft = -1;

// Runs f with the allocation after `allowed` successful ones failing; true when f got as far
// as that failing allocation.
template <class F>
bool FailAfter(int allowed, F f) {
    allocationsLeft = allowed;
    f();
    const bool reached = allocationsLeft == -1;
    allocationsLeft = -1;
    return reached;
}
}  // namespace failing_new

// GCC pairs the malloc inside operator new with the free inside operator delete once both are
// inlined, and mistakes the pair for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    if (failing_new::allocationsLeft == 0) {
        failing_new::allocationsLeft = -1;
        throw std::bad_alloc();
    }
    if (failing_new::allocationsLeft > 0) --failing_new::allocationsLeft;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return ::operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

#pragma GCC diagnostic pop
