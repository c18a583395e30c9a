#include "file_metadata.h"

#include "norvik.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/limits.h>
#include <string>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace fileio {

namespace {

// File capabilities belong to the old content, not to whatever replaces it.
constexpr const char *NotCarried = "security.capability";

// The names of every extended attribute of the file open at `fd`; false when
// they cannot be read. A file system without them has none.
bool attributeNames(int fd, std::vector<std::string> &names)
{
    for (;;) {
        ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP;
        std::vector<char> list(static_cast<std::size_t>(size));
        size = ::flistxattr(fd, list.data(), list.size());
        if (size < 0 && errno == ERANGE)
            continue; // one was added meanwhile
        if (size < 0)
            return false;
        for (const char *name = list.data(); name < list.data() + size; name += std::strlen(name) + 1)
            names.emplace_back(name);
        return true;
    }
}

} // namespace

int copyOwner(const struct stat &from, int to)
{
    struct stat now {};
    if (::fstat(to, &now) != 0)
        return NORVIK_TARGET_ERROR;
    if (now.st_uid == from.st_uid && now.st_gid == from.st_gid)
        return NORVIK_OK;
    if (::fchown(to, from.st_uid, from.st_gid) == 0)
        return NORVIK_OK;
    return errno == EPERM ? NORVIK_TARGET_OWNER : NORVIK_TARGET_ERROR;
}

int copyModeAndAttributes(int from, const struct stat &status, int to)
{
    // The mode first: a changed owner has cleared the set-user-ID and
    // set-group-ID bits, and an ACL set afterwards keeps them.
    if (::fchmod(to, status.st_mode & 07777) != 0)
        return NORVIK_TARGET_ERROR;
    std::vector<std::string> kept, given;
    if (!attributeNames(from, kept) || !attributeNames(to, given))
        return NORVIK_TARGET_ERROR;
    // What the new file got from its folder (a default ACL becomes its access
    // ACL) and the old file did not have would widen who may read it.
    for (const std::string &name : given)
        if (std::find(kept.begin(), kept.end(), name) == kept.end() && ::fremovexattr(to, name.c_str()) != 0
            && errno != ENODATA)
            return NORVIK_TARGET_ERROR;
    std::vector<char> value(kept.empty() ? 0 : XATTR_SIZE_MAX);
    for (const std::string &name : kept) {
        if (name == NotCarried)
            continue;
        const ssize_t length = ::fgetxattr(from, name.c_str(), value.data(), value.size());
        if (length < 0 || ::fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(length), 0) != 0)
            return NORVIK_TARGET_ERROR;
    }
    return NORVIK_OK;
}

} // namespace fileio
