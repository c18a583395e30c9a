// libbz2 in the bzip2 file format; the level is the block size in 100 kB, as
// the command's -1 to -9. Concatenated streams decompress as one file. libbz2
// cannot reset a stream: each call makes it anew, in the memory the last call
// gave back.
#include "kept_memory.h"
#include "stream.h"

#include <bzlib.h>

namespace fileio {

namespace {

constexpr int WorkFactor = 30; // the command's

class Bzip2 final : public Stream {
public:
    explicit Bzip2(bool encoding) : encoding_(encoding) {}
    ~Bzip2() override { end(); }

    bool start(const Settings &settings) override
    {
        memory_.newCall();
        end();
        ended_ = false;
        return begin(settings.level);
    }

    Progress step(std::span<const char> in, std::span<char> out, bool last) override
    {
        if (ended_ && !in.empty()) { // another stream
            end();
            ended_ = false;
            if (!begin(0))
                return {0, 0, State::Failed};
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

    std::size_t kept() const override { return memory_.held(); }
    std::size_t resident() const override { return memory_.resident(); }

private:
    bool begin(int level)
    {
        z_ = bz_stream{};
        z_.bzalloc = [](void *memory, int count, int size) { return KeptMemory::take(memory, std::size_t(count), std::size_t(size)); };
        z_.bzfree = [](void *memory, void *block) { KeptMemory::give(memory, block); };
        z_.opaque = &memory_;
        begun_ = (encoding_ ? BZ2_bzCompressInit(&z_, level, 0, WorkFactor) : BZ2_bzDecompressInit(&z_, 0, 0)) == BZ_OK;
        return begun_;
    }
    void end()
    {
        if (begun_)
            encoding_ ? BZ2_bzCompressEnd(&z_) : BZ2_bzDecompressEnd(&z_);
        begun_ = false;
    }

    KeptMemory memory_; // before the stream, which gives its memory back first
    bz_stream z_{};
    bool encoding_;
    bool begun_ = false, ended_ = false;
};

} // namespace

const Codec codec{"bzip2", [] () -> std::unique_ptr<Stream> { return std::make_unique<Bzip2>(true); },
                  [] () -> std::unique_ptr<Stream> { return std::make_unique<Bzip2>(false); }};

} // namespace fileio
