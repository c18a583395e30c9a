// A decoder whose header claims a size the data need not have: its first 20
// bytes are a decimal size, then come the bytes themselves, copied. With 's'
// as the header's last byte its first step is slow, so that the file layer
// has time to act on the claim; with 'f' it fails at once. What a header
// claims must decide nothing about the target.
#include "stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace fileio {

namespace {

constexpr std::size_t Header = 20;

class Claims final : public Stream {
public:
    bool start(const Settings &) override
    {
        skipped_ = 0;
        return true;
    }

    Progress step(std::span<const char> in, std::span<char> out, bool last) override
    {
        if (skipped_ == 0 && in.size() >= Header && in[Header - 1] == 'f')
            return {0, 0, State::Failed};
        if (skipped_ == 0 && in.size() >= Header && in[Header - 1] == 's')
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::size_t skip = std::min(in.size(), Header - skipped_);
        skipped_ += skip;
        const std::size_t n = std::min(in.size() - skip, out.size());
        std::memcpy(out.data(), in.data() + skip, n);
        return {skip + n, n, last && skip + n == in.size() && skipped_ == Header ? State::Ended : State::Going};
    }

    unsigned long long outputSize(std::span<const char> start) const override
    {
        return start.size() < Header ? 0 : std::strtoull(std::string(start.data(), Header).c_str(), nullptr, 10);
    }

    std::size_t kept() const override { return 0; }

private:
    std::size_t skipped_ = 0;
};

std::unique_ptr<Stream> make()
{
    return std::make_unique<Claims>();
}

} // namespace

const Codec codec{"copy", make, make};

} // namespace fileio
