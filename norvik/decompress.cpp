#include "codec.h"
#include "input_file.h"
#include "norvik.h"
#include "output_file.h"
#include "zstd_handles.h"

#include <algorithm>
#include <memory>

namespace norvik {

int decompress(const char *source, const char *target)
{
    InputFile input(source);
    if (!input.ok())
        return NORVIK_SOURCE_ERROR;
    OutputFile output(target, input.status());
    if (output.status() != NORVIK_OK)
        return output.status();

    // zstd's default window limit (128 MiB) bounds the memory any input can claim.
    DecompressionContext context(ZSTD_createDCtx());
    if (!context)
        return NORVIK_CODEC_ERROR;

    // Unzeroed, and no bigger than the file needs (see compress).
    const std::size_t chunk = std::min<unsigned long long>(ZSTD_DStreamInSize(), input.status().st_size + 1ULL);
    const std::unique_ptr<char[]> in(new char[chunk]);
    // Non-zero while a frame is open: the stream must end on a frame boundary,
    // and an empty source holds no frame at all.
    std::size_t unfinished = 1;
    for (;;) {
        long long got = input.readFull(in.get(), chunk);
        if (got < 0)
            return NORVIK_SOURCE_ERROR;
        ZSTD_inBuffer pending{in.get(), static_cast<std::size_t>(got), 0};
        // With the input used up, go on while zstd still has output to flush.
        bool progress = true;
        while (pending.pos < pending.size || (unfinished != 0 && progress)) {
            const std::span<char> space = output.space();
            ZSTD_outBuffer produced{space.data(), space.size(), 0};
            std::size_t before = pending.pos;
            unfinished = ZSTD_decompressStream(context.get(), &produced, &pending);
            if (ZSTD_isError(unfinished))
                return NORVIK_CODEC_ERROR;
            if (!output.advance(produced.pos))
                return NORVIK_TARGET_ERROR;
            progress = produced.pos > 0 || pending.pos > before;
        }
        if (static_cast<std::size_t>(got) < chunk)
            break;
    }
    if (unfinished != 0)
        return NORVIK_CODEC_ERROR;
    return output.commit();
}

} // namespace norvik
