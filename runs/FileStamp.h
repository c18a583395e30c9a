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

// A run's target as it was before the library call, to tell afterwards
// whether the library wrote it. A library that failed may leave an earlier
// file in place, and that file is no result of the run.
class TargetWatch {
public:
    explicit TargetWatch(const QString &target) : target_(target), before_(stampOf(target)) {}

    // Throws RunError, naming the target as the library left it
    // (`targetAfter`), when no regular file is there, or when the target is
    // exactly as it was before the call.
    void requireWritten(const QString &targetAfter) const;
    // Whether a regular file with something in it was at the target before the call.
    bool heldContentBefore() const { return before_ && before_->size > 0; }

private:
    QString target_;
    std::optional<FileStamp> before_;
};
