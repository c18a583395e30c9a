/* A library that loads but offers neither entry point. */
#define EXPORT __attribute__((visibility("default")))

EXPORT int compress(char *source, char *target)
{
    (void)source;
    (void)target;
    return 0;
}
