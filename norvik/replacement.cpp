#include "replacement.h"

#include "file_metadata.h"
#include "norvik.h"
#include "target.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <utility>

namespace norvik {

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
    const int named = giveName(target);
    if (named != NORVIK_OK)
        return named;
    committed_ = true;
    if (durable)
        (void)::fsync(target.folder()); // not possible in a folder the caller may not read
    return ::close(std::exchange(fd_, -1)) == 0 ? NORVIK_OK : NORVIK_TARGET_ERROR;
}

// An existing target is replaced in one rename, so that its name always holds
// the old file or the new one. A new target is linked to its name, which fails
// rather than replace a file that appeared meanwhile.
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
    if (::renameat(folder_, named_.c_str(), folder_, target.name().c_str()) != 0)
        return targetRefusal(errno);
    named_.clear();
    return NORVIK_OK;
}

} // namespace norvik
