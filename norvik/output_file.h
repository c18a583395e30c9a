// The target side of a run: a temporary file beside the target that becomes the
// target only when the run commits it.
#pragma once

#include <cstddef>
#include <string>
#include <sys/stat.h>

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

    // Writes all of `size` bytes; false on any write error (a full disk among them).
    bool write(const void *data, std::size_t size);

    // Closes the temporary file and renames it over the target.
    // Returns NORVIK_OK or NORVIK_TARGET_ERROR.
    int commit();

private:
    int fd_ = -1;
    int status_;
    std::string final_;
    std::string temporary_;
    bool committed_ = false;
};

} // namespace norvik
