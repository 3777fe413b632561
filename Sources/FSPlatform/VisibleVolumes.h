#pragma once

#include "MountTable.h"

#include <QList>
#include <QString>
#include <QUrl>

// A mounted volume as a Linux file manager shows it.
struct VisibleVolume
{
    QUrl url;               // the volume's root folder
    bool isNetwork = false; // a network share; false when that is not known

    friend bool operator==(const VisibleVolume &, const VisibleVolume &) = default;
};

// Which mounts are volumes. Most lines of the mount table are the kernel's own
// interfaces (proc, sysfs, cgroup, ...) or the system's private mounts
// (/run, /boot, containers under /var, snaps): a user sees the root file
// system, the mounts under /media, /run/media and /mnt or below the home
// folder, and network shares.
namespace VisibleVolumes {

// The volumes among the kernel's mounts, in table order. Of mounts stacked on
// one folder only the top one counts; mounts inside hidden folders and the
// FUSE bridges of gvfs and the desktop portal are never volumes.
QList<VisibleVolume> fromMountTable(const QList<MountEntry> &table, const QString &homePath);

// One volume per mount that gvfs shows in `fuseFolder`.
QList<VisibleVolume> fromGvfsFolder(const QString &fuseFolder, const QStringList &folderNames);

// The volumes mounted now: the kernel's, then those of gvfs. Reads the mount
// table and the gvfs folder only, never a volume itself.
QList<VisibleVolume> current();

bool isNetworkFileSystemType(const QString &type);

} // namespace VisibleVolumes
