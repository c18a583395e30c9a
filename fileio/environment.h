// A call's settings from the environment, by one rule for every shipped
// library: BREVIMETER_LEVEL, kept within the library's levels (one past
// either end is that end), and BREVIMETER_THREADS (at most 200), each read as
// levels::wholeNumber reads it, an empty or other value being no value. Where
// one is not set, the codec's own variable (ZSTD_CLEVEL, ZSTD_NBTHREADS for
// zstd), and else its default: the table's level, and the codec's own
// threads (0).
#pragma once

#include "stream.h"

namespace fileio {

Settings settingsFromEnvironment(const Codec &codec, unsigned long long size);

} // namespace fileio
