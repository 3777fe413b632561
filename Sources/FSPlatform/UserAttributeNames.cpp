#include "UserAttributeNames.h"

#include "HiddenExtension.h"
#include "RelativeXattr.h"

#include <cstring>

namespace {

constexpr const char *tagsAttributeName = "user.xdg.tags";

} // namespace

UserAttributeNames UserAttributeNames::read(int directoryFd, const char *name, const QByteArray &path)
{
    UserAttributeNames names;
    char buffer[1024];
    const ssize_t length = RelativeXattr::list(directoryFd, name, path, buffer, sizeof buffer);
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
