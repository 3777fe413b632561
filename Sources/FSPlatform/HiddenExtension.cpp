#include "HiddenExtension.h"

#include "OperationError.h"
#include "PathCodec.h"
#include "RelativeXattr.h"

#include <sys/xattr.h>

#include <cerrno>

namespace HiddenExtension {

namespace {

bool isHiddenValue(ssize_t length, const char *value)
{
    return length > 0 && value[0] == '1';
}

} // namespace

bool isHidden(const QByteArray &path)
{
    char value[8];
    return isHiddenValue(::getxattr(path.constData(), attributeName, value, sizeof value), value);
}

bool isHidden(int directoryFd, const char *name, const QByteArray &path)
{
    char value[8];
    return isHiddenValue(RelativeXattr::get(directoryFd, name, path, attributeName, value, sizeof value), value);
}

void setHidden(const QByteArray &path, bool hidden)
{
    if (!hidden) {
        if (::removexattr(path.constData(), attributeName) != 0 && errno != ENODATA)
            throw PlatformError::fromErrno(errno, PathCodec::decode(path));
        return;
    }
    if (::setxattr(path.constData(), attributeName, "1", 1, 0) != 0)
        throw PlatformError::fromErrno(errno, PathCodec::decode(path));
}

} // namespace HiddenExtension
