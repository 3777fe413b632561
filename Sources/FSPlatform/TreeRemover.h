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

} // namespace TreeRemover
