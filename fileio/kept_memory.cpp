#include "kept_memory.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>
#include <limits>
#include <sys/mman.h>

namespace fileio {

namespace {

// Blocks this large are mapped on their own, so that one let go goes back to
// the system at once, whatever the allocator would keep.
constexpr std::size_t Mapped = std::size_t(256) << 10;
// Smaller ones come and go through the allocator, which is quick at them,
// only counted; larger ones are kept for the next call.
constexpr std::size_t Kept = std::size_t(64) << 10;

} // namespace

void KeptMemory::release(Header *block)
{
    held_ -= block->size;
    if (block->size >= Mapped)
        ::munmap(block, sizeof(Header) + block->size);
    else
        std::free(block);
}

KeptMemory::~KeptMemory()
{
    for (Header *block : blocks_)
        release(block);
}

void *KeptMemory::take(std::size_t size)
{
    if (size < Kept) {
        auto *block = static_cast<Header *>(std::malloc(sizeof(Header) + size));
        if (!block)
            return nullptr;
        block->size = size;
        std::lock_guard guard(lock_);
        held_ += size;
        return block + 1;
    }
    std::lock_guard guard(lock_);
    Header *best = nullptr;
    // A kept block of the size, or at most twice as large, the smallest such.
    for (Header *block : blocks_)
        if (block->free && block->size >= size && block->size / 2 <= size && (!best || block->size < best->size))
            best = block;
    if (!best) {
        if (size > std::numeric_limits<std::size_t>::max() - sizeof(Header))
            return nullptr;
        if (size >= Mapped) {
            void *region = ::mmap(nullptr, sizeof(Header) + size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            best = region == MAP_FAILED ? nullptr : static_cast<Header *>(region);
        } else {
            best = static_cast<Header *>(std::malloc(sizeof(Header) + size));
        }
        if (!best)
            return nullptr;
        best->size = size;
        blocks_.push_back(best);
        held_ += size;
    }
    best->free = false;
    best->call = call_;
    return best + 1;
}

void *KeptMemory::take(void *memory, std::size_t count, std::size_t size)
{
    if (size != 0 && count > std::numeric_limits<std::size_t>::max() / size)
        return nullptr;
    return take(memory, count * size);
}

void KeptMemory::give(void *block)
{
    if (!block)
        return;
    Header *header = static_cast<Header *>(block) - 1;
    std::lock_guard guard(lock_);
    if (header->size < Kept) {
        held_ -= header->size;
        std::free(header);
        return;
    }
    header->free = true;
    header->call = call_;
}

void KeptMemory::newCall()
{
    std::lock_guard guard(lock_);
    ++call_;
    std::erase_if(blocks_, [this](Header *block) {
        if (!block->free || block->call + 1 >= call_)
            return false;
        release(block);
        return true;
    });
}

std::size_t KeptMemory::held() const
{
    std::lock_guard guard(lock_);
    return held_;
}

std::size_t KeptMemory::resident() const
{
    std::lock_guard guard(lock_);
    // A mapped block holds only the pages that were touched.
    std::size_t held = held_;
    std::vector<unsigned char> resident;
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    for (Header *block : blocks_) {
        if (block->size < Mapped)
            continue;
        const std::size_t pages = (sizeof(Header) + block->size + page - 1) / page;
        resident.resize(pages);
        if (::mincore(block, sizeof(Header) + block->size, resident.data()) != 0)
            continue;
        const auto touched = static_cast<std::size_t>(std::count_if(resident.begin(), resident.end(), [](unsigned char p) { return p & 1; }));
        held -= block->size - std::min(block->size, touched * page);
    }
    return held;
}

} // namespace fileio
