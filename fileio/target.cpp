#include "target.h"

#include "norvik.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace fileio {

namespace {

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

int targetRefusal(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return NORVIK_TARGET_DENIED;
    default:
        return NORVIK_TARGET_ERROR;
    }
}

Target::Target(const char *path, const struct stat &source)
    : status_(NORVIK_TARGET_ERROR)
{
    const std::string whole(path);
    if (whole.back() == '/' || !openFolder(whole))
        return;
    struct stat status {};
    if (::fstatat(folder_, name_.c_str(), &status, 0) != 0) {
        const int error = errno;
        struct stat link {};
        const bool dangling = error == ENOENT && ::fstatat(folder_, name_.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0;
        // A new file; but a symlink that names no file is not followed to make one.
        status_ = error != ENOENT ? targetRefusal(error) : dangling ? NORVIK_TARGET_ERROR : NORVIK_OK;
        return;
    }
    if (sameFile(status, source)) {
        status_ = NORVIK_SAME_FILE;
        return;
    }
    // Only a regular file is ever replaced: never a folder, and never a device
    // such as /dev/null, which a rename would destroy.
    if (!S_ISREG(status.st_mode))
        return;
    file_ = ::openat(folder_, name_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (file_ < 0) {
        status_ = targetRefusal(errno);
        return;
    }
    if (::fstat(file_, &existing_) != 0 || !S_ISREG(existing_.st_mode) || sameFile(existing_, source))
        return;
    struct stat link {};
    if (::fstatat(folder_, name_.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(link.st_mode)
        && !findRealFile(path))
        return;
    status_ = unchanged() ? NORVIK_OK : NORVIK_TARGET_ERROR;
}

Target::~Target()
{
    if (file_ >= 0)
        ::close(file_);
    if (folder_ >= 0)
        ::close(folder_);
}

// Opens the folder of `path` and keeps the last part as the name. The folder
// is opened for reading, so that it can be flushed, where the caller may read it.
bool Target::openFolder(const std::string &path)
{
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name_ = slash == std::string::npos ? path : path.substr(slash + 1);
    if (folder_ >= 0)
        ::close(folder_);
    folder_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0 && errno == EACCES)
        folder_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0)
        status_ = targetRefusal(errno);
    return folder_ >= 0;
}

// The target is a symlink the kernel let the caller write through: the file it
// names is replaced in its own folder, and the link stays as it is.
bool Target::findRealFile(const char *path)
{
    char *real = ::realpath(path, nullptr);
    if (!real)
        return false;
    const bool opened = openFolder(real);
    std::free(real);
    return opened;
}

bool Target::unchanged() const
{
    struct stat now {};
    return ::fstatat(folder_, name_.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(now, existing_);
}

} // namespace fileio
