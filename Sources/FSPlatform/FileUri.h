#pragma once

#include <QByteArray>

// The file:// URI of a local path exactly as GLib writes it, escaping and all,
// so that caches keyed by URI (thumbnails) are shared with other programs.
namespace FileUri {

// `path` is absolute and encoded (PathCodec); empty when it is not absolute.
QByteArray forPath(const QByteArray &path);

} // namespace FileUri
