// The compression settings of a run, from the environment: BREVIMETER_LEVEL,
// the level every Brevimeter library reads, and else the variables the zstd
// command reads, so that the same variables give the same files: ZSTD_CLEVEL
// (the level, 3 by default) and ZSTD_NBTHREADS (worker threads, all cores by
// default; 0 also means all cores). A value that is not a whole number is
// ignored, as the command ignores it; a level past 19 is 19.
#pragma once

namespace norvik {

struct Settings {
    int level = 3;
    int workers = 0;
};

Settings settingsFromEnvironment();

} // namespace norvik
