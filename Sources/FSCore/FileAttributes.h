#pragma once

#include "LabelColor.h"

#include "FSPlatform/ContentTypes.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

// Everything the views show or sort by, read from the disk in one go. A listing
// reads it once per entry on its worker thread, so that sorting and drawing
// never touch the disk again.
struct FileAttributes
{
    QString name;           // shown name: the last path component, escaped bytes shown as U+FFFD
    QByteArray nameSortKey; // natural-order key of `name`
    // The entry's type ("image/jpeg", described as "JPEG image"); null when the
    // entry does not exist. Shared by every entry of that type.
    const ContentTypes::ContentType *contentType = nullptr;
    qint64 fileSize = 0;     // regular files only, see hasFileSize
    qint64 modificationTimeNs = 0;
    quint64 device = 0;
    quint64 inode = 0;
    LabelColor labelColor = LabelColor::none;
    bool exists = false;
    bool isDirectory = false;
    bool isSymbolicLink = false;
    bool hasFileSize = false;
    bool hasModificationTime = false;
    // The user chose to see the name without its extension (files only).
    bool hidesExtension = false;
    // False for an entry of a names-first listing whose status (size, dates,
    // tags, content type by content) is still to be read; its name and the
    // folder-or-file kind from readdir are right already.
    bool hasStatus = true;

    bool hasKind() const { return contentType && !contentType->description.isEmpty(); }
    QString kindDescription() const { return contentType ? contentType->description : QString(); }

    // Reads one entry; what cannot be read keeps its fallback.
    static FileAttributes read(const QUrl &url);
    // Reads entry `rawName` of the open folder `directoryFd`, whose full encoded
    // path is `fullPath`; `typeHint` is readdir's d_type.
    static FileAttributes read(int directoryFd, const char *rawName, unsigned char typeHint,
                               const QString &name, const QByteArray &fullPath);

    // What readdir alone tells of entry `name`: its name and sort key, whether
    // it is a folder or a link by `typeHint` (d_type), and its kind by name;
    // hasStatus is false.
    static FileAttributes named(const QString &name, unsigned char typeHint);
    // The status of an entry known by `named` (a result of named()), read as
    // read() does; the name and its sort key are shared, not made again.
    static FileAttributes readStatus(int directoryFd, const char *rawName, unsigned char typeHint,
                                     const FileAttributes &named, const QByteArray &fullPath);
};
