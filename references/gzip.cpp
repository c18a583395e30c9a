// zlib's deflate in gzip's file format, as the gzip command reads and writes
// it (several members one after another decompress as one file). Each stream
// is reset for the next call, not made anew.
#include "kept_memory.h"
#include "stream.h"

#include <new>
#include <zlib.h>

namespace fileio {

namespace {

constexpr int GzipWindow = 15 + 16; // a 32 KiB window, with the gzip header and trailer

class Gzip final : public Stream {
public:
    explicit Gzip(bool encoding) : encoding_(encoding)
    {
        z_.zalloc = [](voidpf memory, uInt count, uInt size) { return KeptMemory::take(memory, count, size); };
        z_.zfree = [](voidpf memory, voidpf block) { KeptMemory::give(memory, block); };
        z_.opaque = &memory_;
        const int made = encoding_ ? deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, GzipWindow, 8, Z_DEFAULT_STRATEGY)
                                   : inflateInit2(&z_, GzipWindow);
        if (made != Z_OK)
            throw std::bad_alloc();
    }
    ~Gzip() override { encoding_ ? deflateEnd(&z_) : inflateEnd(&z_); }

    bool start(const Settings &settings) override
    {
        memory_.newCall();
        ended_ = false;
        if (!encoding_)
            return inflateReset(&z_) == Z_OK;
        return deflateReset(&z_) == Z_OK && deflateParams(&z_, settings.level, Z_DEFAULT_STRATEGY) == Z_OK;
    }

    Progress step(std::span<const char> in, std::span<char> out, bool last) override
    {
        if (ended_ && !in.empty()) { // another member
            inflateReset(&z_);
            ended_ = false;
        }
        z_.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
        z_.avail_in = static_cast<uInt>(in.size());
        z_.next_out = reinterpret_cast<Bytef *>(out.data());
        z_.avail_out = static_cast<uInt>(out.size());
        const int result = encoding_ ? deflate(&z_, last ? Z_FINISH : Z_NO_FLUSH) : inflate(&z_, Z_NO_FLUSH);
        ended_ = result == Z_STREAM_END;
        const State state = ended_ ? State::Ended : result == Z_OK || result == Z_BUF_ERROR ? State::Going : State::Failed;
        return {in.size() - z_.avail_in, out.size() - z_.avail_out, state};
    }

    std::size_t kept() const override { return memory_.held(); }
    std::size_t resident() const override { return memory_.resident(); }

private:
    KeptMemory memory_; // before the stream, which gives its memory back first
    z_stream z_{};
    bool encoding_;
    bool ended_ = false;
};

} // namespace

const Codec codec{"zlib", [] () -> std::unique_ptr<Stream> { return std::make_unique<Gzip>(true); },
                  [] () -> std::unique_ptr<Stream> { return std::make_unique<Gzip>(false); }};

} // namespace fileio
