/* A compression library whose calls take a known time: it busy-waits until the
 * number of milliseconds named by the source path ("spin:100") has passed since
 * it was entered, writing a small target on the way, and keeps the length of
 * the call as its own monotonic clock measured it. */
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

/* The length of the last call, from entry to return, in seconds. */
EXPORT double spin_last_call(void)
{
    return last_call;
}

EXPORT int compress_file(char *source, char *target)
{
    const double start = now();
    if (strncmp(source, "spin:", 5) != 0)
        return 1;
    const double wanted = atof(source + 5) / 1000.0;
    FILE *file = fopen(target, "w");
    if (!file)
        return 1;
    fputs("spun\n", file);
    int result = fclose(file) == 0 ? 0 : 1;
    double end = now();
    while (end - start < wanted)
        end = now();
    last_call = end - start;
    return result;
}

EXPORT int decompress_file(char *source, char *target)
{
    (void)source;
    (void)target;
    return 0;
}
