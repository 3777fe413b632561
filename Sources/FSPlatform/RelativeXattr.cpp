#include "RelativeXattr.h"
#include "RelativeXattrTesting.h"

#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace RelativeXattr {

namespace {

// The C library does not offer these calls yet.
constexpr long getxattratNumber = 464;
constexpr long listxattratNumber = 465;

struct XattrArguments
{
    std::uint64_t value;
    std::uint32_t size;
    std::uint32_t flags;
};

// Each cleared for good once its call turns out to be unavailable here.
std::atomic<bool> relativeReadsWork{true};
std::atomic<bool> relativeListsWork{true};
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

// Old kernels answer ENOSYS; seccomp profiles of containers and sandboxes
// answer unknown calls with EPERM; some filters and kernels refuse the
// argument struct with EINVAL.
bool meansCallUnavailable(int errorNumber)
{
    return errorNumber == ENOSYS || errorNumber == EPERM || errorNumber == EINVAL;
}

// Runs the relative call while it works here, else the plain one. EPERM or
// EINVAL may also be the entry's own answer (a FUSE file system, a security
// module): only when the plain call answers differently was it the call that
// was refused, not the entry.
template<typename Relative, typename Plain>
ssize_t relativeOrPlain(std::atomic<bool> &works, int directoryFd, const char *name, Relative relative, Plain plain)
{
    if (directoryFd < 0 || !name || !works.load(std::memory_order_relaxed))
        return plain();
    const ssize_t length = relative();
    if (length >= 0 || !meansCallUnavailable(errno))
        return length;
    const int relativeError = errno;
    const ssize_t plainLength = plain();
    if (relativeError == ENOSYS || plainLength >= 0 || errno != relativeError)
        works.store(false, std::memory_order_relaxed);
    return plainLength;
}

} // namespace

ssize_t getPlain(const QByteArray &path, const char *attribute, char *buffer, size_t size)
{
    if (injectFailure(path, false))
        return -1;
    return ::getxattr(path.constData(), attribute, buffer, size);
}

ssize_t get(int directoryFd, const char *name, const QByteArray &path, const char *attribute, char *buffer,
            size_t size)
{
    return relativeOrPlain(
        relativeReadsWork, directoryFd, name,
        [&]() -> ssize_t {
            if (injectFailure(path, true))
                return -1;
            XattrArguments arguments{reinterpret_cast<std::uintptr_t>(buffer), std::uint32_t(size), 0};
            return ::syscall(getxattratNumber, directoryFd, name, 0, attribute, &arguments, sizeof arguments);
        },
        [&] { return getPlain(path, attribute, buffer, size); });
}

ssize_t list(int directoryFd, const char *name, const QByteArray &path, char *buffer, size_t size)
{
    return relativeOrPlain(
        relativeListsWork, directoryFd, name,
        [&]() -> ssize_t { return ::syscall(listxattratNumber, directoryFd, name, 0, buffer, size); },
        [&] { return ::listxattr(path.constData(), buffer, size); });
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
    relativeListsWork.store(true);
}

} // namespace testing

} // namespace RelativeXattr
