#pragma once

#include <QByteArray>

#include <sys/types.h>

// Extended attributes read relative to an open folder, with getxattrat(2) and
// listxattrat(2) (Linux 6.13): a listing then spares the kernel walking the
// whole path again for every entry. Where a kernel or a sandbox refuses these
// calls, they are given up for good and the plain calls on `path` are used.
// Both answer as getxattr(2) and listxattr(2) do: a length, or -1 and errno.
namespace RelativeXattr {

// Attribute `attribute` of entry `name` of the open folder `directoryFd` (or
// -1), whose full path is `path`; links are followed.
ssize_t get(int directoryFd, const char *name, const QByteArray &path, const char *attribute, char *buffer,
            size_t size);
// The plain read of `path`, for callers that must size a buffer first.
ssize_t getPlain(const QByteArray &path, const char *attribute, char *buffer, size_t size);
// The NUL-separated names of the entry's extended attributes.
ssize_t list(int directoryFd, const char *name, const QByteArray &path, char *buffer, size_t size);

} // namespace RelativeXattr
