#include "block_writer.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace fileio {

namespace {
constexpr long long FlushEvery = 4 << 20;
} // namespace

BlockWriter::BlockWriter()
    : region_(RegionSize)
{
}

BlockWriter::~BlockWriter()
{
    end();
    stop(quitting_, writer_);
}

void BlockWriter::stop(bool &flag, std::thread &thread)
{
    {
        std::lock_guard lock(mutex_);
        flag = true;
    }
    // Only a thread to stop is woken: waking the writer at the end of every
    // run would cost each small call a switch to it and back.
    if (!thread.joinable())
        return;
    changed_.notify_all();
    thread.join();
}

void BlockWriter::begin(int fd, bool flushAlong)
{
    std::lock_guard lock(mutex_);
    fd_ = fd;
    flushAlong_ = flushAlong;
    filled_ = handed_ = done_ = 0;
    failed_ = runEnded_ = false;
    written_ = flushed_ = 0;
}

std::span<char> BlockWriter::space()
{
    return {region_.bytes() + filled_, RegionSize - filled_};
}

bool BlockWriter::advance(std::size_t size)
{
    filled_ += size;
    region_.use(filled_);
    if (filled_ - handed_ >= Piece || filled_ == RegionSize)
        handOver();
    if (filled_ < RegionSize)
        return true;
    // The region is full: once the thread has written it, it starts again.
    const bool written = waitIdle();
    filled_ = 0;
    std::lock_guard lock(mutex_);
    handed_ = done_ = 0;
    return written;
}

void BlockWriter::handOver()
{
    if (!writer_.joinable())
        writer_ = std::thread([this] { writerLoop(); });
    if (flushAlong_ && !flusher_.joinable())
        flusher_ = std::thread([this] { flusherLoop(); });
    {
        std::lock_guard lock(mutex_);
        handed_ = filled_;
    }
    changed_.notify_all();
}

bool BlockWriter::waitIdle()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return done_ == handed_; });
    return !failed_;
}

bool BlockWriter::finish()
{
    // The rest is written here, with the thread idle, or never started.
    const bool written = waitIdle() && write(fd_, region_.bytes() + handed_, filled_ - handed_);
    end();
    std::lock_guard lock(mutex_);
    return written && !failed_;
}

void BlockWriter::end()
{
    waitIdle();
    stop(runEnded_, flusher_);
}

void BlockWriter::writerLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return done_ < handed_ || quitting_; });
        if (done_ == handed_)
            return;
        const std::size_t from = done_, to = handed_;
        const int fd = fd_;
        bool ok = !failed_;
        lock.unlock();
        if (ok)
            ok = write(fd, region_.bytes() + from, to - from);
        lock.lock();
        failed_ = failed_ || !ok;
        written_ += static_cast<long long>(to - from);
        done_ = to;
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

bool BlockWriter::write(int fd, const char *bytes, std::size_t size)
{
    for (std::size_t left = size; left > 0;) {
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
