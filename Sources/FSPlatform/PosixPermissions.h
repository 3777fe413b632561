#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// An entry's owner, group and mode. Symbolic links are followed both ways, so a
// link shows and changes what it points to (a link's own mode means nothing on
// Linux).
struct PosixPermissions
{
    quint32 mode = 0; // permission bits with set-user-ID, set-group-ID and sticky
    quint32 ownerId = 0;
    quint32 groupId = 0;
    QString ownerName; // the account name, or the number when there is none
    QString groupName;
    bool isDirectory = false;

    // `path` is an encoded path (PathCodec). Throws PlatformError, also for a
    // link whose target is gone.
    static PosixPermissions read(const QByteArray &path);
    // Sets the twelve mode bits of `mode`. Throws PlatformError.
    static void writeMode(const QByteArray &path, quint32 mode);
};
