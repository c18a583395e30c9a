// The two entry points every shipped library exports: argument checks and
// the exception boundary, in front of the one pump.
#include "norvik.h"
#include "pump.h"

#include <exception>

namespace {

int guarded(const char *source, const char *target, fileio::Direction direction) noexcept
{
    if (source == nullptr || target == nullptr || *source == '\0' || *target == '\0')
        return NORVIK_BAD_ARGUMENT;
    try {
        return fileio::run(source, target, direction);
    } catch (const std::exception &) {
        // Out of memory or threads: nothing was committed, and the output
        // file's destructor has removed the temporary file.
        return NORVIK_CODEC_ERROR;
    }
}

} // namespace

extern "C" NORVIK_API int compress_file(char *source, char *target)
{
    return guarded(source, target, fileio::Direction::Compress);
}

extern "C" NORVIK_API int decompress_file(char *source, char *target)
{
    return guarded(source, target, fileio::Direction::Decompress);
}
