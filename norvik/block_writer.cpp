#include "block_writer.h"

#include <cerrno>
#include <unistd.h>

namespace norvik {

namespace {
constexpr long long FlushEvery = 4 * BlockWriter::BlockSize;
} // namespace

BlockWriter::BlockWriter(int fd, bool flushAlong, char *first, char *second)
    : fd_(fd), flushAlong_(flushAlong), blocks_{{first}, {second}}
{
}

BlockWriter::~BlockWriter()
{
    stop();
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
    if (!writer_.joinable()) {
        writer_ = std::thread([this] { writerLoop(); });
        if (flushAlong_)
            flusher_ = std::thread([this] { flusherLoop(); });
    }
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
    const bool written = waitIdle() && (last.used == 0 || write(last));
    stop();
    std::lock_guard lock(mutex_);
    return written && !failed_;
}

void BlockWriter::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread *thread : {&writer_, &flusher_})
        if (thread->joinable())
            thread->join();
}

void BlockWriter::writerLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return inHand_ != nullptr || stopping_; });
        if (inHand_ == nullptr)
            return;
        Block *block = inHand_;
        bool ok = !failed_;
        lock.unlock();
        if (ok)
            ok = write(*block);
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
        changed_.wait(lock, [this] { return written_ - flushed_ >= FlushEvery || stopping_; });
        if (stopping_)
            return;
        const long long reached = written_;
        lock.unlock();
        // The kernel reports a failed write-back once per open file: the
        // flush at the end would find nothing wrong, so the failure is kept.
        const bool flushed = ::fdatasync(fd_) == 0;
        lock.lock();
        failed_ = failed_ || !flushed;
        flushed_ = reached;
    }
}

bool BlockWriter::write(const Block &block)
{
    const char *bytes = block.bytes;
    for (std::size_t left = block.used; left > 0;) {
        const ssize_t n = ::write(fd_, bytes, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        bytes += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace norvik
