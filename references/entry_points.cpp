// The two entry points of a reference library, and its level.
#include "norvik.h"
#include "pump.h"

#include <cstdlib>
#include <exception>

namespace {

// BREVIMETER_LEVEL when it is a whole number, kept within the codec's
// levels; the codec's own default otherwise.
int level()
{
    const char *text = std::getenv("BREVIMETER_LEVEL");
    char *end = nullptr;
    const long value = text && *text ? std::strtol(text, &end, 10) : 0;
    if (!text || !*text || *end != '\0')
        return reference::codec.standard;
    return static_cast<int>(value < reference::codec.lowest    ? reference::codec.lowest
                            : value > reference::codec.highest ? reference::codec.highest
                                                               : value);
}

template <typename Make>
int guarded(const char *source, const char *target, Make make) noexcept
{
    if (source == nullptr || target == nullptr || *source == '\0' || *target == '\0')
        return NORVIK_BAD_ARGUMENT;
    try {
        return reference::run(source, target, make);
    } catch (const std::exception &) {
        return NORVIK_CODEC_ERROR; // no memory: nothing was committed
    }
}

} // namespace

extern "C" NORVIK_API int compress_file(char *source, char *target)
{
    const int chosen = level();
    return guarded(source, target, [chosen](unsigned long long size) { return reference::codec.encoder(chosen, size); });
}

extern "C" NORVIK_API int decompress_file(char *source, char *target)
{
    return guarded(source, target, [](unsigned long long) { return reference::codec.decoder(); });
}
