// liblz4 in the LZ4 frame format as `lz4 --content-size` writes it: the
// command's 4 MB blocks and content checksum, and the content's size in the
// header, which lets a decoder know at once how large the output will be.
// Levels past 2 are LZ4 HC, as in the command.
// As the command does, a file smaller than a block is compressed in one call,
// which picks the smallest block size and tables that fit it. Concatenated
// frames decompress as one file. Both contexts, and the buffers a whole file
// is held in, are kept for the next call.
#define LZ4F_STATIC_LINKING_ONLY // the contexts' allocator, and one-call frames on a kept context
#include "kept_memory.h"
#include "stream.h"

#include <algorithm>
#include <cstring>
#include <lz4frame.h>
#include <vector>

namespace fileio {

namespace {

// The contexts' allocations, from memory kept for them.
LZ4F_CustomMem keptIn(KeptMemory &memory)
{
    return {[](void *kept, std::size_t size) { return KeptMemory::take(kept, size); }, nullptr,
            [](void *kept, void *block) { KeptMemory::give(kept, block); }, &memory};
}

class Lz4Encoder final : public Stream {
public:
    Lz4Encoder() : context_(made(LZ4F_createCompressionContext_advanced(keptIn(memory_), LZ4F_VERSION))) {}
    ~Lz4Encoder() override { LZ4F_freeCompressionContext(context_); }

    bool start(const Settings &settings) override
    {
        memory_.newCall();
        prefs_ = LZ4F_preferences_t{};
        prefs_.compressionLevel = settings.level;
        prefs_.frameInfo.blockSizeID = LZ4F_max4MB;
        prefs_.frameInfo.blockMode = LZ4F_blockLinked;
        prefs_.frameInfo.contentChecksumFlag = LZ4F_contentChecksumEnabled;
        prefs_.frameInfo.contentSize = settings.size;
        whole_ = settings.size < BlockSize;
        size_ = settings.size;
        held_.clear();
        waiting_ = {};
        started_ = finishing_ = false;
        return true;
    }

    std::size_t kept() const override { return memory_.held() + held_.capacity() + staged_.capacity(); }
    std::size_t resident() const override { return memory_.resident() + held_.capacity() + staged_.capacity(); }
    std::size_t room() const override { return std::size_t(-1); } // a whole small file's frame, in place

    // The frame API wants room for a whole block at every call, more than the
    // target's space holds: it writes here, and this is copied out.
    Progress step(std::span<const char> in, std::span<char> out, bool last) override
    {
        Progress progress;
        // The whole file at once, with room for the frame: straight from the source into the target.
        if (whole_ && held_.empty() && !finishing_ && last && in.size() == size_
            && out.size() >= LZ4F_compressFrameBound(in.size(), &prefs_)) {
            const std::size_t made = LZ4F_compressFrame_usingCDict(context_, out.data(), out.size(), in.data(), in.size(), nullptr, &prefs_);
            return LZ4F_isError(made) ? Progress{0, 0, State::Failed} : Progress{in.size(), made, State::Ended};
        }
        if (whole_ && waiting_.empty() && !finishing_) {
            held_.insert(held_.end(), in.begin(), in.end());
            progress.used = in.size();
            if (last) {
                staged_.resize(LZ4F_compressFrameBound(held_.size(), &prefs_));
                const std::size_t made = LZ4F_compressFrame_usingCDict(context_, staged_.data(), staged_.size(), held_.data(),
                                                                       held_.size(), nullptr, &prefs_);
                if (LZ4F_isError(made))
                    return {0, 0, State::Failed};
                waiting_ = std::span<const char>(staged_.data(), made);
                finishing_ = true;
            }
        } else if (waiting_.empty()) {
            const std::size_t take = std::min<std::size_t>(in.size(), Slice);
            staged_.resize(LZ4F_compressBound(Slice, &prefs_) + LZ4F_HEADER_SIZE_MAX);
            std::size_t made = 0;
            if (!started_) {
                made = LZ4F_compressBegin(context_, staged_.data(), staged_.size(), &prefs_);
                started_ = true;
            }
            if (!LZ4F_isError(made) && take > 0)
                made = add(made, LZ4F_compressUpdate(context_, staged_.data() + made, staged_.size() - made, in.data(), take, nullptr));
            if (!LZ4F_isError(made) && last && take == in.size()) {
                made = add(made, LZ4F_compressEnd(context_, staged_.data() + made, staged_.size() - made, nullptr));
                finishing_ = true;
            }
            if (LZ4F_isError(made))
                return {0, 0, State::Failed};
            waiting_ = std::span<const char>(staged_.data(), made);
            progress.used = take;
        }
        progress.made = std::min(waiting_.size(), out.size());
        if (progress.made > 0) // nothing is waiting until a whole small file is in
            std::memcpy(out.data(), waiting_.data(), progress.made);
        waiting_ = waiting_.subspan(progress.made);
        progress.state = finishing_ && waiting_.empty() ? State::Ended : State::Going;
        return progress;
    }

private:
    static constexpr std::size_t Slice = std::size_t(64) << 10;
    static constexpr unsigned long long BlockSize = 4ull << 20;

    static std::size_t add(std::size_t before, std::size_t result)
    {
        return LZ4F_isError(result) ? result : before + result;
    }

    KeptMemory memory_; // before the context, which gives its memory back first
    LZ4F_cctx *context_;
    LZ4F_preferences_t prefs_{};
    bool whole_ = false;
    unsigned long long size_ = 0;
    std::vector<char> held_, staged_;
    std::span<const char> waiting_;
    bool started_ = false, finishing_ = false;
};

class Lz4Decoder final : public Stream {
    static constexpr std::size_t BlockSize = std::size_t(4) << 20;

public:
    Lz4Decoder() : context_(made(LZ4F_createDecompressionContext_advanced(keptIn(memory_), LZ4F_VERSION))) {}
    ~Lz4Decoder() override { LZ4F_freeDecompressionContext(context_); }

    bool start(const Settings &) override
    {
        memory_.newCall();
        LZ4F_resetDecompressionContext(context_);
        return true;
    }

    std::size_t kept() const override { return memory_.held(); }
    std::size_t resident() const override { return memory_.resident(); }

    // With room for a block, lz4 decodes it in place; with the whole block
    // in the source, from where it is.
    std::size_t room() const override { return BlockSize; }
    bool readsWhole() const override { return true; }

    // A frame header's content size: the magic number, then a flag byte
    // (version 01, bit 3 for the size) and a block byte, then the size.
    unsigned long long outputSize(std::span<const char> start) const override
    {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(start[at]); };
        if (start.size() < 14 || byte(0) != 0x04 || byte(1) != 0x22 || byte(2) != 0x4d || byte(3) != 0x18 || (byte(4) & 0xc8) != 0x48)
            return 0;
        unsigned long long size = 0;
        for (std::size_t at = 13; at >= 6; --at)
            size = size << 8 | byte(at);
        return size;
    }

    Progress step(std::span<const char> in, std::span<char> out, bool) override
    {
        std::size_t used = in.size(), made = out.size();
        const std::size_t hint = LZ4F_decompress(context_, out.data(), &made, in.data(), &used, nullptr);
        if (LZ4F_isError(hint))
            return {used, made, State::Failed};
        // Between frames nothing is owed; one more frame may follow.
        return {used, made, hint == 0 ? State::Ended : State::Going};
    }

private:
    KeptMemory memory_;
    LZ4F_dctx *context_;
};

} // namespace

const Codec codec{"lz4", [] () -> std::unique_ptr<Stream> { return std::make_unique<Lz4Encoder>(); },
                  [] () -> std::unique_ptr<Stream> { return std::make_unique<Lz4Decoder>(); }};

} // namespace fileio
