/* A compression library whose calls take a known time. compress_file copies
 * its source and busy-waits until the number of milliseconds the source's name
 * gives ("spin:100", "/tmp/x/spin:100") has passed since it was entered;
 * decompress_file copies at once. The length of the last compress call, from
 * entry to return on the library's own monotonic clock, is kept. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define EXPORT __attribute__((visibility("default")))

static double last_call;

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static int copy(const char *source, const char *target)
{
    FILE *in = fopen(source, "rb"), *out = in ? fopen(target, "wb") : NULL;
    int ok = out != NULL;
    char buffer[65536];
    for (size_t n; ok && (n = fread(buffer, 1, sizeof buffer, in)) > 0;)
        ok = fwrite(buffer, 1, n, out) == n;
    if (in)
        fclose(in);
    return !(ok && fclose(out) == 0);
}

/* The length of the last compress call, in seconds. */
EXPORT double spin_last_call(void)
{
    return last_call;
}

EXPORT int compress_file(char *source, char *target)
{
    const double start = now();
    const char *spin = strstr(source, "spin:");
    if (!spin)
        return 1;
    const double wanted = atof(spin + 5) / 1000.0;
    const int result = copy(source, target);
    double end = now();
    while (end - start < wanted)
        end = now();
    last_call = end - start;
    return result;
}

EXPORT int decompress_file(char *source, char *target)
{
    return copy(source, target);
}
