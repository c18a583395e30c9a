/* Stand-in compression libraries for brevimeter-bench, one behaviour each,
 * chosen when built: both entry points copy the file, and
 *   CORRUPT   decompress_file changes the last byte it copies;
 *   ABORT     compress_file aborts the process;
 *   HANG      compress_file never returns;
 *   TAKES_MS  the n-th call spends n times this many milliseconds of CPU time;
 *   GREEDY    compress_file touches 64 MiB of memory, and frees it;
 *   REMOVES   compress_file removes its source once copied, as gzip does;
 *   CHATTY    every call prints lines that look like the worker's report, and
 *             compress_file puts 1000 bytes before the copy (decompress_file
 *             drops them), so the ratio is 5:6 at 5000 bytes;
 *   EXITS     decompress_file ends the process with status 0;
 *   NO_ENTRY  neither entry point is there: the library loads, and that is all.
 * Where BREVIMETER_STANDIN_LOG names a file, each call appends its name to it
 * when it starts, and TAKES_MS the wall time it took when it ends. */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))
#if !defined(TAKES_MS)
#  define TAKES_MS 0
#endif
#if defined(CHATTY)
#  define PADDING 1000
#else
#  define PADDING 0
#endif
#if defined(NO_ENTRY)
#  define compress_file compress
#  define decompress_file decompress
#endif

static int calls;

static void note(const char *format, double value)
{
    const char *log = getenv("BREVIMETER_STANDIN_LOG");
    FILE *file = log ? fopen(log, "a") : NULL;
    if (file)
        fprintf(file, format, value), fclose(file);
#if defined(CHATTY)
    printf("call compress 9\ntook 1 1\nsize 1\npeak 1\ndone\n");
    fflush(stdout);
#endif
}

static double seconds(clockid_t clock)
{
    struct timespec now;
    clock_gettime(clock, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

/* Copies source to target, with `padding` bytes added in front (or, when
 * negative, dropped from the front) and the last byte changed by `corrupt`. */
static int copy(const char *source, const char *target, int padding, int corrupt)
{
    const double started = seconds(CLOCK_MONOTONIC), spent = seconds(CLOCK_THREAD_CPUTIME_ID);
    const double takes = TAKES_MS * ++calls / 1000.0;
    FILE *in = fopen(source, "rb"), *out = in ? fopen(target, "wb") : NULL;
    int byte, last = EOF, ok = out != NULL;
    for (int i = 0; ok && i < padding; ++i)
        putc('#', out);
    for (int i = 0; ok && i < -padding; ++i)
        getc(in);
    while (ok && (byte = getc(in)) != EOF)
        last == EOF ? 0 : putc(last, out), last = byte;
    if (ok && last != EOF)
        putc(last ^ corrupt, out);
    ok = in && fclose(in) == 0 && ok && fclose(out) == 0;
    while (seconds(CLOCK_THREAD_CPUTIME_ID) - spent < takes)
        ;
    if (TAKES_MS)
        note("took %f\n", seconds(CLOCK_MONOTONIC) - started);
    return !ok;
}

EXPORT int compress_file(char *source, char *target)
{
    note("compress_file\n", 0);
#if defined(ABORT)
    abort();
#elif defined(HANG)
    for (;;)
        pause();
#elif defined(REMOVES)
    return copy(source, target, 0, 0) || remove(source);
#elif defined(GREEDY)
    char *memory = malloc(64 << 20);
    for (size_t i = 0; memory && i < 64 << 20; i += 4096)
        memory[i] = 1;
    free(memory);
#endif
    return copy(source, target, PADDING, 0);
}

EXPORT int decompress_file(char *source, char *target)
{
    note("decompress_file\n", 0);
#if defined(CORRUPT)
    return copy(source, target, 0, 1);
#elif defined(EXITS)
    exit(0);
#endif
    return copy(source, target, -PADDING, 0);
}
