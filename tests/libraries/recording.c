/* A stand-in compression library that tells the test of each call. Both entry
 * points write a target of the size the test chose (nothing when the size is
 * negative); until a test chooses, compress_file writes a target of one byte
 * and decompress_file nothing. Either can leave bytes of the test's choice in the
 * path buffers, cut or padded with NULs to each buffer's own length. */
#include <stdio.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

typedef void (*recording_hook)(const char *entry, const char *source, const char *target, void *context);

static recording_hook hook;
static void *hook_context;
static long long output_sizes[2] = {1, -1}; /* compress_file, decompress_file */
static char rewrites[2][256];
static long rewrite_sizes[2] = {-1, -1};

EXPORT void recording_reset(recording_hook new_hook, void *context, long long target_size)
{
    hook = new_hook, hook_context = context, output_sizes[0] = output_sizes[1] = target_size;
    rewrite_sizes[0] = rewrite_sizes[1] = -1;
}

EXPORT void recording_rewrite(const char *source, long source_size, const char *target, long target_size)
{
    memcpy(rewrites[0], source, (size_t)(rewrite_sizes[0] = source_size));
    memcpy(rewrites[1], target, (size_t)(rewrite_sizes[1] = target_size));
}

static void record(const char *entry, char *paths[2])
{
    if (hook)
        hook(entry, paths[0], paths[1], hook_context);
    for (int i = 0; i < 2; ++i)
        for (long at = 0, size = rewrite_sizes[i] < 0 ? 0 : (long)strlen(paths[i]); at < size; ++at)
            paths[i][at] = at < rewrite_sizes[i] ? rewrites[i][at] : '\0';
}

static int output(const char *target, long long size)
{
    FILE *file = size < 0 ? NULL : fopen(target, "wb");
    for (long long i = 0; file && i < size; ++i)
        fputc('x', file);
    return !(file && fclose(file) == 0);
}

EXPORT int compress_file(char *source, char *target)
{
    record("compress_file", (char *[]){source, target});
    return output(target, output_sizes[0]);
}

EXPORT int decompress_file(char *source, char *target)
{
    record("decompress_file", (char *[]){source, target});
    return output(target, output_sizes[1]);
}
