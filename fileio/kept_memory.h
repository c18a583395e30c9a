// Memory a codec allocates through its own allocator hooks, kept for its next
// call: a block of 64 KiB or more given back is handed out again for a
// request of about its size, so a codec that cannot reset its state (bzip2, brotli) makes it anew
// each call without a page fault for every page, and what a codec holds is
// counted. What a call did not use again goes at the next call's start, large
// blocks straight back to the system. Safe from several threads (the workers
// of zstd and xz allocate on theirs).
#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

namespace fileio {

class KeptMemory {
public:
    KeptMemory() = default;
    ~KeptMemory();
    KeptMemory(const KeptMemory &) = delete;
    KeptMemory &operator=(const KeptMemory &) = delete;

    // A block of at least `size` bytes, 16-byte aligned; nullptr without memory.
    void *take(std::size_t size);
    // Back from the codec; nullptr is ignored.
    void give(void *block);
    // A new call starts: what was given back before the last call and not
    // taken again during it is freed.
    void newCall();
    // Every byte held, in use or kept; and of those, the ones the system
    // holds: of a large block, the pages touched.
    std::size_t held() const;
    std::size_t resident() const;

    // The same, in the shapes the codecs' hooks take.
    static void *take(void *memory, std::size_t size) { return static_cast<KeptMemory *>(memory)->take(size); }
    static void *take(void *memory, std::size_t count, std::size_t size);
    static void give(void *memory, void *block) { static_cast<KeptMemory *>(memory)->give(block); }

private:
    struct alignas(16) Header {
        std::size_t size;
        unsigned call; // when last taken or given
        bool free;
    };
    void release(Header *block);
    mutable std::mutex lock_;
    std::vector<Header *> blocks_;
    std::size_t held_ = 0;
    unsigned call_ = 0;
};

} // namespace fileio
