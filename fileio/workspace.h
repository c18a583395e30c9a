// What a call keeps for the next one: the codec's two streams (its contexts,
// tables and windows), an input buffer and the writer with its thread. Made
// afresh, they cost more than compressing a small file does (allocations, and
// a page fault for every page first touched); kept, a second call pays for
// none of it. A call leases a workspace of its own, so calls on several
// threads never share one; at most two are kept, and the codec state they
// keep is at most 32 MiB in all, whatever the files were: past that, the
// streams of the other kept workspace go first, then the returning one's. The
// buffers have fixed sizes. A forked child keeps none (a stream's threads
// stay with the parent).
#pragma once

#include "block_writer.h"
#include "stream.h"

#include <cstddef>
#include <memory>

namespace fileio {

struct Workspace {
    static constexpr std::size_t BufferSize = std::size_t(256) << 10;
    // Codec state kept between calls, over every kept workspace.
    static constexpr std::size_t MostKept = std::size_t(32) << 20;

    std::unique_ptr<Stream> encoder, decoder;
    std::unique_ptr<char[]> input{new char[BufferSize]}; // unzeroed
    BlockWriter writer;

    std::size_t kept() const;
    void dropStreams();
};

// A workspace for the length of one call, returned to the pool afterwards.
class WorkspaceLease {
public:
    WorkspaceLease();
    ~WorkspaceLease();
    WorkspaceLease(const WorkspaceLease &) = delete;
    WorkspaceLease &operator=(const WorkspaceLease &) = delete;

    Workspace &operator*() { return *workspace_; }
    Workspace *operator->() { return workspace_.get(); }

private:
    std::unique_ptr<Workspace> workspace_;
};

} // namespace fileio
