#include "dispatch/file_rename.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pictorand {

bool renameWithoutReplacing(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without the no-replace flag: a hard link fails when the
    // name exists.
    if (link(from.c_str(), to.c_str()) == 0)
        return unlink(from.c_str()) == 0;
    if (errno != EPERM && errno != ENOTSUP)
        return false;
    struct stat info {};
    if (lstat(to.c_str(), &info) == 0)
        return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace pictorand
