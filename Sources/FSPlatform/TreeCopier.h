#pragma once

#include "OperationProgress.h"
#include "TreeLookahead.h"

#include <QByteArray>
#include <QtGlobal>

#include <sys/stat.h>
#include <sys/types.h>

#include <set>
#include <utility>

// Copies an entry with everything in it: folders recursively, links as links,
// special files as themselves, keeping permissions, times and extended
// attributes (where the target file system takes them). Holes in sparse files
// stay holes, and a reflink is used where the file system offers one. Hard
// links between copied files and ownership are not carried over: the copy
// belongs to whoever makes it.
class TreeCopier
{
public:
    struct Statistics
    {
        qint64 files = 0;  // regular files copied
        qint64 bytes = 0;  // their apparent size
    };

    // Copies `source` (encoded paths) to `destination`, whose name must be
    // free: nothing is ever replaced. On failure whatever was made is removed
    // again and PlatformError is thrown.
    void copy(const QByteArray &source, const QByteArray &destination);

    // Copies `source` under a fresh hidden name inside `destinationFolder` and
    // returns that path, ready to be renamed into place, so a copy that fails
    // half-way never appears under a real name.
    QByteArray copyToTemporary(const QByteArray &source, const QByteArray &destinationFolder);

    const Statistics &statistics() const { return m_statistics; }

    // Counts every entry made and the bytes copied into `progress`, and stops
    // with the cancellation error soon after it is cancelled (between entries
    // and between slices of a large file), removing what it made. Not owned;
    // nullptr for neither. Takes folder listings from the progress's
    // lookahead, and gives it the sizes of the files it copies.
    void setProgress(OperationProgress *progress);

private:
    using DevicePair = std::pair<dev_t, dev_t>;

    // `mayBeGone`: the entry comes from a listing made a while ago, and one
    // removed since is passed over.
    void copyEntry(int sourceFolderFd, const char *sourceName, unsigned char typeHint,
                   int destinationFolderFd, const char *destinationName, bool mayBeGone = false);
    void copyFile(int sourceFd, const struct stat &status, int destinationFolderFd, const char *destinationName);
    void copyFolder(int sourceFolderFd, const char *sourceName, const struct stat &status,
                    int destinationFolderFd, const char *destinationName);
    void copySymbolicLink(int sourceFolderFd, const char *sourceName, const struct stat &status,
                          int destinationFolderFd, const char *destinationName);
    void copySpecialFile(const struct stat &status, int destinationFolderFd, const char *destinationName);
    void copyMetadata(int sourceFd, int destinationFd, const struct stat &status);
    void copyData(int sourceFd, int destinationFd, const struct stat &status);
    void copyRange(int sourceFd, int destinationFd, off_t offset, off_t length, const DevicePair &devices);
    [[noreturn]] void failAtSource(int error) const;
    [[noreturn]] void failAtDestination(int error) const;

    void checkCancelled() const;
    void addBytes(qint64 count);

    Statistics m_statistics;
    OperationProgress *m_progress = nullptr;
    TreeLookahead *m_lookahead = nullptr;
    // The sizes of the files copied straight into the folder being copied,
    // when the lookahead wants them.
    qint64 *m_folderBytes = nullptr;
    // Bytes of the current file already counted into m_progress.
    qint64 m_fileBytesReported = 0;
    // Paths of the entry being copied, for error messages.
    QByteArray m_sourcePath;
    QByteArray m_destinationPath;
    bool m_madeTopEntry = false;
    // Device pairs where a reflink or copy_file_range was refused, so the
    // next file does not ask again.
    std::set<DevicePair> m_noReflink;
    std::set<DevicePair> m_noCopyRange;
    dev_t m_destinationDevice = 0;
};
