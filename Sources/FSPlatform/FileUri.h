#pragma once

#include <QByteArray>

#include <optional>

// file:// URIs of local paths exactly as GLib writes them: every byte outside
// the URI's unreserved set percent-encoded on its own, whatever the name's
// encoding, so that the URI carries the path's bytes and nothing else. Caches
// keyed by URI (thumbnails) and the clipboard are then shared with other programs.
namespace FileUri {

// `path` is absolute and encoded (PathCodec); empty when it is not absolute.
QByteArray forPath(const QByteArray &path);

// The encoded path of a file:// URI with no host or "localhost"; nothing for
// any other URI, and nothing when an escape stands for a NUL or a slash.
std::optional<QByteArray> pathFor(const QByteArray &uri);

} // namespace FileUri
