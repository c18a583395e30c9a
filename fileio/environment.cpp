#include "environment.h"

#include "levels.h"

#include <algorithm>

namespace fileio {

namespace {

constexpr int MostThreads = 200;

} // namespace

Settings settingsFromEnvironment(const Codec &codec, unsigned long long size)
{
    const levels::Library &library = *levels::find(codec.name);
    Settings settings;
    settings.size = size;
    std::optional<int> level = levels::wholeNumber(std::getenv("BREVIMETER_LEVEL"));
    if (!level && codec.ownLevel)
        level = codec.ownLevel();
    settings.level = level ? levels::within(library, *level) : library.standard;
    std::optional<int> threads = levels::wholeNumber(std::getenv("BREVIMETER_THREADS"));
    if ((!threads || *threads < 0) && codec.ownThreads)
        threads = codec.ownThreads();
    settings.threads = threads && *threads > 0 ? std::min(*threads, MostThreads) : 0;
    return settings;
}

} // namespace fileio
