// What a replaced file keeps: its owner, group, mode, extended attributes and
// POSIX ACL (which is one of them).
#pragma once

#include <sys/stat.h>

namespace fileio {

// Gives the file open at `to` the owner and group in `from`. Returns
// NORVIK_OK, or NORVIK_TARGET_OWNER where the caller may not (another user's
// file), so that a replace never takes a file over.
int copyOwner(const struct stat &from, int to);

// Gives the file open at `to` the mode and exactly the extended attributes of
// the file open at `from` (its ACL among them): any it has that `from` lacks,
// such as an access ACL taken from its folder's default ACL, are removed. File
// capabilities are not carried over. Returns NORVIK_OK or NORVIK_TARGET_ERROR.
int copyModeAndAttributes(int from, const struct stat &status, int to);

} // namespace fileio
