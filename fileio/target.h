// Where a run's output goes: the target as the caller named it, judged by the
// kernel. An existing target is opened for writing through the very name the
// caller gave, so permissions, read-only files and the protected_symlinks rule
// apply exactly as for any program that writes to it. Nothing is written
// through that descriptor; it only proves the right to write and gives the
// file's owner, mode and extended attributes.
#pragma once

#include <string>
#include <sys/stat.h>

namespace fileio {

// What a refusal by the system with `error` means for a target: the caller may
// not write it (NORVIK_TARGET_DENIED), or it cannot be (NORVIK_TARGET_ERROR).
int targetRefusal(int error);

class Target {
public:
    // Refuses the file described by `source`, anything but a regular file, a
    // symlink that names no file, and what the caller may not write.
    Target(const char *path, const struct stat &source);
    ~Target();
    Target(const Target &) = delete;
    Target &operator=(const Target &) = delete;

    int status() const { return status_; } // NORVIK_OK, or why the target is refused
    int folder() const { return folder_; }  // the folder the file is, or will be, in
    const std::string &name() const { return name_; } // its name in that folder
    bool exists() const { return file_ >= 0; }
    int file() const { return file_; }      // the existing file, open for writing
    const struct stat &existing() const { return existing_; }
    // Whether the name still belongs to the file that was opened.
    bool unchanged() const;

private:
    bool openFolder(const std::string &path);
    bool findRealFile(const char *path);

    int status_;
    int folder_ = -1;
    int file_ = -1;
    std::string name_;
    struct stat existing_ {};
};

} // namespace fileio
