/* Stand-in compression libraries for brevimeter-bench, one behaviour each,
 * chosen when built: both entry points copy the file, and
 *   CORRUPT   decompress_file changes the last byte it copies;
 *   ABORT     compress_file aborts the process;
 *   HANG      compress_file never returns;
 *   TAKES_MS  the n-th call takes n times this many milliseconds, on a monotonic clock;
 *   NO_ENTRY  neither entry point is there: the library loads, and that is all. */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))
#if !defined(TAKES_MS)
#  define TAKES_MS 0
#endif
#if defined(NO_ENTRY)
#  define compress_file compress
#  define decompress_file decompress
#endif

static int calls;

static int copy(const char *source, const char *target, int corrupt)
{
    const double takes = TAKES_MS * ++calls;
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    FILE *in = fopen(source, "rb"), *out = in ? fopen(target, "wb") : NULL;
    int byte, last = EOF, ok = out != NULL;
    while (ok && (byte = getc(in)) != EOF)
        last == EOF ? 0 : putc(last, out), last = byte;
    if (ok && last != EOF)
        putc(last ^ corrupt, out);
    ok = in && fclose(in) == 0 && ok && fclose(out) == 0;
    do
        clock_gettime(CLOCK_MONOTONIC, &now);
    while ((now.tv_sec - start.tv_sec) * 1e3 + (now.tv_nsec - start.tv_nsec) / 1e6 < takes);
    return !ok;
}

EXPORT int compress_file(char *source, char *target)
{
#if defined(ABORT)
    abort();
#elif defined(HANG)
    for (;;)
        pause();
#endif
    return copy(source, target, 0);
}

EXPORT int decompress_file(char *source, char *target)
{
#if defined(CORRUPT)
    return copy(source, target, 1);
#endif
    return copy(source, target, 0);
}
