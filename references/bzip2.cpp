// libbz2 in the bzip2 file format; the level is the block size in 100 kB, as
// the command's -1 to -9. Concatenated streams decompress as one file.
#include "stream.h"

#include <bzlib.h>
#include <new>

namespace reference {

namespace {

constexpr int WorkFactor = 30; // the command's

class Bzip2 final : public Stream {
public:
    explicit Bzip2(int level) : encoding_(level > 0)
    {
        start(level);
    }
    ~Bzip2() override { end(); }

    Progress step(std::span<const char> in, std::span<char> out, bool last) override
    {
        if (ended_ && !in.empty()) { // another stream
            end();
            start(-1);
            ended_ = false;
        }
        z_.next_in = const_cast<char *>(in.data());
        z_.avail_in = static_cast<unsigned>(in.size());
        z_.next_out = out.data();
        z_.avail_out = static_cast<unsigned>(out.size());
        const int result = encoding_ ? BZ2_bzCompress(&z_, last ? BZ_FINISH : BZ_RUN) : BZ2_bzDecompress(&z_);
        ended_ = result == BZ_STREAM_END;
        const State state = ended_ ? State::Ended : result >= 0 ? State::Going : State::Failed;
        return {in.size() - z_.avail_in, out.size() - z_.avail_out, state};
    }

private:
    void start(int level)
    {
        z_ = bz_stream{};
        if ((encoding_ ? BZ2_bzCompressInit(&z_, level, 0, WorkFactor) : BZ2_bzDecompressInit(&z_, 0, 0)) != BZ_OK)
            throw std::bad_alloc();
    }
    void end() { encoding_ ? BZ2_bzCompressEnd(&z_) : BZ2_bzDecompressEnd(&z_); }

    bz_stream z_{};
    bool encoding_;
    bool ended_ = false;
};

} // namespace

const Codec codec{1, 9, 9, [](int level, unsigned long long) -> std::unique_ptr<Stream> { return std::make_unique<Bzip2>(level); },
                  []() -> std::unique_ptr<Stream> { return std::make_unique<Bzip2>(0); }};

} // namespace reference
