#pragma once

#include <QByteArray>

// Whether a file's name is shown without its extension. Linux keeps no such
// flag, so it lives in an extended attribute of our own,
// "user.tidewright.hide-extension" (value "1"), which travels with the file when
// it is renamed or moved within a volume and is dropped where user attributes
// are not supported.
namespace HiddenExtension {

inline constexpr const char *attributeName = "user.tidewright.hide-extension";

// `path` is an encoded path (PathCodec); links are followed. False when the
// attribute is absent or cannot be read.
bool isHidden(const QByteArray &path);
// The same for entry `name` of the open folder `directoryFd`, whose full path
// is `path`: a listing spares the kernel walking the whole path again.
bool isHidden(int directoryFd, const char *name, const QByteArray &path);

// Sets or clears the flag. Throws PlatformError (ENOTSUP where the file system
// keeps no user attributes).
void setHidden(const QByteArray &path, bool hidden);

} // namespace HiddenExtension
