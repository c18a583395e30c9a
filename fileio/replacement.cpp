#include "replacement.h"

#include "file_metadata.h"
#include "norvik.h"
#include "target.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace fileio {

namespace {

// A hidden name of fixed length in the target's folder. The letters come from
// the system's random source (no generator of the standard library, whose
// template code would become visible in the library's exports).
std::string hiddenName()
{
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::string name = ".norvik-";
    for (int i = 0; i < 8; ++i)
        name += letters[random() % (sizeof letters - 1)];
    return name + ".part";
}

// Renames `from` to `to` in `folder` unless a file has the name `to` by then.
bool renameWithoutReplacing(int folder, const std::string &from, const std::string &to)
{
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL)
        return false;
    // No such rename here: a second link to the file fails as surely where the
    // name is taken, and the first one then goes.
    if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) == 0) {
        ::unlinkat(folder, from.c_str(), 0);
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP)
        return false;
    // Nor links: the name is looked at, then taken, and a file made at it in
    // between would be replaced.
    struct stat status {};
    if (::fstatat(folder, to.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0)
        return errno = EEXIST, false;
    return ::renameat(folder, from.c_str(), folder, to.c_str()) == 0;
}

// Flushes the folder, so that a name given in it survives a power cut. False
// when that fails; a folder opened only as a path (the caller may not read
// it) or on a file system that cannot flush folders is left as it is.
bool flushFolder(int folder)
{
    return ::fsync(folder) == 0 || errno == EBADF || errno == EINVAL;
}

} // namespace

Replacement::Replacement(const Target &target)
    : status_(NORVIK_TARGET_ERROR), folder_(target.folder())
{
    if (target.status() != NORVIK_OK)
        return;
    // A new file gets the mode any new file would (0666 less the umask, or the
    // folder's default ACL); a replacement no access but its owner's until the end.
    const int mode = target.exists() ? 0600 : 0666;
    fd_ = ::openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        createNamed(target, mode); // a file system without unnamed files
    if (fd_ < 0) {
        status_ = targetRefusal(errno);
        return;
    }
    status_ = target.exists() ? copyOwner(target.existing(), fd_) : NORVIK_OK;
}

void Replacement::createNamed(const Target &target, int mode)
{
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        named_ = hiddenName();
        fd_ = ::openat(target.folder(), named_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0)
        named_.clear(); // errno still says why
}

Replacement::~Replacement()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!named_.empty() && !committed_)
        ::unlinkat(folder_, named_.c_str(), 0);
}

int Replacement::commit(const Target &target, bool durable)
{
    if (target.exists()) {
        const int copied = copyModeAndAttributes(target.file(), target.existing(), fd_);
        if (copied != NORVIK_OK)
            return copied;
    }
    if (durable && ::fsync(fd_) != 0)
        return NORVIK_TARGET_ERROR;
    // A network file system reports the last writes when the file is closed,
    // so a named stand-in is closed before it takes the name. (An unnamed
    // file needs its descriptor to get one; only local file systems have them.)
    if (!named_.empty() && ::close(std::exchange(fd_, -1)) != 0)
        return NORVIK_TARGET_ERROR;
    const int named = giveName(target);
    if (named != NORVIK_OK)
        return named;
    committed_ = true;
    return durable && !flushFolder(target.folder()) ? NORVIK_FOLDER_NOT_FLUSHED : NORVIK_OK;
}

// An existing target is replaced in one rename, so that its name always holds
// the old file or the new one. A new target is linked or renamed to its name
// in a way that fails rather than replace a file that appeared meanwhile.
int Replacement::giveName(const Target &target)
{
    if (target.exists() && !target.unchanged())
        return NORVIK_TARGET_ERROR; // someone else replaced it meanwhile
    if (named_.empty()) {
        char self[32]; // no std::to_string: its template code would become visible in the exports
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd_);
        const std::string name = target.exists() ? hiddenName() : target.name();
        if (::linkat(AT_FDCWD, self, folder_, name.c_str(), AT_SYMLINK_FOLLOW) != 0
            && (errno != ENOENT || ::linkat(fd_, "", folder_, name.c_str(), AT_EMPTY_PATH) != 0)) // no /proc
            return targetRefusal(errno);
        if (!target.exists())
            return NORVIK_OK;
        named_ = name;
    }
    const bool renamed = target.exists() ? ::renameat(folder_, named_.c_str(), folder_, target.name().c_str()) == 0
                                         : renameWithoutReplacing(folder_, named_, target.name());
    if (!renamed)
        return targetRefusal(errno);
    named_.clear();
    return NORVIK_OK;
}

} // namespace fileio
