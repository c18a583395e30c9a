// What a call keeps for the next one: the codec's two streams (its contexts,
// tables and windows), the source's buffer and the writer with its region and
// thread. Made
// afresh, they cost more than compressing a small file does (allocations, and
// a page fault for every page first touched); kept, a second call pays for
// none of it. A call leases a workspace of its own, so calls on several
// threads never share one; at most two are kept, and the codec state they
// keep, their buffers' touched pages counted, is at most 32 MiB in all,
// whatever the files were: past that, streams go first (the other kept
// workspace's, then the returning one's, the larger first), then buffers'
// pages. A forked child
// keeps none (a stream's threads stay with the parent).
#pragma once

#include "block_writer.h"
#include "region.h"
#include "stream.h"

#include <cstddef>
#include <memory>

namespace fileio {

struct Workspace {
    // A source to compress up to this size is read whole, and given to the
    // encoder at once; a larger one, and any to decompress, a piece at a time.
    static constexpr std::size_t WholeSource = std::size_t(6) << 20;
    static constexpr std::size_t PieceSize = std::size_t(256) << 10;
    // What is kept between calls, over every kept workspace.
    static constexpr std::size_t MostKept = std::size_t(32) << 20;

    std::unique_ptr<Stream> encoder, decoder;
    Region input{WholeSource};
    BlockWriter writer;

    // What it keeps, as allocated, or as the system holds it (slower to count).
    std::size_t kept(bool resident) const;
    // Gives the buffers' pages back.
    void releaseBuffers();
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
