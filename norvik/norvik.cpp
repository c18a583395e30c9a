// The exported entry points: argument checks and the exception boundary.
#include "norvik.h"

#include "codec.h"

#include <exception>

namespace {

bool usable(const char *path)
{
    return path != nullptr && path[0] != '\0';
}

template <typename Run>
int guarded(const char *source, const char *target, Run run) noexcept
{
    if (!usable(source) || !usable(target))
        return NORVIK_BAD_ARGUMENT;
    try {
        return run(source, target);
    } catch (const std::exception &) {
        // Out of memory or threads: nothing was committed, and the output
        // file's destructor has removed the temporary file.
        return NORVIK_CODEC_ERROR;
    }
}

} // namespace

extern "C" NORVIK_API int compress_file(char *source, char *target)
{
    return guarded(source, target, norvik::compress);
}

extern "C" NORVIK_API int decompress_file(char *source, char *target)
{
    return guarded(source, target, norvik::decompress);
}
