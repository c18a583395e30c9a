#include "codec.h"
#include "input_file.h"
#include "norvik.h"
#include "output_file.h"
#include "settings.h"
#include "workspace.h"

namespace norvik {

namespace {

// The workspace's compression context, made on first use and set for a new
// frame of `contentSize` bytes; nothing when zstd refuses.
ZSTD_CCtx *prepared(Workspace &workspace, unsigned long long contentSize)
{
    if (!workspace.compression)
        workspace.compression.reset(ZSTD_createCCtx());
    ZSTD_CCtx *context = workspace.compression.get();
    const Settings settings = settingsFromEnvironment();
    if (!context || ZSTD_isError(ZSTD_CCtx_reset(context, ZSTD_reset_session_only))
        || ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, settings.level))
        || ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1))
        || ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, 1))
        || ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(context, contentSize)))
        return nullptr;
    // Worker threads where libzstd has them; a build without them compresses
    // on the calling thread, which is still correct.
    if (settings.workers > 1)
        (void)ZSTD_CCtx_setParameter(context, ZSTD_c_nbWorkers, settings.workers);
    return context;
}

} // namespace

int compress(const char *source, const char *target)
{
    InputFile input(source);
    if (!input.ok())
        return NORVIK_SOURCE_ERROR;
    WorkspaceLease workspace;
    OutputFile output(target, input.status(), *workspace);
    if (output.status() != NORVIK_OK)
        return output.status();
    const auto contentSize = static_cast<unsigned long long>(input.status().st_size);
    ZSTD_CCtx *context = prepared(*workspace, contentSize);
    if (!context)
        return NORVIK_CODEC_ERROR;

    char *in = workspace->input.get();
    unsigned long long total = 0;
    bool last = false;
    while (!last) {
        long long got = input.readFull(in, Workspace::BufferSize);
        if (got < 0)
            return NORVIK_SOURCE_ERROR;
        total += static_cast<unsigned long long>(got);
        last = static_cast<std::size_t>(got) < Workspace::BufferSize;
        if (total > contentSize || (last && total != contentSize))
            return NORVIK_SOURCE_CHANGED;

        ZSTD_EndDirective mode = last ? ZSTD_e_end : ZSTD_e_continue;
        ZSTD_inBuffer pending{in, static_cast<std::size_t>(got), 0};
        bool finished = false;
        while (!finished) {
            const std::span<char> space = output.space();
            ZSTD_outBuffer produced{space.data(), space.size(), 0};
            std::size_t remaining = ZSTD_compressStream2(context, &produced, &pending, mode);
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
