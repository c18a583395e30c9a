// Owning handles for zstd's contexts.
#pragma once

#include <memory>
#include <zstd.h>

namespace norvik {

struct CompressionContextFree {
    void operator()(ZSTD_CCtx *context) const { ZSTD_freeCCtx(context); }
};
struct DecompressionContextFree {
    void operator()(ZSTD_DCtx *context) const { ZSTD_freeDCtx(context); }
};
using CompressionContext = std::unique_ptr<ZSTD_CCtx, CompressionContextFree>;
using DecompressionContext = std::unique_ptr<ZSTD_DCtx, DecompressionContextFree>;

} // namespace norvik
