// The two runs behind the entry points; paths are already checked to be non-empty.
#pragma once

namespace norvik {

int compress(const char *source, const char *target);
int decompress(const char *source, const char *target);

} // namespace norvik
