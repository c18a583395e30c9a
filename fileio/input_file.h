// The source side of a run: a regular file opened for reading.
#pragma once

#include <cstddef>
#include <sys/stat.h>

namespace fileio {

class InputFile {
public:
    // Opens `path` for reading. Anything but a regular file is refused, without
    // blocking on a FIFO that has no writer.
    explicit InputFile(const char *path);
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    bool ok() const { return fd_ >= 0; }
    const struct stat &status() const { return status_; }

    // Fills `buffer` unless the file ends first. Returns the bytes read
    // (fewer than `size` only at the end of the file), or -1 on a read error.
    long long readFull(void *buffer, std::size_t size);

private:
    int fd_ = -1;
    struct stat status_ {};
};

} // namespace fileio
