// What a run keeps for the next one: its zstd contexts, its buffers and its
// writer thread. Made
// afresh, they cost more than compressing a small file does (allocations, and
// a page fault for every page first touched); kept, a second call pays for
// none of it. A call leases a workspace of its own, so calls on several
// threads never share one; at most two are kept, and nothing in one grows with
// the files it has seen: the buffers have fixed sizes, and a context is
// dropped when it has grown past what level 19 needs for any file. A forked
// child keeps none (a context's worker threads stay with the parent).
#pragma once

#include "block_writer.h"
#include "zstd_handles.h"

#include <cstddef>
#include <memory>

namespace norvik {

struct Workspace {
    static constexpr std::size_t BufferSize = std::size_t(256) << 10;

    CompressionContext compression;
    DecompressionContext decompression;
    std::unique_ptr<char[]> input{new char[BufferSize]}; // unzeroed
    BlockWriter writer;
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

} // namespace norvik
