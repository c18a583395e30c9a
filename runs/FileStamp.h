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

// Nothing when no file can be read at `path`.
std::optional<FileStamp> stampOf(const QString &path);
