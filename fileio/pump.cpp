#include "pump.h"

#include "environment.h"
#include "input_file.h"
#include "norvik.h"
#include "output_file.h"
#include "workspace.h"

#include <algorithm>

namespace fileio {

namespace {

// The workspace's stream that way, made on first use and started for this
// call; nothing when the codec refuses, and then it is not kept either.
Stream *started(std::unique_ptr<Stream> &kept, std::unique_ptr<Stream> (*make)(), const Settings &settings)
{
    if (!kept)
        kept = make();
    if (kept && !kept->start(settings))
        kept.reset();
    return kept.get();
}

} // namespace

int run(const char *source, const char *target, Direction direction)
{
    InputFile input(source);
    if (!input.ok())
        return NORVIK_SOURCE_ERROR;
    WorkspaceLease workspace;
    OutputFile output(target, input.status(), *workspace);
    if (output.status() != NORVIK_OK)
        return output.status();
    const auto size = static_cast<unsigned long long>(input.status().st_size);
    const bool compressing = direction == Direction::Compress;
    Stream *stream = started(compressing ? workspace->encoder : workspace->decoder, compressing ? codec.encoder : codec.decoder,
                             settingsFromEnvironment(codec, size));
    if (!stream)
        return NORVIK_CODEC_ERROR;

    // A source to compress read whole takes one read, and an encoder can take
    // it at once; one more byte than its size shows that it ends there. Most
    // decoders read faster from a piece just read (brotli's by a sixth).
    char *in = workspace->input.bytes();
    const bool whole = (compressing || stream->readsWhole()) && size < Workspace::WholeSource;
    const std::size_t capacity = whole ? static_cast<std::size_t>(size) + 1 : Workspace::PieceSize;
    unsigned long long total = 0;
    State state = State::Going;
    for (bool last = false; !last;) {
        const long long got = input.readFull(in, capacity);
        if (got < 0)
            return NORVIK_SOURCE_ERROR;
        workspace->input.use(static_cast<std::size_t>(got));
        total += static_cast<unsigned long long>(got);
        last = static_cast<std::size_t>(got) < capacity;
        if (total > size || (last && total != size))
            return NORVIK_SOURCE_CHANGED;
        std::span<const char> pending(in, static_cast<std::size_t>(got));
        if (total == static_cast<unsigned long long>(got))
            output.expect(stream->outputSize(pending));
        // At the end of the source, go on while the stream still moves.
        bool moved = true;
        while (state != State::Failed && (!pending.empty() || (last && state == State::Going && moved))) {
            const std::span<char> space = output.space();
            const Progress step = stream->step(pending, space.first(std::min(space.size(), stream->room())), last);
            pending = pending.subspan(step.used);
            if (!output.advance(step.made, step.state == State::Ended))
                return NORVIK_TARGET_ERROR;
            moved = step.used > 0 || step.made > 0;
            state = step.state;
            if (!moved && !pending.empty())
                state = State::Failed; // output space was there: the stream is stuck
        }
        if (state == State::Failed)
            return NORVIK_CODEC_ERROR;
    }
    // A source that ends inside a stream is truncated.
    return state == State::Ended ? output.commit() : NORVIK_CODEC_ERROR;
}

} // namespace fileio
