// A codec's stream in one direction, fed a piece of the source at a time, and
// what a shipped library is: its name in the levels table and its two streams.
// A stream is kept in the workspace from one call to the next, so that a
// call costs what the codec costs, not what making its tables does.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <optional>
#include <span>

namespace fileio {

enum class State { Going, Ended, Failed };

struct Progress {
    std::size_t used = 0, made = 0; // bytes taken from the input, bytes written to the output
    State state = State::Going;     // Ended once the whole stream is through
};

// What a call asks of a stream.
struct Settings {
    int level = 0;                // within the library's levels (see levels.h)
    int threads = 0;              // BREVIMETER_THREADS: at most this many, 1 all on the calling thread; 0 the codec's own default
    unsigned long long size = 0;  // the source's, in bytes
};

class Stream {
public:
    virtual ~Stream() = default;
    // Readies the stream for a new file with these settings, whatever the last
    // call left in it (a failure half-way included). False when the codec refuses.
    virtual bool start(const Settings &settings) = 0;
    // Takes what it can of `in` and writes what it can into `out`; `last`
    // when `in` holds the end of the source. A decoder ends at the end of a
    // complete stream, and starts the next where the format allows several.
    virtual Progress step(std::span<const char> in, std::span<char> out, bool last) = 0;
    // The bytes of codec state it keeps until the next call: contexts,
    // tables, windows, as allocated; and of those the ones the system holds
    // (of a large block, the pages touched), which takes longer to count.
    virtual std::size_t kept() const = 0;
    virtual std::size_t resident() const { return kept(); }
    // The most output space a step is given: a step writes no more, so what
    // it wrote goes to the file while the next one works. A codec that writes
    // in place when given room for a whole block or file asks for that.
    virtual std::size_t room() const { return std::size_t(1) << 20; }
    // Whether a source small enough to read whole (Workspace::WholeSource)
    // should be: a decoder that can start a block only once it holds all of
    // it gathers a block from pieces into a buffer of its own, and decodes
    // from the source where it is whole. Encoders are always given the whole.
    virtual bool readsWhole() const { return false; }
    // The output's size as the source's first bytes give it (a frame header's
    // content size), so that the file can take its space while the codec
    // works; 0 where they do not. Only a hint: the data decides.
    virtual unsigned long long outputSize(std::span<const char> start) const
    {
        (void)start;
        return 0;
    }
};

// What a codec's constructor made, or bad_alloc when it made nothing.
template <typename Made>
Made *made(Made *made)
{
    if (!made)
        throw std::bad_alloc();
    return made;
}

struct Codec {
    const char *name; // its row of the levels table
    std::unique_ptr<Stream> (*encoder)();
    std::unique_ptr<Stream> (*decoder)();
    // A level or a thread count from the codec's own variables, for when
    // BREVIMETER_LEVEL or BREVIMETER_THREADS is not set; null where it has none.
    std::optional<int> (*ownLevel)() = nullptr;
    std::optional<int> (*ownThreads)() = nullptr;
};

// Each shipped library defines its own.
extern const Codec codec;

} // namespace fileio
