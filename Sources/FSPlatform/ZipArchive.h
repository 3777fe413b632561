#pragma once

#include <QByteArray>

class OperationProgress;

// Zip archives written with libarchive. The archive holds the item under its
// own name: a folder as the top entry with everything in it, links as links,
// with permissions and modification dates. Sockets, pipes and device files
// have no place in a zip and are left out.
namespace ZipArchive {

// Writes the archive of `item` (encoded path) to a fresh hidden file in
// `folder` and returns that file's path, ready to be renamed into place, so a
// half-written archive never appears under a real name. Throws PlatformError
// and leaves nothing behind on failure. With `progress`, counts the entries
// and bytes written and stops with the cancellation error once it is
// cancelled, removing the half-written archive.
QByteArray writeToTemporary(const QByteArray &item, const QByteArray &folder, OperationProgress *progress = nullptr);

} // namespace ZipArchive
