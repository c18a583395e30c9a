// Writes a run's output to a file while the codec produces more. Bytes go
// straight into one of two blocks; once the first block is full, a thread of
// its own writes each full block while the caller fills the other, so
// producing the data and writing it overlap. Output that fits one block is
// written without the thread. The blocks and the thread stay between runs
// (the thread waits for the next one), so a run pays for neither.
//
// A file that must reach the disk gets a third thread, which flushes what has
// been written every few megabytes while the codec goes on: a flush of all of
// it at the end would add the disk's whole time to the run.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

namespace fileio {

class BlockWriter {
public:
    static constexpr std::size_t BlockSize = std::size_t(1) << 20;

    BlockWriter();
    ~BlockWriter();
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // Starts a run that writes to `fd`. With `flushAlong`, written blocks go
    // to the disk while the codec works, so that little is left for the flush
    // at the end.
    void begin(int fd, bool flushAlong);
    // Where the next bytes go; never empty.
    std::span<char> space();
    // The first `size` bytes of space() now hold output. False once a write
    // has failed (a full disk among the reasons).
    bool advance(std::size_t size);
    // Writes what is left and ends the run. False if any write or flush failed.
    bool finish();
    // Ends the run, finished or not: once it returns, nothing writes to or
    // flushes the run's file any more.
    void end();

private:
    struct Block {
        char *bytes; // BlockSize bytes of memory_
        std::size_t used = 0;
    };

    bool handOver(); // gives the filling block to the thread, takes the other
    bool waitIdle(); // until the thread has nothing in hand; false if a write failed
    void writerLoop();
    void flusherLoop();
    static bool write(int fd, const Block &block);

    // Both blocks, in one region that the kernel may give a huge page: a first
    // run then takes one page fault for them instead of one a page.
    struct Unmap {
        void operator()(void *region) const;
    };
    std::unique_ptr<void, Unmap> memory_;
    int fd_ = -1;
    bool flushAlong_ = false;
    Block blocks_[2];
    int filling_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    Block *inHand_ = nullptr;
    bool failed_ = false;
    bool runEnded_ = false, quitting_ = false; // for the flusher; for the writer
    long long written_ = 0, flushed_ = 0;      // bytes, by the writer and the flusher
    std::thread writer_, flusher_;
};

} // namespace fileio
