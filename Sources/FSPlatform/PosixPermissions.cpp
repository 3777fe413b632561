#include "PosixPermissions.h"

#include "OperationError.h"
#include "PathCodec.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

// The _r calls, since a worker may ask while another thread asks too.
QString accountName(uid_t id)
{
    std::vector<char> buffer(16384);
    passwd entry;
    passwd *found = nullptr;
    if (::getpwuid_r(id, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(id);
}

QString groupAccountName(gid_t id)
{
    std::vector<char> buffer(16384);
    group entry;
    group *found = nullptr;
    if (::getgrgid_r(id, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(id);
}

} // namespace

PosixPermissions PosixPermissions::read(const QByteArray &path)
{
    struct stat status;
    if (::stat(path.constData(), &status) != 0)
        throw PlatformError::fromErrno(errno, PathCodec::decode(path));
    PosixPermissions permissions;
    permissions.mode = status.st_mode & 07777;
    permissions.ownerId = status.st_uid;
    permissions.groupId = status.st_gid;
    permissions.ownerName = accountName(status.st_uid);
    permissions.groupName = groupAccountName(status.st_gid);
    permissions.isDirectory = S_ISDIR(status.st_mode);
    return permissions;
}

void PosixPermissions::writeMode(const QByteArray &path, quint32 mode)
{
    if (::chmod(path.constData(), mode & 07777) != 0)
        throw PlatformError::fromErrno(errno, PathCodec::decode(path));
}
