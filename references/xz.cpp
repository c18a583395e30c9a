// liblzma in the xz file format with a CRC64 check, as the xz command writes
// it; concatenated streams decompress as one file, as the command reads them.
// With BREVIMETER_THREADS past 1, the multithreaded encoder with that many
// threads, as `xz -T N` (its blocks, its output); else, as the command by
// default, one thread. The stream is started again on the same coder, which
// keeps its memory. (liblzma's own allocator, which gets zeroed memory from
// the system for free: through an allocator of ours it would zero every page
// of an encoder's tables itself.)
#include "stream.h"

#include <lzma.h>
#include <new>

namespace fileio {

namespace {

class Xz final : public Stream {
public:
    explicit Xz(bool encoding) : encoding_(encoding) {}
    ~Xz() override { lzma_end(&z_); }

    bool start(const Settings &settings) override
    {
        if (!encoding_)
            return lzma_stream_decoder(&z_, UINT64_MAX, LZMA_CONCATENATED) == LZMA_OK;
        if (settings.threads <= 1)
            return lzma_easy_encoder(&z_, static_cast<uint32_t>(settings.level), LZMA_CHECK_CRC64) == LZMA_OK;
        lzma_mt threaded{};
        threaded.threads = static_cast<uint32_t>(settings.threads);
        threaded.preset = static_cast<uint32_t>(settings.level);
        threaded.check = LZMA_CHECK_CRC64;
        return lzma_stream_encoder_mt(&z_, &threaded) == LZMA_OK;
    }

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

    std::size_t kept() const override { return static_cast<std::size_t>(lzma_memusage(&z_)); }

private:
    lzma_stream z_ = LZMA_STREAM_INIT;
    bool encoding_;
};

} // namespace

const Codec codec{"xz", [] () -> std::unique_ptr<Stream> { return std::make_unique<Xz>(true); },
                  [] () -> std::unique_ptr<Stream> { return std::make_unique<Xz>(false); }};

} // namespace fileio
