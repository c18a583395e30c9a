/* A stand-in compression library that rewrites its path buffers in place, as a
 * library may: after the call each buffer holds the bytes the test chose, cut
 * or padded with NULs to the buffer's own length. */
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static char source_bytes[256];
static char target_bytes[256];
static size_t source_length;
static size_t target_length;

EXPORT void rewriting_set(const char *source, size_t source_size, const char *target, size_t target_size)
{
    memcpy(source_bytes, source, source_size);
    source_length = source_size;
    memcpy(target_bytes, target, target_size);
    target_length = target_size;
}

static void rewrite(char *buffer, const char *bytes, size_t length)
{
    size_t size = strlen(buffer);
    for (size_t i = 0; i < size; ++i)
        buffer[i] = i < length ? bytes[i] : '\0';
}

static int rewrite_both(char *source, char *target)
{
    rewrite(source, source_bytes, source_length);
    rewrite(target, target_bytes, target_length);
    return 0;
}

EXPORT int compress_file(char *source, char *target)
{
    return rewrite_both(source, target);
}

EXPORT int decompress_file(char *source, char *target)
{
    return rewrite_both(source, target);
}
