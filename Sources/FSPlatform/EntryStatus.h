#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <sys/types.h>

// What one statx call tells about an entry. Symbolic links are followed, so a
// link to a folder is a folder; a dangling link falls back to the link itself.
struct EntryStatus
{
    bool exists = false;
    bool isDirectory = false;
    bool isRegularFile = false;
    bool isSymbolicLink = false; // the entry itself is a link
    qint64 size = 0;             // bytes; meaningful for regular files
    qint64 modificationTimeNs = 0; // since the epoch
    quint32 mode = 0;
    quint64 device = 0;
    quint64 inode = 0;

    // `name` relative to the open folder `directoryFd` (or AT_FDCWD with a path).
    // `typeHint` is the readdir d_type (DT_UNKNOWN when not known).
    static EntryStatus read(int directoryFd, const char *name, unsigned char typeHint);
    static EntryStatus read(const QByteArray &path);
    // The entry itself, never following a link.
    static EntryStatus readWithoutFollowing(const QByteArray &path);
    static EntryStatus readWithoutFollowing(int directoryFd, const char *name);
    // The open file or folder `fd`.
    static EntryStatus readOpen(int fd);
};
