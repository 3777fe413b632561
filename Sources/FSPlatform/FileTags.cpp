#include "FileTags.h"
#include "FileTagsTesting.h"

#include "OperationError.h"
#include "PathCodec.h"

#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace FileTags {

namespace {
constexpr const char *attributeName = "user.xdg.tags";

// getxattrat(2) (Linux 6.13) reads relative to an open folder; the C library
// does not offer it yet.
constexpr long getxattratNumber = 464;

struct XattrArguments
{
    std::uint64_t value;
    std::uint32_t size;
    std::uint32_t flags;
};

// Cleared for good once getxattrat turns out to be unavailable here.
std::atomic<bool> relativeReadsWork{true};
testing::FailureHook failureHook;

bool injectFailure(const QByteArray &path, bool isRelativeRead)
{
    if (!failureHook)
        return false;
    const int errorNumber = failureHook(path, isRelativeRead);
    if (errorNumber == 0)
        return false;
    errno = errorNumber;
    return true;
}

ssize_t getPlain(const QByteArray &path, char *buffer, size_t size)
{
    if (injectFailure(path, false))
        return -1;
    return ::getxattr(path.constData(), attributeName, buffer, size);
}

ssize_t getRelative(int directoryFd, const char *name, const QByteArray &path, char *buffer, size_t size)
{
    if (injectFailure(path, true))
        return -1;
    XattrArguments arguments{reinterpret_cast<std::uintptr_t>(buffer), std::uint32_t(size), 0};
    return ::syscall(getxattratNumber, directoryFd, name, 0, attributeName, &arguments, sizeof arguments);
}

// Old kernels answer ENOSYS; seccomp profiles of containers and sandboxes
// answer unknown calls with EPERM; some filters and kernels refuse the
// argument struct with EINVAL.
bool meansCallUnavailable(int errorNumber)
{
    return errorNumber == ENOSYS || errorNumber == EPERM || errorNumber == EINVAL;
}

ssize_t getAt(int directoryFd, const char *name, const QByteArray &path, char *buffer, size_t size)
{
    if (directoryFd < 0 || !relativeReadsWork.load(std::memory_order_relaxed))
        return getPlain(path, buffer, size);
    const ssize_t length = getRelative(directoryFd, name, path, buffer, size);
    if (length >= 0 || !meansCallUnavailable(errno))
        return length;
    // EPERM or EINVAL may also be this file's own answer (a FUSE file system,
    // a security module). Only when the plain call answers differently was it
    // the call that was refused, not the file.
    const int relativeError = errno;
    const ssize_t plainLength = getPlain(path, buffer, size);
    if (relativeError == ENOSYS || plainLength >= 0 || errno != relativeError)
        relativeReadsWork.store(false, std::memory_order_relaxed);
    return plainLength;
}

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
    ssize_t length = getAt(directoryFd, name, path, small, sizeof small);
    if (length >= 0) {
        result.status = ReadResult::present;
        result.tags = parse(QByteArray::fromRawData(small, length));
        return result;
    }
    // The value may grow between a size query and the read; a few tries settle it.
    for (int attempt = 0; attempt < 4 && errno == ERANGE; ++attempt) {
        length = getPlain(path, nullptr, 0);
        if (length < 0)
            break;
        QByteArray buffer(length + 64, Qt::Uninitialized);
        length = getPlain(path, buffer.data(), buffer.size());
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

namespace testing {

void setFailureHook(FailureHook hook)
{
    failureHook = std::move(hook);
}

bool triesRelativeReads()
{
    return relativeReadsWork.load();
}

void reset()
{
    failureHook = {};
    relativeReadsWork.store(true);
}

} // namespace testing

} // namespace FileTags
