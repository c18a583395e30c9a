#include "codec.h"
#include "input_file.h"
#include "norvik.h"
#include "output_file.h"
#include "workspace.h"

namespace norvik {

int decompress(const char *source, const char *target)
{
    InputFile input(source);
    if (!input.ok())
        return NORVIK_SOURCE_ERROR;
    WorkspaceLease workspace;
    OutputFile output(target, input.status(), *workspace);
    if (output.status() != NORVIK_OK)
        return output.status();

    // zstd's default window limit (128 MiB) bounds the memory any input can claim.
    if (!workspace->decompression)
        workspace->decompression.reset(ZSTD_createDCtx());
    ZSTD_DCtx *context = workspace->decompression.get();
    if (!context || ZSTD_isError(ZSTD_DCtx_reset(context, ZSTD_reset_session_only)))
        return NORVIK_CODEC_ERROR;

    // zstd's own input size: a first call touches no more of the buffer than
    // that, and a page first touched costs a fault.
    char *in = workspace->input.get();
    const std::size_t chunk = ZSTD_DStreamInSize();
    // Non-zero while a frame is open: the stream must end on a frame boundary,
    // and an empty source holds no frame at all.
    std::size_t unfinished = 1;
    for (;;) {
        long long got = input.readFull(in, chunk);
        if (got < 0)
            return NORVIK_SOURCE_ERROR;
        ZSTD_inBuffer pending{in, static_cast<std::size_t>(got), 0};
        // With the input used up, go on while zstd still has output to flush.
        bool progress = true;
        while (pending.pos < pending.size || (unfinished != 0 && progress)) {
            const std::span<char> space = output.space();
            ZSTD_outBuffer produced{space.data(), space.size(), 0};
            std::size_t before = pending.pos;
            unfinished = ZSTD_decompressStream(context, &produced, &pending);
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
