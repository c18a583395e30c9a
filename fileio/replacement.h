// The file that becomes the target. It has no name while it is written
// (O_TMPFILE), so nothing is left behind when the process dies; a replacement
// for an existing file is private to its owner until, complete, it takes the
// old file's owner, group, mode and extended attributes, its data reaches the
// disk, and only then its name. Where the file system has no unnamed files, a
// short hidden name beside the target stands in, removed on any failure (but
// not when the process is killed).
#pragma once

#include <string>

namespace fileio {

class Target;

class Replacement {
public:
    explicit Replacement(const Target &target);
    ~Replacement();
    Replacement(const Replacement &) = delete;
    Replacement &operator=(const Replacement &) = delete;

    int status() const { return status_; } // NORVIK_OK once the file is open, else why not
    int fd() const { return fd_; }

    // Gives the complete file the target's name. With `durable`, its data is
    // flushed before and the folder after, so that a power cut leaves the old
    // file or the new one, never neither. Returns NORVIK_OK or why not; only
    // NORVIK_FOLDER_NOT_FLUSHED comes after the name was given.
    int commit(const Target &target, bool durable);

private:
    void createNamed(const Target &target, int mode);
    int giveName(const Target &target);

    int fd_ = -1;
    int status_;
    int folder_ = -1;      // the target's folder, for removing a named file
    std::string named_;    // the stand-in name, when there is one
    bool committed_ = false;
};

} // namespace fileio
