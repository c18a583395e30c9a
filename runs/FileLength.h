// The length of a file on disk, named by a path as the library left it.
#pragma once

#include <QString>
#include <cstdint>

// Throws RunError, naming the path, when the file does not exist, is not a
// regular file, cannot be read, or when the name holds a NUL (a name the
// library changed that way is never read through its shortened form).
std::uint64_t fileLength(const QString &path);
