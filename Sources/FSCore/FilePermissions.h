#pragma once

#include "FSPlatform/PosixPermissions.h"

#include <QUrl>

// How much a class of users may do with an item, as an info window offers it.
// The raw value is the pop-up index.
enum class AccessLevel {
    readWrite = 0,
    readOnly = 1,
    noAccess = 2,
};

// Whose access: the raw value is the pop-up's tag.
enum class PermissionClass {
    owner = 0,
    group = 1,
    everyone = 2,
};

namespace FilePermissions {

// Readable and writable, readable only, or not readable (a class that may
// only write shows as having no access). The execute bit is not looked at.
AccessLevel accessLevel(quint32 mode, PermissionClass permissionClass);

// `mode` with one class set to `level`; every other bit stays. A folder gets
// its search bit with read access and loses it without; a file keeps that
// class's execute bit, so a script set to read and write stays runnable.
quint32 modeWith(quint32 mode, PermissionClass permissionClass, AccessLevel level, bool isFolder);

// Reads the item's mode again right before changing it (so a change made
// meanwhile by someone else is kept) and writes only when that read worked
// and the mode changes. Returns what the disk holds afterwards. Throws
// PlatformError; nothing was written when the first read failed. Touches the
// disk: run it where a slow disk may keep it waiting.
PosixPermissions apply(const QUrl &item, PermissionClass permissionClass, AccessLevel level);

} // namespace FilePermissions
