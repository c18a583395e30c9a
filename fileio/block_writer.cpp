#include "block_writer.h"

#include <cerrno>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace fileio {

namespace {
constexpr long long FlushEvery = 4 << 20;
} // namespace

namespace {

void *blockMemory()
{
    void *region = ::mmap(nullptr, 2 * BlockWriter::BlockSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED)
        throw std::bad_alloc();
    (void)::madvise(region, 2 * BlockWriter::BlockSize, MADV_HUGEPAGE); // a hint; fine where refused
    return region;
}

} // namespace

void BlockWriter::Unmap::operator()(void *region) const
{
    ::munmap(region, 2 * BlockSize);
}

BlockWriter::BlockWriter()
    : memory_(blockMemory())
{
    blocks_[0].bytes = static_cast<char *>(memory_.get());
    blocks_[1].bytes = blocks_[0].bytes + BlockSize;
}

BlockWriter::~BlockWriter()
{
    end();
    {
        std::lock_guard lock(mutex_);
        quitting_ = true;
    }
    changed_.notify_all();
    if (writer_.joinable())
        writer_.join();
}

void BlockWriter::begin(int fd, bool flushAlong)
{
    std::lock_guard lock(mutex_);
    fd_ = fd;
    flushAlong_ = flushAlong;
    filling_ = 0;
    blocks_[0].used = blocks_[1].used = 0;
    failed_ = runEnded_ = false;
    written_ = flushed_ = 0;
}

std::span<char> BlockWriter::space()
{
    Block &block = blocks_[filling_];
    return {block.bytes + block.used, BlockSize - block.used};
}

bool BlockWriter::advance(std::size_t size)
{
    Block &block = blocks_[filling_];
    block.used += size;
    return block.used < BlockSize ? true : handOver();
}

bool BlockWriter::handOver()
{
    if (!writer_.joinable())
        writer_ = std::thread([this] { writerLoop(); });
    if (flushAlong_ && !flusher_.joinable())
        flusher_ = std::thread([this] { flusherLoop(); });
    if (!waitIdle())
        return false;
    {
        std::lock_guard lock(mutex_);
        inHand_ = &blocks_[filling_];
    }
    changed_.notify_all();
    filling_ ^= 1;
    blocks_[filling_].used = 0;
    return true;
}

bool BlockWriter::waitIdle()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return inHand_ == nullptr; });
    return !failed_;
}

bool BlockWriter::finish()
{
    // The last block is written here: with the thread idle, or never started.
    const Block &last = blocks_[filling_];
    const bool written = waitIdle() && (last.used == 0 || write(fd_, last));
    end();
    std::lock_guard lock(mutex_);
    return written && !failed_;
}

void BlockWriter::end()
{
    waitIdle();
    {
        std::lock_guard lock(mutex_);
        runEnded_ = true;
    }
    changed_.notify_all();
    if (flusher_.joinable())
        flusher_.join();
}

void BlockWriter::writerLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return inHand_ != nullptr || quitting_; });
        if (inHand_ == nullptr)
            return;
        Block *block = inHand_;
        const int fd = fd_;
        bool ok = !failed_;
        lock.unlock();
        if (ok)
            ok = write(fd, *block);
        lock.lock();
        failed_ = failed_ || !ok;
        written_ += static_cast<long long>(block->used);
        inHand_ = nullptr;
        changed_.notify_all();
    }
}

void BlockWriter::flusherLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return written_ - flushed_ >= FlushEvery || runEnded_; });
        if (runEnded_)
            return;
        const long long reached = written_;
        const int fd = fd_;
        lock.unlock();
        // The kernel reports a failed write-back once per open file: the
        // flush at the end would find nothing wrong, so the failure is kept.
        const bool flushed = ::fdatasync(fd) == 0;
        lock.lock();
        failed_ = failed_ || !flushed;
        flushed_ = reached;
    }
}

bool BlockWriter::write(int fd, const Block &block)
{
    const char *bytes = block.bytes;
    for (std::size_t left = block.used; left > 0;) {
        const ssize_t n = ::write(fd, bytes, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        bytes += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace fileio
