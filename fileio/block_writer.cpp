#include "block_writer.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace fileio {

namespace {
constexpr long long FlushEvery = 4 << 20;
constexpr unsigned long long TakeAtOnce = 1 << 20; // so that a piece to write waits little
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
    expected_ = reserved_ = 0;
    failed_ = runEnded_ = false;
    written_ = flushed_ = 0;
}

void BlockWriter::expect(unsigned long long size)
{
    if (size < LeastExpected)
        return;
    startWriter();
    {
        std::lock_guard lock(mutex_);
        expected_ = size;
    }
    changed_.notify_all();
}

std::span<char> BlockWriter::space()
{
    return {region_.bytes() + filled_, RegionSize - filled_};
}

bool BlockWriter::advance(std::size_t size, bool ending)
{
    filled_ += size;
    region_.use(filled_);
    // The last piece is written by finish(), at once: handing it to the
    // thread would add the time the thread takes to wake, and then this one.
    if ((filled_ - handed_ >= Piece && !ending) || filled_ == RegionSize)
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

void BlockWriter::startWriter()
{
    if (!writer_.joinable())
        writer_ = std::thread([this] { writerLoop(); });
}

void BlockWriter::handOver()
{
    startWriter();
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
    changed_.wait(lock, [this] { return done_ == handed_ && !taking_; });
    return !failed_;
}

unsigned long long BlockWriter::reserveUpTo() const
{
    return std::min(expected_, static_cast<unsigned long long>(written_) + RegionSize);
}

bool BlockWriter::reserving() const
{
    return reserved_ < reserveUpTo();
}

void BlockWriter::reserve(std::unique_lock<std::mutex> &lock)
{
    const unsigned long long from = reserved_;
    const unsigned long long to = std::min(reserveUpTo(), from + TakeAtOnce);
    const int fd = fd_;
    taking_ = true;
    lock.unlock();
    // A file system that cannot, or has no room, is written as it comes:
    // a write that then fails says why.
    const bool taken = ::fallocate(fd, 0, static_cast<off_t>(from), static_cast<off_t>(to - from)) == 0;
    lock.lock();
    taking_ = false;
    reserved_ = to;
    if (!taken)
        expected_ = 0;
    changed_.notify_all();
}

bool BlockWriter::finish()
{
    // The rest is written here, with the thread idle, or never started; what
    // was taken ahead and not filled is given back.
    bool written = stopTaking() && write(fd_, region_.bytes() + handed_, filled_ - handed_);
    const unsigned long long size = static_cast<unsigned long long>(written_) + (filled_ - handed_);
    if (written && reserved_ > size)
        written = ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
    end();
    std::lock_guard lock(mutex_);
    return written && !failed_;
}

bool BlockWriter::stopTaking()
{
    {
        std::lock_guard lock(mutex_);
        expected_ = 0;
    }
    return waitIdle();
}

void BlockWriter::end()
{
    stopTaking();
    stop(runEnded_, flusher_);
}

void BlockWriter::writerLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return done_ < handed_ || reserving() || quitting_; });
        // What there is to write goes first; space is taken while there is none.
        if (done_ == handed_ && reserving()) {
            reserve(lock);
            continue;
        }
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
