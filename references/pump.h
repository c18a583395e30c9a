// A run of a reference library: the source through a stream into the target.
#pragma once

#include "stream.h"

#include <functional>

namespace reference {

// Reads `source`, runs it through the stream `make` gives, and writes the
// target as the default library does (see norvik.h). Returns a norvik_result.
int run(const char *source, const char *target, const std::function<std::unique_ptr<Stream>(unsigned long long size)> &make);

} // namespace reference
