// libbrotli in its raw stream format, as the brotli command writes it: the
// quality is the level (11 by default, as the command's), and the window is
// the command's choice for the file's size. One stream a file. libbrotli
// cannot reset its state: each call makes it anew, in the memory the last
// call gave back.
#include "kept_memory.h"
#include "stream.h"

#include <brotli/decode.h>
#include <brotli/encode.h>

namespace fileio {

namespace {

// The smallest window that holds the whole file, as the command picks it.
int windowFor(unsigned long long size)
{
    int bits = BROTLI_MIN_WINDOW_BITS;
    while ((1ull << bits) - 16 < size && bits < BROTLI_MAX_WINDOW_BITS)
        ++bits;
    return bits;
}

void *take(void *memory, std::size_t size)
{
    return KeptMemory::take(memory, size);
}

void give(void *memory, void *block)
{
    KeptMemory::give(memory, block);
}

class BrotliEncoder final : public Stream {
public:
    ~BrotliEncoder() override { BrotliEncoderDestroyInstance(state_); }

    bool start(const Settings &settings) override
    {
        BrotliEncoderDestroyInstance(state_);
        memory_.newCall();
        state_ = BrotliEncoderCreateInstance(take, give, &memory_);
        const auto size = static_cast<uint32_t>(settings.size < (1u << 30) ? settings.size : 1u << 30);
        return state_ && BrotliEncoderSetParameter(state_, BROTLI_PARAM_QUALITY, static_cast<uint32_t>(settings.level))
               && BrotliEncoderSetParameter(state_, BROTLI_PARAM_LGWIN, static_cast<uint32_t>(windowFor(settings.size)))
               && BrotliEncoderSetParameter(state_, BROTLI_PARAM_SIZE_HINT, size);
    }

    Progress step(std::span<const char> in, std::span<char> out, bool last) override
    {
        std::size_t available = in.size(), space = out.size();
        const auto *next = reinterpret_cast<const uint8_t *>(in.data());
        auto *into = reinterpret_cast<uint8_t *>(out.data());
        if (!BrotliEncoderCompressStream(state_, last ? BROTLI_OPERATION_FINISH : BROTLI_OPERATION_PROCESS, &available,
                                         &next, &space, &into, nullptr))
            return {0, 0, State::Failed};
        return {in.size() - available, out.size() - space, BrotliEncoderIsFinished(state_) ? State::Ended : State::Going};
    }

    std::size_t kept() const override { return memory_.held(); }
    std::size_t resident() const override { return memory_.resident(); }

private:
    KeptMemory memory_; // before the state, which gives its memory back first
    BrotliEncoderState *state_ = nullptr;
};

class BrotliDecoder final : public Stream {
public:
    ~BrotliDecoder() override { BrotliDecoderDestroyInstance(state_); }

    bool start(const Settings &) override
    {
        BrotliDecoderDestroyInstance(state_);
        memory_.newCall();
        state_ = BrotliDecoderCreateInstance(take, give, &memory_);
        return state_ != nullptr;
    }

    Progress step(std::span<const char> in, std::span<char> out, bool) override
    {
        std::size_t available = in.size(), space = out.size();
        const auto *next = reinterpret_cast<const uint8_t *>(in.data());
        auto *into = reinterpret_cast<uint8_t *>(out.data());
        const BrotliDecoderResult result = BrotliDecoderDecompressStream(state_, &available, &next, &space, &into, nullptr);
        // Anything after the end of the stream is left untaken, which the
        // run refuses: it is not brotli.
        const State state = result == BROTLI_DECODER_RESULT_SUCCESS ? State::Ended
                            : result == BROTLI_DECODER_RESULT_ERROR ? State::Failed
                                                                    : State::Going;
        return {in.size() - available, out.size() - space, state};
    }

    std::size_t kept() const override { return memory_.held(); }
    std::size_t resident() const override { return memory_.resident(); }

private:
    KeptMemory memory_;
    BrotliDecoderState *state_ = nullptr;
};

} // namespace

const Codec codec{"brotli", [] () -> std::unique_ptr<Stream> { return std::make_unique<BrotliEncoder>(); },
                  [] () -> std::unique_ptr<Stream> { return std::make_unique<BrotliDecoder>(); }};

} // namespace fileio
