// libzstd in standard zstd frames, with the content size and a checksum, as
// the zstd command writes them; frames one after another, skippable ones
// among them, decompress as one file. Both contexts are kept from one call to
// the next. Decompressing takes at most the window a frame asks for, up to
// 128 MiB (zstd's default limit, the command's own); a frame asking for more
// is refused.
#define ZSTD_STATIC_LINKING_ONLY // contexts that allocate through the kept memory
#include "kept_memory.h"
#include "levels.h"
#include "stream.h"

#include <algorithm>
#include <optional>
#include <thread>
#include <zstd.h>

namespace fileio {

namespace {

constexpr int HighestOwnLevel = 19; // ZSTD_CLEVEL's, as the command reads it: higher levels need --ultra

ZSTD_customMem keptIn(KeptMemory &memory)
{
    return {[](void *kept, std::size_t size) { return KeptMemory::take(kept, size); },
            [](void *kept, void *block) { KeptMemory::give(kept, block); }, &memory};
}

class Encoder final : public Stream {
public:
    Encoder() : context_(made(ZSTD_createCCtx_advanced(keptIn(memory_)))) {}
    ~Encoder() override { ZSTD_freeCCtx(context_); }

    bool start(const Settings &settings) override
    {
        memory_.newCall();
        const int workers = settings.threads > 0 ? settings.threads : static_cast<int>(std::thread::hardware_concurrency());
        // One thread is the calling one: no workers. A libzstd without
        // threads refuses workers and compresses on the calling thread.
        (void)ZSTD_CCtx_setParameter(context_, ZSTD_c_nbWorkers, workers > 1 ? workers : 0);
        return !ZSTD_isError(ZSTD_CCtx_reset(context_, ZSTD_reset_session_only))
               && !ZSTD_isError(ZSTD_CCtx_setParameter(context_, ZSTD_c_compressionLevel, settings.level))
               && !ZSTD_isError(ZSTD_CCtx_setParameter(context_, ZSTD_c_checksumFlag, 1))
               && !ZSTD_isError(ZSTD_CCtx_setParameter(context_, ZSTD_c_contentSizeFlag, 1))
               && !ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(context_, settings.size));
    }

    Progress step(std::span<const char> in, std::span<char> out, bool last) override
    {
        ZSTD_inBuffer pending{in.data(), in.size(), 0};
        ZSTD_outBuffer produced{out.data(), out.size(), 0};
        const std::size_t remaining = ZSTD_compressStream2(context_, &produced, &pending, last ? ZSTD_e_end : ZSTD_e_continue);
        if (ZSTD_isError(remaining))
            return {0, 0, State::Failed};
        return {pending.pos, produced.pos, last && remaining == 0 && pending.pos == pending.size ? State::Ended : State::Going};
    }

    std::size_t kept() const override { return memory_.held(); }
    std::size_t resident() const override { return memory_.resident(); }
    // With room for the whole frame, zstd compresses a source given whole
    // straight into it, without copying it into a window of its own.
    std::size_t room() const override { return std::size_t(-1); }

private:
    KeptMemory memory_; // before the context, which gives its memory back first
    ZSTD_CCtx *context_;
};

// Its input goes in the pieces zstd asks for, a block at a time, so that each
// block's output reaches the writer while the next is decoded. A frame whose
// whole content fits inside the space the writer gives (its region) is decoded
// straight into it, which zstd then reads back as its window, with no window
// of its own to copy out of; another frame, or one that says no size, goes
// through zstd's window. The frame's content size also tells the file layer
// how large the output will be.
class Decoder final : public Stream {
public:
    Decoder() : context_(made(ZSTD_createDCtx_advanced(keptIn(memory_)))) {}
    ~Decoder() override { ZSTD_freeDCtx(context_); }

    bool start(const Settings &) override
    {
        memory_.newCall();
        stable_.reset();
        first_ = true;
        wanted_ = ZSTD_FRAMEHEADERSIZE_MAX; // the header first, then block by block
        return restart(false);
    }

    Progress step(std::span<const char> in, std::span<char> out, bool) override
    {
        if (first_) {
            first_ = false;
            const unsigned long long content = ZSTD_getFrameContentSize(in.data(), in.size());
            // Strictly less: a frame that filled the region would have it
            // written and started again before its checksum, out of place.
            if (content != ZSTD_CONTENTSIZE_UNKNOWN && content != ZSTD_CONTENTSIZE_ERROR && content < out.size() && restart(true))
                stable_ = ZSTD_outBuffer{out.data(), out.size(), 0};
        }
        // zstd holds the output to stay where it was: this is the same space, further on.
        if (stable_ && (out.data() != static_cast<char *>(stable_->dst) + stable_->pos || out.size() != stable_->size - stable_->pos))
            return {0, 0, State::Failed};
        // What zstd asks for next is the rest of a block: given just that, it
        // decodes the block from where it is, and the step ends with it.
        ZSTD_inBuffer pending{in.data(), std::min(in.size(), wanted_), 0};
        ZSTD_outBuffer free{out.data(), out.size(), 0};
        ZSTD_outBuffer &produced = stable_ ? *stable_ : free;
        const std::size_t before = produced.pos;
        const std::size_t hint = ZSTD_decompressStream(context_, &produced, &pending);
        if (ZSTD_isError(hint))
            return {0, 0, State::Failed};
        wanted_ = hint > 0 ? hint : ZSTD_DStreamInSize();
        const std::size_t made = produced.pos - before;
        // Between frames nothing is owed; one more frame may follow, through zstd's window.
        if (hint == 0 && stable_) {
            stable_.reset();
            if (!restart(false))
                return {pending.pos, made, State::Failed};
        }
        return {pending.pos, made, hint == 0 ? State::Ended : State::Going};
    }

    // A frame that fits is decoded into as much of the region as it needs.
    std::size_t room() const override { return std::size_t(-1); }

    unsigned long long outputSize(std::span<const char> start) const override
    {
        const unsigned long long content = ZSTD_getFrameContentSize(start.data(), start.size());
        return content == ZSTD_CONTENTSIZE_UNKNOWN || content == ZSTD_CONTENTSIZE_ERROR ? 0 : content;
    }

    std::size_t kept() const override { return memory_.held(); }
    std::size_t resident() const override { return memory_.resident(); }

private:
    bool restart(bool stable)
    {
        return !ZSTD_isError(ZSTD_DCtx_reset(context_, ZSTD_reset_session_only))
               && !ZSTD_isError(ZSTD_DCtx_setParameter(context_, ZSTD_d_stableOutBuffer, stable ? 1 : 0));
    }

    KeptMemory memory_;
    ZSTD_DCtx *context_;
    std::optional<ZSTD_outBuffer> stable_; // the frame's output, where it is decoded in place
    bool first_ = true;
    std::size_t wanted_ = 0; // the input zstd asked for last
};

// ZSTD_CLEVEL as the command reads it: at most 19.
std::optional<int> ownLevel()
{
    const std::optional<int> level = levels::wholeNumber(std::getenv("ZSTD_CLEVEL"));
    if (!level)
        return std::nullopt;
    return *level < ZSTD_minCLevel() ? ZSTD_minCLevel() : *level > HighestOwnLevel ? HighestOwnLevel : *level;
}

std::optional<int> ownThreads()
{
    return levels::wholeNumber(std::getenv("ZSTD_NBTHREADS"));
}

} // namespace

const Codec codec{"zstd", [] () -> std::unique_ptr<Stream> { return std::make_unique<Encoder>(); },
                  [] () -> std::unique_ptr<Stream> { return std::make_unique<Decoder>(); }, ownLevel, ownThreads};

} // namespace fileio
