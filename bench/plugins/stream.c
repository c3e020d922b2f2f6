/* A small STREAM-style memory bandwidth program, the yardstick compare.sh builds at -O2 for the
   Memory module: three arrays of N doubles, the four kernels (copy, scale, add, triad), each
   timed NTIMES times; the best time gives the rate, bytes counted as STREAM counts them.
   Usage: stream [N]   (default 16777216 elements, 128 MiB per array) */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#define NTIMES 10

/* With REF_CPU_CLOCK set (not empty), the processor time of this thread, as the module times
   itself: on a shared machine the time other programs held the processor is left out. */
static double now(void) {
    static int cpu = -1;
    if (cpu < 0) cpu = getenv("REF_CPU_CLOCK") != NULL && *getenv("REF_CPU_CLOCK") != '\0';
    struct timespec ts;
    clock_gettime(cpu ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

int main(int argc, char** argv) {
    size_t n = argc > 1 ? (size_t)strtoull(argv[1], NULL, 10) : 16777216u;
    double* a = aligned_alloc(64, n * sizeof(double));
    double* b = aligned_alloc(64, n * sizeof(double));
    double* c = aligned_alloc(64, n * sizeof(double));
    if (!a || !b || !c) {
        fprintf(stderr, "stream: not enough memory for 3 x %zu doubles\n", n);
        return 1;
    }
    for (size_t j = 0; j < n; j++) {
        a[j] = 1.0;
        b[j] = 2.0;
        c[j] = 0.0;
    }
    const double scalar = 3.0;
    const char* names[4] = {"Copy", "Scale", "Add", "Triad"};
    const double bytes[4] = {2.0 * sizeof(double) * n, 2.0 * sizeof(double) * n,
                             3.0 * sizeof(double) * n, 3.0 * sizeof(double) * n};
    double best[4] = {1e30, 1e30, 1e30, 1e30};
    for (int k = 0; k < NTIMES; k++) {
        double t = now();
        for (size_t j = 0; j < n; j++) c[j] = a[j];
        t = now() - t;
        if (k > 0 && t < best[0]) best[0] = t;
        t = now();
        for (size_t j = 0; j < n; j++) b[j] = scalar * c[j];
        t = now() - t;
        if (k > 0 && t < best[1]) best[1] = t;
        t = now();
        for (size_t j = 0; j < n; j++) c[j] = a[j] + b[j];
        t = now() - t;
        if (k > 0 && t < best[2]) best[2] = t;
        t = now();
        for (size_t j = 0; j < n; j++) a[j] = b[j] + scalar * c[j];
        t = now() - t;
        if (k > 0 && t < best[3]) best[3] = t;
    }
    /* Check the results, so that the compiler cannot drop the loops. */
    double aj = 1.0, bj = 2.0, cj = 0.0;
    for (int k = 0; k < NTIMES; k++) {
        cj = aj;
        bj = scalar * cj;
        cj = aj + bj;
        aj = bj + scalar * cj;
    }
    if (a[n / 2] != aj || b[n / 3] != bj || c[n - 1] != cj) {
        fprintf(stderr, "stream: results do not verify\n");
        return 1;
    }
    for (int k = 0; k < 4; k++) printf("%s %.0f\n", names[k], bytes[k] / best[k] / 1e6);
    free(a);
    free(b);
    free(c);
    return 0;
}
