#pragma once

#include "FileItem.h"

#include <QString>
#include <QUrl>

#include <optional>

// The mounted volumes, split into the machine's own and network shares, and
// the server a share comes from. Every answer is read anew from the mount
// table and the gvfs folder, never from the volumes themselves, so a dead
// share cannot block the caller.
namespace VolumeInfo {

// The local volumes (including those whose kind is not known), in mount order.
FileItemList mountedVolumes();
// The network volumes: network file systems and the shares mounted by gvfs.
FileItemList sharedVolumes();

// The host of the server `volume` comes from: from a mount source
// "//[user@]host/share", or from the "server=" or "host=" key of a gvfs share's
// folder name. No host for a local volume.
std::optional<QString> remoteHost(const QUrl &volume);

// The name to show for a volume, from its mount point alone: "File System" for
// the root, the share of a gvfs mount, else the mount folder's name.
QString displayName(const QUrl &volume);

} // namespace VolumeInfo
