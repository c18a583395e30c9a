#include "codec.h"
#include "input_file.h"
#include "norvik.h"
#include "output_file.h"
#include "zstd_handles.h"

#include <algorithm>
#include <memory>
#include <thread>

namespace norvik {

namespace {

constexpr int Level = 3;
constexpr std::size_t ChunkSize = std::size_t(1) << 20;

bool configure(ZSTD_CCtx *context, unsigned long long contentSize)
{
    if (ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, Level))
        || ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1))
        || ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, 1))
        || ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(context, contentSize)))
        return false;
    // Worker threads where libzstd has them; a build without them compresses
    // on the calling thread, which is still correct.
    unsigned cores = std::thread::hardware_concurrency();
    if (cores > 1)
        (void)ZSTD_CCtx_setParameter(context, ZSTD_c_nbWorkers, static_cast<int>(cores));
    return true;
}

} // namespace

int compress(const char *source, const char *target)
{
    InputFile input(source);
    if (!input.ok())
        return NORVIK_SOURCE_ERROR;
    OutputFile output(target, input.status());
    if (output.status() != NORVIK_OK)
        return output.status();

    CompressionContext context(ZSTD_createCCtx());
    const auto contentSize = static_cast<unsigned long long>(input.status().st_size);
    if (!context || !configure(context.get(), contentSize))
        return NORVIK_CODEC_ERROR;

    // Unzeroed, and no bigger than the file needs: fresh pages cost a fault
    // each, which would outweigh compressing a small file.
    const std::size_t chunk = std::min<unsigned long long>(ChunkSize, contentSize + 1);
    const std::unique_ptr<char[]> in(new char[chunk]);
    unsigned long long total = 0;
    bool last = false;
    while (!last) {
        long long got = input.readFull(in.get(), chunk);
        if (got < 0)
            return NORVIK_SOURCE_ERROR;
        total += static_cast<unsigned long long>(got);
        last = static_cast<std::size_t>(got) < chunk;
        if (total > contentSize || (last && total != contentSize))
            return NORVIK_SOURCE_CHANGED;

        ZSTD_EndDirective mode = last ? ZSTD_e_end : ZSTD_e_continue;
        ZSTD_inBuffer pending{in.get(), static_cast<std::size_t>(got), 0};
        bool finished = false;
        while (!finished) {
            const std::span<char> space = output.space();
            ZSTD_outBuffer produced{space.data(), space.size(), 0};
            std::size_t remaining = ZSTD_compressStream2(context.get(), &produced, &pending, mode);
            if (ZSTD_isError(remaining))
                return NORVIK_CODEC_ERROR;
            if (!output.advance(produced.pos))
                return NORVIK_TARGET_ERROR;
            finished = last ? remaining == 0 : pending.pos == pending.size;
        }
    }
    return output.commit();
}

} // namespace norvik
