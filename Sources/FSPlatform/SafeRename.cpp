#include "SafeRename.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeRename {

namespace {

// Replaces a placeholder this process just made; removes it again when the
// rename fails, so a failed attempt leaves no trace.
int renameOverPlaceholder(int fromFolderFd, const char *from, int toFolderFd, const char *to, bool placeholderIsFolder)
{
    if (::renameat(fromFolderFd, from, toFolderFd, to) == 0)
        return 0;
    const int error = errno;
    ::unlinkat(toFolderFd, to, placeholderIsFolder ? AT_REMOVEDIR : 0);
    return error;
}

int claimWithHardLink(int fromFolderFd, const char *from, int toFolderFd, const char *to, bool &linkRefused)
{
    linkRefused = false;
    if (::linkat(fromFolderFd, from, toFolderFd, to, 0) != 0) {
        const int error = errno;
        // File systems without hard links (FAT, many FUSE ones) say so in these ways.
        linkRefused = error == EPERM || error == EOPNOTSUPP || error == EMLINK || error == ENOSYS;
        return error;
    }
    if (::unlinkat(fromFolderFd, from, 0) == 0)
        return 0;
    const int error = errno;
    ::unlinkat(toFolderFd, to, 0);
    return error;
}

} // namespace

int renameNoReplace(int fromFolderFd, const char *from, int toFolderFd, const char *to)
{
    if (::renameat2(fromFolderFd, from, toFolderFd, to, RENAME_NOREPLACE) == 0)
        return 0;
    const int error = errno;
    // EINVAL is also the answer for moving a folder into itself; the fallback
    // then meets the same refusal from renameat and reports it.
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
        return error;
    return renameByClaimingTarget(fromFolderFd, from, toFolderFd, to);
}

int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    return renameNoReplace(AT_FDCWD, from.constData(), AT_FDCWD, to.constData());
}

int renameByClaimingTarget(int fromFolderFd, const char *from, int toFolderFd, const char *to)
{
    struct stat status;
    if (::fstatat(fromFolderFd, from, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;

    if (S_ISDIR(status.st_mode)) {
        // rename(2) may replace an empty folder, and only ours can be empty
        // and in that place: whoever fills it in between makes it fail instead.
        if (::mkdirat(toFolderFd, to, 0700) != 0)
            return errno;
        return renameOverPlaceholder(fromFolderFd, from, toFolderFd, to, true);
    }

    bool linkRefused = false;
    const int linked = claimWithHardLink(fromFolderFd, from, toFolderFd, to, linkRefused);
    if (!linkRefused)
        return linked;

    const int placeholder = ::openat(toFolderFd, to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (placeholder < 0)
        return errno;
    ::close(placeholder);
    return renameOverPlaceholder(fromFolderFd, from, toFolderFd, to, false);
}

} // namespace SafeRename
