#include "file_metadata.h"

#include "norvik.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace norvik {

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
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP ? NORVIK_OK : NORVIK_TARGET_ERROR;
    std::vector<char> names(static_cast<std::size_t>(size));
    size = ::flistxattr(from, names.data(), names.size());
    if (size < 0)
        return NORVIK_TARGET_ERROR;
    for (const char *name = names.data(); name < names.data() + size; name += std::strlen(name) + 1) {
        // File capabilities belong to the old content, not to whatever replaces it.
        if (std::strcmp(name, "security.capability") == 0)
            continue;
        std::vector<char> value(65536);
        const ssize_t length = ::fgetxattr(from, name, value.data(), value.size());
        if (length < 0 || ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(length), 0) != 0)
            return NORVIK_TARGET_ERROR;
    }
    return NORVIK_OK;
}

} // namespace norvik
