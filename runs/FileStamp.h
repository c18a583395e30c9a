// What identifies one state of a file on disk, so a run can tell whether the
// library wrote its target or left an earlier file untouched.
#pragma once

#include <QString>
#include <optional>

struct FileStamp {
    unsigned long long device = 0, inode = 0, size = 0;
    long long changedSeconds = 0, changedNanoseconds = 0; // status change: any write or rename moves it

    bool operator==(const FileStamp &) const = default;
};

// Nothing when no regular file can be read at `path`: what a library writes to
// a device or a FIFO changes nothing a stamp could show.
std::optional<FileStamp> stampOf(const QString &path);

// Throws RunError when a library call left its target exactly as it was:
// `before` is the stamp of `target` taken before the call, `targetAfter` the
// name as the library left it. A library that failed may leave an earlier
// file in place, and that file is no result of the run.
void requireWritten(const QString &target, const std::optional<FileStamp> &before, const QString &targetAfter);
