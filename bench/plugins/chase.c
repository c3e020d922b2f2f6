/* A pointer-chase latency program, the yardstick compare.sh builds at -O2 for the Memory
   module's latency figures: for each working set, one random cycle through all its 64-byte
   lines (Sattolo's shuffle, its own generator), walked by dependent loads; the best of five
   timed walks of about 0.03 s after one warm-up walk (as the module times its own), in
   nanoseconds per load.
   Large sets ask for transparent huge pages, as the module does, so that both measure memory
   rather than the page walker.
   Usage: chase KiB...   (default 16 256 2048 16384 131072); prints "<KiB> <ns>" lines. */
#define _GNU_SOURCE
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>

/* With REF_CPU_CLOCK set (not empty), the processor time of this thread, as the module times
   itself: on a shared machine the time other programs held the processor is left out. */
static double now(void) {
    static int cpu = -1;
    if (cpu < 0) cpu = getenv("REF_CPU_CLOCK") != NULL && *getenv("REF_CPU_CLOCK") != '\0';
    struct timespec ts;
    clock_gettime(cpu ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

static uint64_t rng = 88172645463325252ull;
static uint64_t next(void) { /* xorshift64*, unlike the module's generator */
    rng ^= rng >> 12;
    rng ^= rng << 25;
    rng ^= rng >> 27;
    return rng * 2685821657736338717ull;
}

static double measure(size_t kib) {
    const size_t bytes = kib * 1024, lines = bytes / 64;
    const size_t align = bytes >= (2u << 20) ? (2u << 20) : 64;
    void** buf = aligned_alloc(align, (bytes + align - 1) / align * align);
    size_t* order = malloc(lines * sizeof *order);
    if (!buf || !order || lines < 2) return -1;
#ifdef MADV_HUGEPAGE
    if (bytes >= (2u << 20)) madvise(buf, bytes, MADV_HUGEPAGE);
#endif
    memset(buf, 0, bytes);
    for (size_t i = 0; i < lines; i++) order[i] = i;
    for (size_t i = lines - 1; i > 0; i--) {
        size_t j = next() % i, t = order[i];
        order[i] = order[j];
        order[j] = t;
    }
    for (size_t i = 0; i < lines; i++) buf[order[i] * 8] = &buf[order[(i + 1) % lines] * 8];
    void** p = &buf[order[0] * 8];
    /* About 0.03 s per walk, whatever the set. */
    size_t loads = 1 << 16;
    for (;;) {
        double t = now();
        for (size_t i = 0; i < loads; i++) p = (void**)*p;
        t = now() - t;
        if (t > 0.01 || loads > (1ull << 32)) {
            loads = (size_t)(loads * 0.03 / t) + 1;
            break;
        }
        loads *= 4;
    }
    double best = 1e30;
    for (int rep = 0; rep < 6; rep++) {
        double t = now();
        for (size_t i = 0; i < loads; i++) p = (void**)*p;
        t = now() - t;
        if (rep > 0 && t < best) best = t;
    }
    if (p == NULL) puts(""); /* keeps the walk */
    free(order);
    free(buf);
    return best / loads * 1e9;
}

int main(int argc, char** argv) {
    static const size_t sets[] = {16, 256, 2048, 16384, 131072};
    if (argc > 1) {
        for (int i = 1; i < argc; i++) {
            size_t kib = strtoull(argv[i], NULL, 10);
            printf("%zu %.2f\n", kib, measure(kib));
        }
    } else {
        for (size_t i = 0; i < sizeof sets / sizeof sets[0]; i++)
            printf("%zu %.2f\n", sets[i], measure(sets[i]));
    }
    return 0;
}
