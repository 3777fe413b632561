#include "FilePermissions.h"

#include "FSPlatform/OperationError.h"
#include "FSPlatform/PathCodec.h"

namespace FilePermissions {

namespace {

int shiftOf(PermissionClass permissionClass)
{
    switch (permissionClass) {
    case PermissionClass::owner:
        return 6;
    case PermissionClass::group:
        return 3;
    case PermissionClass::everyone:
        break;
    }
    return 0;
}

constexpr quint32 readBit = 4;
constexpr quint32 writeBit = 2;
constexpr quint32 executeBit = 1;

} // namespace

AccessLevel accessLevel(quint32 mode, PermissionClass permissionClass)
{
    const quint32 bits = (mode >> shiftOf(permissionClass)) & 7;
    if (!(bits & readBit))
        return AccessLevel::noAccess;
    return (bits & writeBit) ? AccessLevel::readWrite : AccessLevel::readOnly;
}

quint32 modeWith(quint32 mode, PermissionClass permissionClass, AccessLevel level, bool isFolder)
{
    const int shift = shiftOf(permissionClass);
    const quint32 old = (mode >> shift) & 7;
    quint32 bits = 0;
    switch (level) {
    case AccessLevel::readWrite:
        bits = readBit | writeBit;
        break;
    case AccessLevel::readOnly:
        bits = readBit;
        break;
    case AccessLevel::noAccess:
        break;
    }
    if (isFolder)
        bits |= bits ? executeBit : 0;
    else
        bits |= old & executeBit;
    return (mode & ~(quint32(7) << shift)) | (bits << shift);
}

PosixPermissions apply(const QUrl &item, PermissionClass permissionClass, AccessLevel level)
{
    const QByteArray path = PathCodec::encodePath(item);
    const PosixPermissions current = PosixPermissions::read(path);
    const quint32 mode = modeWith(current.mode, permissionClass, level, current.isDirectory);
    if (mode == current.mode)
        return current;
    PosixPermissions::writeMode(path, mode);
    try {
        return PosixPermissions::read(path);
    } catch (const OperationError &) {
        PosixPermissions written = current;
        written.mode = mode;
        return written;
    }
}

} // namespace FilePermissions
