// A call of a shipped library: the source through the codec's stream into the
// target.
#pragma once

namespace fileio {

enum class Direction { Compress, Decompress };

// Reads `source`, runs it through the codec's stream that way, and writes the
// target by the careful replace (see norvik.h). Returns a norvik_result.
int run(const char *source, const char *target, Direction direction);

} // namespace fileio
