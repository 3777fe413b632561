#include "VisibleVolumes.h"

#include "GvfsMounts.h"
#include "PathCodec.h"

#include <QDir>
#include <QSet>

namespace VisibleVolumes {

namespace {

// Kernel interfaces and placeholders that never hold a user's files wherever
// they are mounted, and FUSE bridges whose contents are shown another way.
bool isPseudoFileSystemType(const QString &type)
{
    static const QSet<QString> types = {
        QStringLiteral("proc"), QStringLiteral("sysfs"), QStringLiteral("devtmpfs"),
        QStringLiteral("devpts"), QStringLiteral("cgroup"), QStringLiteral("cgroup2"),
        QStringLiteral("securityfs"), QStringLiteral("debugfs"), QStringLiteral("tracefs"),
        QStringLiteral("pstore"), QStringLiteral("efivarfs"), QStringLiteral("bpf"),
        QStringLiteral("configfs"), QStringLiteral("fusectl"), QStringLiteral("hugetlbfs"),
        QStringLiteral("mqueue"), QStringLiteral("autofs"), QStringLiteral("binfmt_misc"),
        QStringLiteral("rpc_pipefs"), QStringLiteral("nsfs"), QStringLiteral("selinuxfs"),
        QStringLiteral("nfsd"), QStringLiteral("rootfs"), QStringLiteral("fuse.gvfsd-fuse"),
        QStringLiteral("fuse.portal"), QStringLiteral("fuse.lxcfs"),
    };
    return types.contains(type);
}

// Where the system keeps mounts of its own (services, containers, snaps); a
// network file system mounted there is not the user's share.
bool isInSystemTree(const QString &path)
{
    static const QStringList trees = {
        QStringLiteral("/proc"), QStringLiteral("/sys"), QStringLiteral("/dev"),
        QStringLiteral("/run"), QStringLiteral("/var"), QStringLiteral("/snap"),
        QStringLiteral("/boot"), QStringLiteral("/usr"), QStringLiteral("/etc"),
    };
    for (const QString &tree : trees) {
        if (MountTable::isAtOrBelow(path, tree))
            return true;
    }
    return false;
}

bool isInHiddenFolder(const QString &path)
{
    return path.contains(QLatin1String("/."));
}

bool isUserMountPoint(const QString &path, const QString &homePath)
{
    if (path == QLatin1String("/"))
        return true;
    if (isInHiddenFolder(path))
        return false;
    if (MountTable::isAtOrBelow(path, QStringLiteral("/media")) || MountTable::isAtOrBelow(path, QStringLiteral("/mnt")))
        return true;
    if (path.startsWith(QLatin1String("/run/media/")))
        return true;
    // The home folder itself is a place, not a device.
    const QString home = QDir::cleanPath(homePath);
    return home != QLatin1String("/") && path.startsWith(home + QLatin1Char('/'));
}

// The last entry at each mount point, in the order the top mounts were made.
QList<MountEntry> topMounts(const QList<MountEntry> &table)
{
    QList<MountEntry> result;
    for (const MountEntry &entry : table) {
        result.removeIf([&](const MountEntry &earlier) { return earlier.mountPoint == entry.mountPoint; });
        result.append(entry);
    }
    return result;
}

} // namespace

bool isNetworkFileSystemType(const QString &type)
{
    static const QSet<QString> types = {
        QStringLiteral("cifs"), QStringLiteral("smb3"), QStringLiteral("smbfs"),
        QStringLiteral("nfs"), QStringLiteral("nfs4"), QStringLiteral("ceph"),
        QStringLiteral("glusterfs"), QStringLiteral("fuse.glusterfs"), QStringLiteral("fuse.sshfs"),
        QStringLiteral("fuse.rclone"), QStringLiteral("fuse.s3fs"), QStringLiteral("davfs"),
        QStringLiteral("fuse.davfs"), QStringLiteral("afs"), QStringLiteral("ncpfs"),
    };
    return types.contains(type);
}

QList<VisibleVolume> fromMountTable(const QList<MountEntry> &table, const QString &homePath)
{
    QList<VisibleVolume> volumes;
    for (const MountEntry &entry : topMounts(table)) {
        if (isPseudoFileSystemType(entry.fileSystemType))
            continue;
        const QString &path = entry.mountPoint;
        const bool isNetwork = isNetworkFileSystemType(entry.fileSystemType);
        const bool isShown = isUserMountPoint(path, homePath)
            || (isNetwork && !isInHiddenFolder(path) && !isInSystemTree(path));
        if (isShown)
            volumes.append({PathCodec::urlForPath(path), isNetwork});
    }
    return volumes;
}

QList<VisibleVolume> fromGvfsFolder(const QString &fuseFolder, const QStringList &folderNames)
{
    QList<VisibleVolume> volumes;
    for (const QString &name : folderNames)
        volumes.append({PathCodec::urlForPath(fuseFolder + QLatin1Char('/') + name), GvfsMounts::isNetworkMount(name)});
    return volumes;
}

QList<VisibleVolume> current()
{
    QList<VisibleVolume> volumes = fromMountTable(MountTable::read(), QDir::homePath());
    const QString fuseFolder = GvfsMounts::fuseFolder();
    volumes += fromGvfsFolder(fuseFolder, GvfsMounts::folderNames(fuseFolder));
    return volumes;
}

} // namespace VisibleVolumes
