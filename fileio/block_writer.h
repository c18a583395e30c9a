// Writes a run's output to a file while the codec produces more. The codec
// writes straight into one region of memory; as it fills, a thread of its own
// writes each piece of half a megabyte or more that is complete while the
// codec goes on after it, so producing the data and writing it overlap. The
// region is large enough for the whole output of most files, which a codec
// can then write in one place (zstd decodes a frame there without a window of
// its own); a larger output goes round it once the thread has written all of
// it. Output of less than a piece, and the piece that ends the output, are
// written without the thread, which would only add its waking. The region
// and the thread stay between runs (the thread waits for the next one), so a
// run pays for neither.
//
// When the codec can tell the output's size at the start (a frame header's
// content size), the thread also takes the file's space for it while it has
// nothing to write: in a file system held in memory, taking a page is most of
// what writing it costs, so what is left at the end is a copy. It takes at most
// a region's worth beyond what it has written, so a header that claims more
// than the data holds costs little, and what the run did not fill is given
// back before the file is named.
//
// A file that must reach the disk gets a third thread, which flushes what has
// been written every few megabytes while the codec goes on: a flush of all of
// it at the end would add the disk's whole time to the run.
#pragma once

#include "region.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <span>
#include <thread>

namespace fileio {

class BlockWriter {
public:
    static constexpr std::size_t RegionSize = std::size_t(6) << 20;
    static constexpr std::size_t Piece = std::size_t(512) << 10;
    // An output expected to be smaller is not worth waking the thread for.
    static constexpr unsigned long long LeastExpected = 64 << 10;

    BlockWriter();
    ~BlockWriter();
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // Starts a run that writes to `fd`. With `flushAlong`, written pieces go
    // to the disk while the codec works, so that little is left for the flush
    // at the end.
    void begin(int fd, bool flushAlong);
    // The run's output should come to about `size` bytes: the thread takes
    // the file's space for them ahead of the writes. Only a hint; the output
    // may end up longer or shorter.
    void expect(unsigned long long size);
    // Where the next bytes go: the rest of the region, never empty.
    std::span<char> space();
    // The first `size` bytes of space() now hold output; `ending` when the
    // codec says its output ends with them (more may still come). False once
    // a write has failed (a full disk among the reasons).
    bool advance(std::size_t size, bool ending);
    // Writes what is left and ends the run. False if any write or flush failed.
    bool finish();
    // Ends the run, finished or not: once it returns, nothing writes to or
    // flushes the run's file any more.
    void end();

    // The bytes of the region touched so far, and giving them back.
    std::size_t kept() const { return region_.touched(); }
    void release() { region_.release(); }

private:
    void startWriter(); // the writer's thread, made the first time a run needs it
    void handOver(); // gives the thread everything filled so far
    bool waitIdle(); // until the thread has written all it was given; false if a write failed
    bool stopTaking(); // no more space is taken, and the thread is idle; false if a write failed
    unsigned long long reserveUpTo() const; // where taking space stops: the expected size, at most a region past what is written
    bool reserving() const; // whether the thread has space to take ahead of its writes
    void reserve(std::unique_lock<std::mutex> &lock); // takes the next part of it, unlocked meanwhile
    void stop(bool &flag, std::thread &thread); // sets the flag for the thread, and waits for it to end
    void writerLoop();
    void flusherLoop();
    static bool write(int fd, const char *bytes, std::size_t size);

    Region region_;
    int fd_ = -1;
    bool flushAlong_ = false;
    std::size_t filled_ = 0;  // bytes of the region the codec has written
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t handed_ = 0, done_ = 0; // given to the thread, and written by it
    bool failed_ = false;
    bool taking_ = false; // the thread is taking space, with the mutex unlocked
    unsigned long long expected_ = 0, reserved_ = 0; // the output's expected size, and the file's space taken
    bool runEnded_ = false, quitting_ = false; // for the flusher; for the writer
    long long written_ = 0, flushed_ = 0;      // bytes of the run, by the writer and the flusher
    std::thread writer_, flusher_;
};

} // namespace fileio
