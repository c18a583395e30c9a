/* A second compression library to compare the default one with: gzip files
 * (zlib, level 6) behind the same two entry points. It writes its target in
 * place, as the gzip command does. */
#include <stdio.h>
#include <zlib.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT int compress_file(char *source, char *target)
{
    FILE *in = fopen(source, "rb");
    gzFile out = in ? gzopen(target, "wb6") : NULL;
    int ok = out != NULL;
    char buffer[1 << 16];
    for (size_t n; ok && (n = fread(buffer, 1, sizeof buffer, in)) > 0;)
        ok = gzwrite(out, buffer, (unsigned)n) == (int)n;
    ok = ok && !ferror(in);
    if (in)
        fclose(in);
    return (out && gzclose(out) != Z_OK) || !ok;
}

EXPORT int decompress_file(char *source, char *target)
{
    gzFile in = gzopen(source, "rb");
    FILE *out = in ? fopen(target, "wb") : NULL;
    int ok = out != NULL, n = 0;
    char buffer[1 << 16];
    while (ok && (n = gzread(in, buffer, sizeof buffer)) > 0)
        ok = fwrite(buffer, 1, (size_t)n, out) == (size_t)n;
    ok = ok && n == 0;
    if (in)
        gzclose(in);
    return (out && fclose(out) != 0) || !ok;
}
