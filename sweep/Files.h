// What the sweep does with files around a library's calls: the copy the
// library gets, the checks of what it left, and the byte check of a round
// trip. All of it in the sweep's own process, where no library is loaded.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/types.h>

// A copy of `original` made at `copy`, a name nothing has yet. False when it
// cannot be made.
bool copyInto(const QByteArray &original, const QByteArray &copy);

// What identifies one state of a file: any write or rename changes it.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long changedSeconds = 0, changedNanoseconds = 0;
    bool operator==(const Stamp &) const = default;
};
std::optional<Stamp> stampOf(const QByteArray &file);

// Why what a call left at `output` is not a file of its own, or nothing
// when it is one: a regular file, no symbolic link, no second name of
// another file, not empty where it must not be.
std::optional<QString> notAFileOfItsOwn(const QByteArray &output, bool mayBeEmpty);

// Byte for byte.
bool sameContent(const QByteArray &a, const QByteArray &b);

// `text` written whole at `name`, through a file beside it that takes the
// name once complete: a write that fails leaves nothing half written. Why
// not, in the system's words, or nothing when it is written.
std::optional<QString> writtenWhole(const QByteArray &name, const QByteArray &text);
