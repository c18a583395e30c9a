// A codec's stream in one direction, fed a piece of the source at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace reference {

enum class State { Going, Ended, Failed };

struct Progress {
    std::size_t used = 0, made = 0; // bytes taken from the input, bytes written to the output
    State state = State::Going;     // Ended once the whole stream is through
};

class Stream {
public:
    virtual ~Stream() = default;
    // Takes what it can of `in` and writes what it can into `out`; `last`
    // when `in` holds the end of the source. A decoder ends at the end of a
    // complete stream, and starts the next where the format allows several.
    virtual Progress step(std::span<const char> in, std::span<char> out, bool last) = 0;
};

// What one reference library is: its levels, and its two streams. A codec
// without levels has 0 for all three.
struct Codec {
    int lowest, highest, standard;
    std::unique_ptr<Stream> (*encoder)(int level, unsigned long long size);
    std::unique_ptr<Stream> (*decoder)();
};

// Each reference library defines its own.
extern const Codec codec;

} // namespace reference
