#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// gvfs (the GIO daemons that mount SMB, SFTP, WebDAV and the like without
// root) shows each of its mounts as one folder of its FUSE bridge, named
// after the mount: "smb-share:port=1445,server=HOST,share=NAME".
namespace GvfsMounts {

// The bridge's folder, "$XDG_RUNTIME_DIR/gvfs" as the gvfs daemons resolve it.
QString fuseFolder();

// The names of the folders in `fuseFolder`, sorted; empty when it cannot be
// read. Only the folder itself is read: looking into a share would ask its
// server, and a dead server can block that for minutes.
QStringList folderNames(const QString &fuseFolder);

// True for mounts of a network backend (SMB, SFTP, FTP, WebDAV, AFP, NFS).
// Phones, cameras and other devices that gvfs mounts are local.
bool isNetworkMount(const QString &folderName);

// The server of a network mount, from its "server=" or "host=" key.
std::optional<QString> hostFromFolderName(const QString &folderName);

// What to call a mount: its share or volume ("share=", "volume="), else its
// server, else the folder's own name.
QString displayName(const QString &folderName);

} // namespace GvfsMounts
