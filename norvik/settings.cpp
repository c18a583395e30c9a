#include "settings.h"

#include <cstdlib>
#include <thread>
#include <zstd.h>

namespace norvik {

namespace {

constexpr int HighestLevel = 19; // higher levels need the command's --ultra

// A whole number with an optional sign, as the zstd command reads one.
bool wholeNumber(const char *text, bool sign, long &value)
{
    if (!text)
        return false;
    const char *digits = sign && (*text == '-' || *text == '+') ? text + 1 : text;
    if (*digits < '0' || *digits > '9')
        return false;
    char *end = nullptr;
    value = std::strtol(text, &end, 10);
    return *end == '\0' && value > -(1L << 31) && value < (1L << 31);
}

} // namespace

Settings settingsFromEnvironment()
{
    Settings settings;
    long value = 0;
    const char *level = std::getenv("BREVIMETER_LEVEL");
    if (wholeNumber(level && *level ? level : std::getenv("ZSTD_CLEVEL"), true, value))
        settings.level = static_cast<int>(value < ZSTD_minCLevel() ? ZSTD_minCLevel() : value > HighestLevel ? HighestLevel : value);
    if (wholeNumber(std::getenv("ZSTD_NBTHREADS"), false, value))
        settings.workers = static_cast<int>(value > 200 ? 200 : value);
    if (settings.workers == 0)
        settings.workers = static_cast<int>(std::thread::hardware_concurrency());
    return settings;
}

} // namespace norvik
