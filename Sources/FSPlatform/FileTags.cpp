#include "FileTags.h"

#include "OperationError.h"
#include "PathCodec.h"
#include "RelativeXattr.h"

#include <sys/xattr.h>

#include <cerrno>

namespace FileTags {

namespace {
constexpr const char *attributeName = "user.xdg.tags";
} // namespace

ReadResult read(const QByteArray &path)
{
    return read(-1, nullptr, path);
}

ReadResult read(int directoryFd, const char *name, const QByteArray &path)
{
    ReadResult result;
    // Most files have no tags or a short list: a stack buffer spares an
    // allocation per entry of a large listing.
    char small[256];
    ssize_t length = RelativeXattr::get(directoryFd, name, path, attributeName, small, sizeof small);
    if (length >= 0) {
        result.status = ReadResult::present;
        result.tags = parse(QByteArray::fromRawData(small, length));
        return result;
    }
    // The value may grow between a size query and the read; a few tries settle it.
    for (int attempt = 0; attempt < 4 && errno == ERANGE; ++attempt) {
        length = RelativeXattr::getPlain(path, attributeName, nullptr, 0);
        if (length < 0)
            break;
        QByteArray buffer(length + 64, Qt::Uninitialized);
        length = RelativeXattr::getPlain(path, attributeName, buffer.data(), buffer.size());
        if (length >= 0) {
            buffer.resize(length);
            result.status = ReadResult::present;
            result.tags = parse(buffer);
            return result;
        }
    }
    if (errno == ENODATA)
        return result;
    result.status = ReadResult::failed;
    result.errorNumber = errno;
    return result;
}

void write(const QByteArray &path, const QStringList &tags)
{
    if (tags.isEmpty()) {
        if (::removexattr(path.constData(), attributeName) != 0 && errno != ENODATA)
            throw PlatformError::fromErrno(errno, PathCodec::decode(path));
        return;
    }
    const QByteArray value = serialize(tags);
    if (::setxattr(path.constData(), attributeName, value.constData(), value.size(), 0) != 0)
        throw PlatformError::fromErrno(errno, PathCodec::decode(path));
}

QStringList parse(const QByteArray &value)
{
    QStringList tags;
    QByteArray text = value;
    // Some writers store a terminating NUL with the value.
    while (text.endsWith('\0'))
        text.chop(1);
    for (const QByteArray &piece : text.split(',')) {
        const QString tag = QString::fromUtf8(piece).trimmed();
        if (!tag.isEmpty())
            tags.append(tag);
    }
    return tags;
}

QByteArray serialize(const QStringList &tags)
{
    return tags.join(QLatin1Char(',')).toUtf8();
}

} // namespace FileTags
