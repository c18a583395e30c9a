/* Stand-in compression libraries for brevimeter-bench, one behaviour each,
 * chosen when built: both entry points copy the file, and
 *   CORRUPT   decompress_file changes the last byte it copies;
 *   ABORT     compress_file aborts the process on a file whose name holds "data";
 *   HANG      compress_file never returns on a file whose name holds "data",
 *             nor does a helper process it starts first;
 *   TAKES_MS  the n-th call in a process spends n times this many ms of CPU time;
 *   GREEDY    compress_file touches 64 MiB of memory, and frees it;
 *   KEEPS     compress_file touches 32 MiB of memory once, and keeps it;
 *   REMOVES   compress_file removes its source once copied, as gzip does;
 *   CHATTY    every call prints lines that look like the worker's report, and
 *             compress_file puts 1000 bytes before the copy (decompress_file
 *             drops them), so the ratio is 5:6 at 5000 bytes;
 *   EXITS     decompress_file ends the process with status 0;
 *   NO_ENTRY  neither entry point is there: the library loads, and that is all;
 *   TOKEN     compress_file keeps the file in memory and writes 8 bytes, which
 *             decompress_file turns back into what it kept: right only in
 *             the process that compressed;
 *   CACHE     compress_file spends 300 ms of CPU time on a content it has not
 *             seen last, and copies at once what it has;
 *   CHILD     compress_file copies in a child process that first touches
 *             48 MiB (8 MiB for a source under 4000 bytes) and spends 200 ms
 *             of CPU time, and waits for it;
 *   THREADS   compress_file copies in a second thread that first spends
 *             200 ms of CPU time and sleeps 100 ms, and waits for it;
 *   SYMLINK, HARDLINK  compress_file makes its target another name of its source;
 *   EMPTY     compress_file writes an empty target;
 *   FORKS     compress_file forks, and both processes return from it;
 *   LINGERS   compress_file leaves a process running, whose parent has
 *             ended, with a child of its own;
 *   CHDIR     both entry points move to the root folder once they have copied.
 * Where BREVIMETER_STANDIN_LOG names a file, each call appends its name, its
 * process id and BREVIMETER_THREADS to it when it starts, and TAKES_MS the
 * wall time it took when it ends. */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
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

/* A line for the test: what happened ("compress_file", "took 0.3"), this
 * process and what it was given in BREVIMETER_THREADS. */
static void note(const char *what)
{
    const char *log = getenv("BREVIMETER_STANDIN_LOG"), *threads = getenv("BREVIMETER_THREADS");
    FILE *file = log ? fopen(log, "a") : NULL;
    if (file)
        fprintf(file, "%s %d %s\n", what, (int)getpid(), threads ? threads : "-"), fclose(file);
#if defined(CHATTY)
    printf("took 1 1 1 1 1 1 1\npeak 1 1 1\nloaded x\n");
    fflush(stdout);
#endif
}

static double seconds(clockid_t clock)
{
    struct timespec now;
    clock_gettime(clock, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

static void spend(double cpu_seconds)
{
    const double spent = seconds(CLOCK_THREAD_CPUTIME_ID);
    while (seconds(CLOCK_THREAD_CPUTIME_ID) - spent < cpu_seconds)
        ;
}

/* Copies source to target, with `padding` bytes added in front (or, when
 * negative, dropped from the front) and the last byte changed by `corrupt`. */
static int copy(const char *source, const char *target, int padding, int corrupt)
{
    const double started = seconds(CLOCK_MONOTONIC);
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
    spend(TAKES_MS * ++calls / 1000.0);
    if (TAKES_MS) {
        char took[64];
        snprintf(took, sizeof took, "took %f", seconds(CLOCK_MONOTONIC) - started);
        note(took);
    }
#if defined(CHDIR)
    ok = ok && chdir("/") == 0;
#endif
    return !ok;
}

static char kept[1 << 16];
static size_t kept_size;

static size_t read_all(const char *name, char *into, size_t room)
{
    FILE *in = fopen(name, "rb");
    const size_t n = in ? fread(into, 1, room, in) : 0;
    if (in)
        fclose(in);
    return n;
}

static int write_all(const char *name, const char *bytes, size_t size)
{
    FILE *out = fopen(name, "wb");
    return !(out && fwrite(bytes, 1, size, out) == size && fclose(out) == 0);
}

#if defined(THREADS)
static void *in_thread(void *paths)
{
    spend(0.2);
    usleep(100000);
    return (void *)(long)copy(((char **)paths)[0], ((char **)paths)[1], 0, 0);
}
#endif

EXPORT int compress_file(char *source, char *target)
{
    note("compress_file");
#if defined(ABORT)
    if (strstr(source, "data"))
        abort();
#elif defined(HANG)
    if (strstr(source, "data") && fork() == 0) { /* a helper that waits as long */
        note("helper");
        for (;;)
            pause();
    }
    while (strstr(source, "data"))
        pause();
#elif defined(REMOVES)
    return copy(source, target, 0, 0) || remove(source);
#elif defined(GREEDY)
    char *memory = malloc(64 << 20);
    for (size_t i = 0; memory && i < 64 << 20; i += 4096)
        memory[i] = 1;
    free(memory);
#elif defined(KEEPS)
    static char *memory;
    if (!memory && (memory = malloc(32 << 20)))
        for (size_t i = 0; i < 32 << 20; i += 4096)
            memory[i] = 1;
#elif defined(TOKEN)
    kept_size = read_all(source, kept, sizeof kept);
    return write_all(target, "TOKEN:00", 8);
#elif defined(CACHE)
    static char content[1 << 16];
    const size_t size = read_all(source, content, sizeof content);
    if (size != kept_size || memcmp(content, kept, size) != 0)
        spend(0.3);
    memcpy(kept, content, kept_size = size);
    return write_all(target, kept, kept_size);
#elif defined(CHILD)
    const pid_t child = fork();
    if (child == 0) {
        const size_t size = read_all(source, kept, sizeof kept) < 4000 ? 8 << 20 : 48 << 20;
        char *memory = malloc(size);
        for (size_t i = 0; memory && i < size; i += 4096)
            memory[i] = 1;
        spend(0.2);
        _exit(copy(source, target, 0, 0));
    }
    int status = 0;
    return child < 0 || waitpid(child, &status, 0) != child || status != 0;
#elif defined(THREADS)
    char *paths[] = {source, target};
    pthread_t thread;
    void *failed = NULL;
    return pthread_create(&thread, NULL, in_thread, paths) != 0 || pthread_join(thread, &failed) != 0 || failed;
#elif defined(SYMLINK)
    return symlink(source, target);
#elif defined(HARDLINK)
    return link(source, target);
#elif defined(EMPTY)
    return write_all(target, "", 0);
#elif defined(FORKS)
    (void)fork();
#elif defined(LINGERS)
    // A process of its own, left to go on after the call (its parent ends at
    // once), with a child of its own that goes on too; the call returns once
    // that child is there.
    int ready[2];
    if (pipe(ready) != 0)
        return 1;
    const pid_t child = fork();
    if (child == 0) {
        if (fork() == 0) {
            if (fork() == 0 && write(ready[1], "x", 1) != 1)
                _exit(1);
            for (;;)
                pause();
        }
        _exit(0);
    }
    int status = 0;
    char byte;
    waitpid(child, &status, 0);
    close(ready[1]);
    const int there = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (!there)
        return 1;
#endif
    return copy(source, target, PADDING, 0);
}

EXPORT int decompress_file(char *source, char *target)
{
    note("decompress_file");
#if defined(CORRUPT)
    return copy(source, target, 0, 1);
#elif defined(EXITS)
    exit(0);
#elif defined(TOKEN)
    return write_all(target, kept, kept_size);
#endif
    return copy(source, target, -PADDING, 0);
}
