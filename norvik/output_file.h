// The target side of a run: a temporary file beside the target that becomes the
// target only when the run commits it. Bytes go straight into one of two
// blocks; once the first block is full, a writer thread writes each full block
// while the caller fills the other, so producing the data and writing it
// overlap. Output that fits one block is written without a thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <span>
#include <string>
#include <sys/stat.h>
#include <memory>
#include <thread>

namespace norvik {

class OutputFile {
public:
    // Resolves `target` (following a symlink to the file it names), refuses it
    // when it is the file described by `source`, and creates the temporary file.
    OutputFile(const char *target, const struct stat &source);
    // Removes the temporary file unless it was committed.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // NORVIK_OK once the temporary file is open, else why it could not be.
    int status() const { return status_; }

    // Where the next bytes go; never empty.
    std::span<char> space();
    // The first `size` bytes of space() now hold output. False once a write
    // has failed (a full disk among the reasons).
    bool advance(std::size_t size);

    // Writes what is left, closes the temporary file and renames it over the
    // target. Returns NORVIK_OK or NORVIK_TARGET_ERROR.
    int commit();

private:
    struct Block {
        std::unique_ptr<char[]> bytes; // made on first use, not zeroed
        std::size_t used = 0;
    };

    bool handOver();   // gives the filling block to the writer, takes the other
    bool waitIdle();   // until the writer has nothing in hand; false if a write failed
    void stopWriter();
    void writerLoop();
    bool writeAll(const char *bytes, std::size_t size);

    int fd_ = -1;
    int status_;
    std::string final_;
    std::string temporary_;
    bool committed_ = false;

    Block blocks_[2];
    int filling_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    Block *inHand_ = nullptr;
    bool failed_ = false;
    bool stopping_ = false;
    std::thread writer_;
};

} // namespace norvik
