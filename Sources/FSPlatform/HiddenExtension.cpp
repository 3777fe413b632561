#include "HiddenExtension.h"

#include "OperationError.h"
#include "PathCodec.h"

#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace HiddenExtension {

namespace {

// getxattrat(2) (Linux 6.13), which the C library does not offer yet.
constexpr long getxattratNumber = 464;

struct XattrArguments
{
    std::uint64_t value;
    std::uint32_t size;
    std::uint32_t flags;
};

// Cleared for good once the call turns out to be refused here (old kernels
// answer ENOSYS, container filters EPERM or EINVAL).
std::atomic<bool> relativeReadsWork{true};

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
    if (directoryFd < 0 || !name || !relativeReadsWork.load(std::memory_order_relaxed))
        return isHidden(path);
    char value[8];
    XattrArguments arguments{reinterpret_cast<std::uintptr_t>(value), std::uint32_t(sizeof value), 0};
    const ssize_t length = ::syscall(getxattratNumber, directoryFd, name, 0, attributeName, &arguments,
                                     sizeof arguments);
    if (length >= 0 || errno == ENODATA || errno == ERANGE)
        return isHiddenValue(length, value);
    if (errno == ENOSYS || errno == EPERM || errno == EINVAL)
        relativeReadsWork.store(false, std::memory_order_relaxed);
    return isHidden(path);
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
