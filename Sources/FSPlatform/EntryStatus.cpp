#include "EntryStatus.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr unsigned int wantedFields = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_INO;

bool statEntry(int directoryFd, const char *name, int flags, struct statx &info)
{
    return ::statx(directoryFd, name, flags | AT_NO_AUTOMOUNT, wantedFields, &info) == 0;
}

EntryStatus fromStatx(const struct statx &info, bool isLink)
{
    EntryStatus status;
    status.exists = true;
    status.isSymbolicLink = isLink;
    status.mode = info.stx_mode;
    status.isDirectory = S_ISDIR(info.stx_mode);
    status.isRegularFile = S_ISREG(info.stx_mode);
    status.size = qint64(info.stx_size);
    status.modificationTimeNs = qint64(info.stx_mtime.tv_sec) * 1000000000 + info.stx_mtime.tv_nsec;
    status.device = (quint64(info.stx_dev_major) << 32) | info.stx_dev_minor;
    status.inode = info.stx_ino;
    return status;
}

EntryStatus readAt(int directoryFd, const char *name, bool mayBeLink)
{
    struct statx info;
    if (statEntry(directoryFd, name, 0, info)) {
        // Only a stat of the link itself tells whether it was one; readdir's
        // d_type spares that second call for all other entries.
        bool isLink = false;
        if (mayBeLink) {
            struct statx own;
            isLink = statEntry(directoryFd, name, AT_SYMLINK_NOFOLLOW, own) && S_ISLNK(own.stx_mode);
        }
        return fromStatx(info, isLink);
    }
    // A dangling link still exists as an entry.
    if (statEntry(directoryFd, name, AT_SYMLINK_NOFOLLOW, info))
        return fromStatx(info, S_ISLNK(info.stx_mode));
    return {};
}

} // namespace

EntryStatus EntryStatus::read(int directoryFd, const char *name, unsigned char typeHint)
{
    return readAt(directoryFd, name, typeHint == DT_LNK || typeHint == DT_UNKNOWN);
}

EntryStatus EntryStatus::read(const QByteArray &path)
{
    return readAt(AT_FDCWD, path.constData(), true);
}

EntryStatus EntryStatus::readWithoutFollowing(const QByteArray &path)
{
    return readWithoutFollowing(AT_FDCWD, path.constData());
}

EntryStatus EntryStatus::readWithoutFollowing(int directoryFd, const char *name)
{
    struct statx info;
    if (statEntry(directoryFd, name, AT_SYMLINK_NOFOLLOW, info))
        return fromStatx(info, S_ISLNK(info.stx_mode));
    return {};
}

EntryStatus EntryStatus::readOpen(int fd)
{
    struct statx info;
    if (statEntry(fd, "", AT_EMPTY_PATH, info))
        return fromStatx(info, false);
    return {};
}
