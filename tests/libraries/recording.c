/* A stand-in compression library that records its calls. compress_file writes a
 * target of a size the test chooses; a hook lets the test see each call in
 * order with everything else it logs. */
#include <stdio.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

typedef void (*recording_hook)(const char *entry, const char *source, const char *target, void *context);

static recording_hook hook;
static void *hook_context;
static long long output_size;
static int calls;

EXPORT void recording_reset(recording_hook new_hook, void *context, long long target_size)
{
    hook = new_hook;
    hook_context = context;
    output_size = target_size;
    calls = 0;
}

EXPORT int recording_calls(void)
{
    return calls;
}

static void record(const char *entry, const char *source, const char *target)
{
    ++calls;
    if (hook)
        hook(entry, source, target, hook_context);
}

/* Writes `output_size` bytes to target; a negative size writes nothing. */
EXPORT int compress_file(char *source, char *target)
{
    record("compress_file", source, target);
    if (output_size < 0)
        return 1;
    FILE *file = fopen(target, "wb");
    if (!file)
        return 1;
    for (long long i = 0; i < output_size; ++i)
        fputc('x', file);
    return fclose(file) == 0 ? 0 : 1;
}

EXPORT int decompress_file(char *source, char *target)
{
    record("decompress_file", source, target);
    return 0;
}
