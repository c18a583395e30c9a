// The codec libraries a library under test brought into the worker, with
// their versions as each reports its own: "libzstd 1.5.4, liblzma 5.4.1".
#pragma once

#include <string>

namespace worker {

std::string loadedCodecs();

} // namespace worker
