#include "HiddenExtension.h"

#include "OperationError.h"
#include "PathCodec.h"

#include <sys/xattr.h>

#include <cerrno>

namespace HiddenExtension {

bool isHidden(const QByteArray &path)
{
    char value[8];
    const ssize_t length = ::getxattr(path.constData(), attributeName, value, sizeof value);
    return length > 0 && value[0] == '1';
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
