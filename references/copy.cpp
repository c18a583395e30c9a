// The file copied both ways: what reading and writing alone cost.
#include "stream.h"

#include <algorithm>
#include <cstring>

namespace reference {

namespace {

class Copy final : public Stream {
public:
    Progress step(std::span<const char> in, std::span<char> out, bool last) override
    {
        const std::size_t n = std::min(in.size(), out.size());
        std::memcpy(out.data(), in.data(), n);
        return {n, n, last && n == in.size() ? State::Ended : State::Going};
    }
};

} // namespace

const Codec codec{0, 0, 0, [](int, unsigned long long) -> std::unique_ptr<Stream> { return std::make_unique<Copy>(); },
                  []() -> std::unique_ptr<Stream> { return std::make_unique<Copy>(); }};

} // namespace reference
