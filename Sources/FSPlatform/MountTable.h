#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// One line of the kernel's mount table (/proc/self/mountinfo), with the
// kernel's octal escapes undone and names decoded as PathCodec does.
struct MountEntry
{
    QString mountPoint;     // "/media/usb"
    QString source;         // "/dev/sdb1", "//server/share", "gvfsd-fuse"
    QString fileSystemType; // "ext4", "cifs", "fuse.sshfs"

    friend bool operator==(const MountEntry &, const MountEntry &) = default;
};

namespace MountTable {

inline constexpr const char *mountInfoPath = "/proc/self/mountinfo";

// The entries of a mountinfo text, in the kernel's order (parents before the
// mounts on top of them). Malformed lines are skipped.
QList<MountEntry> parse(const QByteArray &mountInfo);

// This process's mount table now; empty when it cannot be read. Reading it
// never touches the mounted file systems, so a dead network share cannot
// block it.
QList<MountEntry> read();

// The entry of the file system that holds `path`: the one mounted last at the
// longest mount point that is `path` or one of its parent folders.
std::optional<MountEntry> entryHolding(const QList<MountEntry> &table, const QString &path);

// The server named by a mount source of the form "//[user@]host/share"; no host
// for any other source (a device path, "server:/export", "none").
std::optional<QString> hostFromSource(const QString &source);

// True when `path` is `folder` itself or lies inside it.
bool isAtOrBelow(const QString &path, const QString &folder);

} // namespace MountTable
