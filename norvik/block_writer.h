// Writes a run's output to a file while the codec produces more. Bytes go
// straight into one of two blocks; once the first block is full, a thread of
// its own writes each full block while the caller fills the other, so
// producing the data and writing it overlap. Output that fits one block is
// written without a thread.
//
// A file that must reach the disk gets a third thread, which flushes what has
// been written every few blocks while the codec goes on: a flush of all of it
// at the end would add the disk's whole time to the run.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <span>
#include <thread>

namespace norvik {

class BlockWriter {
public:
    // Fills the two blocks of `BlockSize` bytes the caller lends it, in turn.
    // With `flushAlong`, written blocks go to the disk while the codec works,
    // so that little is left for the flush at the end.
    static constexpr std::size_t BlockSize = std::size_t(1) << 20;
    BlockWriter(int fd, bool flushAlong, char *first, char *second);
    ~BlockWriter();
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // Where the next bytes go; never empty.
    std::span<char> space();
    // The first `size` bytes of space() now hold output. False once a write
    // has failed (a full disk among the reasons).
    bool advance(std::size_t size);
    // Writes what is left and stops the threads. False if any write or flush
    // failed.
    bool finish();

private:
    struct Block {
        char *bytes;
        std::size_t used = 0;
    };

    bool handOver(); // gives the filling block to the thread, takes the other
    bool waitIdle(); // until the thread has nothing in hand; false if a write failed
    void stop();
    void writerLoop();
    void flusherLoop();
    bool write(const Block &block);

    int fd_;
    bool flushAlong_;
    Block blocks_[2];
    int filling_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    Block *inHand_ = nullptr;
    bool failed_ = false;
    bool stopping_ = false;
    long long written_ = 0, flushed_ = 0; // bytes, by the writer and the flusher
    std::thread writer_, flusher_;
};

} // namespace norvik
