// liblzma in the xz file format with a CRC64 check, as the xz command writes
// it; concatenated streams decompress as one file, as the command reads them.
#include "stream.h"

#include <lzma.h>
#include <new>

namespace reference {

namespace {

class Xz final : public Stream {
public:
    explicit Xz(int level)
    {
        const lzma_ret made = level >= 0 ? lzma_easy_encoder(&z_, static_cast<uint32_t>(level), LZMA_CHECK_CRC64)
                                         : lzma_stream_decoder(&z_, UINT64_MAX, LZMA_CONCATENATED);
        if (made != LZMA_OK)
            throw std::bad_alloc();
    }
    ~Xz() override { lzma_end(&z_); }

    Progress step(std::span<const char> in, std::span<char> out, bool last) override
    {
        z_.next_in = reinterpret_cast<const uint8_t *>(in.data());
        z_.avail_in = in.size();
        z_.next_out = reinterpret_cast<uint8_t *>(out.data());
        z_.avail_out = out.size();
        const lzma_ret result = lzma_code(&z_, last ? LZMA_FINISH : LZMA_RUN);
        const State state = result == LZMA_STREAM_END                          ? State::Ended
                            : result == LZMA_OK || result == LZMA_BUF_ERROR ? State::Going
                                                                              : State::Failed;
        return {in.size() - z_.avail_in, out.size() - z_.avail_out, state};
    }

private:
    lzma_stream z_ = LZMA_STREAM_INIT;
};

} // namespace

const Codec codec{0, 9, 6, [](int level, unsigned long long) -> std::unique_ptr<Stream> { return std::make_unique<Xz>(level); },
                  []() -> std::unique_ptr<Stream> { return std::make_unique<Xz>(-1); }};

} // namespace reference
