/* A compression library that returns at once: what remains of a run's timed
 * region is the program's own work around the call. */
#define EXPORT __attribute__((visibility("default")))

EXPORT int compress_file(char *source, char *target)
{
    (void)source;
    (void)target;
    return 0;
}

EXPORT int decompress_file(char *source, char *target)
{
    (void)source;
    (void)target;
    return 0;
}
