#include "UserAttributeNames.h"

#include "HiddenExtension.h"

#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

// listxattrat(2) (Linux 6.13), which the C library does not offer yet.
constexpr long listxattratNumber = 465;
constexpr const char *tagsAttributeName = "user.xdg.tags";

// Cleared for good once the call turns out to be refused here (old kernels
// answer ENOSYS, container filters EPERM or EINVAL).
std::atomic<bool> relativeCallsWork{true};

ssize_t listNames(int directoryFd, const char *name, const QByteArray &path, char *buffer, size_t size)
{
    if (directoryFd >= 0 && name && relativeCallsWork.load(std::memory_order_relaxed)) {
        const ssize_t length = ::syscall(listxattratNumber, directoryFd, name, 0, buffer, size);
        if (length >= 0 || (errno != ENOSYS && errno != EPERM && errno != EINVAL))
            return length;
        relativeCallsWork.store(false, std::memory_order_relaxed);
    }
    return ::listxattr(path.constData(), buffer, size);
}

} // namespace

UserAttributeNames UserAttributeNames::read(int directoryFd, const char *name, const QByteArray &path)
{
    UserAttributeNames names;
    char buffer[1024];
    const ssize_t length = listNames(directoryFd, name, path, buffer, sizeof buffer);
    if (length < 0)
        return names;
    names.isKnown = true;
    // The list is a run of NUL-terminated names.
    for (const char *entry = buffer; entry < buffer + length; entry += std::strlen(entry) + 1) {
        if (std::strcmp(entry, tagsAttributeName) == 0)
            names.hasTags = true;
        else if (std::strcmp(entry, HiddenExtension::attributeName) == 0)
            names.hasHiddenExtension = true;
    }
    return names;
}
