// libbrotli in its raw stream format, as the brotli command writes it: the
// quality is the level (11 by default, as the command's), and the window is
// the command's choice for the file's size. One stream a file.
#include "stream.h"

#include <brotli/decode.h>
#include <brotli/encode.h>
#include <new>

namespace reference {

namespace {

// The smallest window that holds the whole file, as the command picks it.
int windowFor(unsigned long long size)
{
    int bits = BROTLI_MIN_WINDOW_BITS;
    while ((1ull << bits) - 16 < size && bits < BROTLI_MAX_WINDOW_BITS)
        ++bits;
    return bits;
}

class BrotliEncoder final : public Stream {
public:
    BrotliEncoder(int level, unsigned long long size) : state_(BrotliEncoderCreateInstance(nullptr, nullptr, nullptr))
    {
        if (!state_)
            throw std::bad_alloc();
        BrotliEncoderSetParameter(state_, BROTLI_PARAM_QUALITY, static_cast<uint32_t>(level));
        BrotliEncoderSetParameter(state_, BROTLI_PARAM_LGWIN, static_cast<uint32_t>(windowFor(size)));
        BrotliEncoderSetParameter(state_, BROTLI_PARAM_SIZE_HINT, static_cast<uint32_t>(size < (1u << 30) ? size : 1u << 30));
    }
    ~BrotliEncoder() override { BrotliEncoderDestroyInstance(state_); }

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

private:
    BrotliEncoderState *state_;
};

class BrotliDecoder final : public Stream {
public:
    BrotliDecoder() : state_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr))
    {
        if (!state_)
            throw std::bad_alloc();
    }
    ~BrotliDecoder() override { BrotliDecoderDestroyInstance(state_); }

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

private:
    BrotliDecoderState *state_;
};

} // namespace

const Codec codec{0, 11, 11,
                  [](int level, unsigned long long size) -> std::unique_ptr<Stream> { return std::make_unique<BrotliEncoder>(level, size); },
                  []() -> std::unique_ptr<Stream> { return std::make_unique<BrotliDecoder>(); }};

} // namespace reference
