#pragma once

#include <QByteArray>

// Removes an entry for good: a folder with everything in it, a link as the
// link (never what it points to). Works on descriptors, so a folder renamed or
// replaced by a link while it is being emptied cannot lead outside the tree.
namespace TreeRemover {

// `path` is encoded (PathCodec). Throws PlatformError at the first entry that
// cannot be removed; what was removed before stays removed.
void remove(const QByteArray &path);
// `name` inside an open folder; `shownPath` is the path named in an error.
void removeAt(int folderFd, const char *name, const QByteArray &shownPath);

// Removes `source` once it was copied to `copy` (a move to another file
// system): entry by entry, only what the copy holds under the same name and
// kind, files of the same size and modification time (within the two seconds
// of the coarsest file systems). What was made or changed in the source after
// the copier passed stays, with the folders that hold it; then PlatformError
// ENOTEMPTY naming `source` is thrown, so that nothing is lost unseen.
void removeCopied(const QByteArray &source, const QByteArray &copy);

} // namespace TreeRemover
