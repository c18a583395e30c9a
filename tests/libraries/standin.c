/* Stand-in compression libraries for brevimeter-bench, one behaviour each,
 * chosen when built: both entry points copy the file, and
 *   CORRUPT   decompress_file changes the last byte it copies;
 *   ABORT     compress_file aborts the process;
 *   HANG      compress_file never returns;
 *   TAKES_MS  each call takes this many milliseconds, on a monotonic clock. */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

static int copy(const char *source, const char *target, int corrupt)
{
    FILE *in = fopen(source, "rb"), *out = in ? fopen(target, "wb") : NULL;
    int byte, last = EOF, ok = out != NULL;
    while (ok && (byte = getc(in)) != EOF) {
        if (last != EOF)
            putc(last, out);
        last = byte;
    }
    if (ok && last != EOF)
        putc(corrupt ? last ^ 1 : last, out);
    if (in)
        fclose(in);
    return !(ok && fclose(out) == 0);
}

static void spend(void)
{
#if defined(TAKES_MS)
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    do
        clock_gettime(CLOCK_MONOTONIC, &now);
    while ((now.tv_sec - start.tv_sec) * 1e3 + (now.tv_nsec - start.tv_nsec) / 1e6 < TAKES_MS);
#endif
}

EXPORT int compress_file(char *source, char *target)
{
#if defined(ABORT)
    abort();
#elif defined(HANG)
    for (;;)
        pause();
#endif
    int result = copy(source, target, 0);
    spend();
    return result;
}

EXPORT int decompress_file(char *source, char *target)
{
#if defined(CORRUPT)
    int result = copy(source, target, 1);
#else
    int result = copy(source, target, 0);
#endif
    spend();
    return result;
}
