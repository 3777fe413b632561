#include "TreeRemover.h"

#include "DirectoryStream.h"
#include "EntryStatus.h"
#include "OperationError.h"
#include "PathCodec.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

namespace TreeRemover {

namespace {

[[noreturn]] void fail(int error, const QByteArray &path)
{
    throw PlatformError::fromErrno(error, PathCodec::decode(path));
}

bool isOwnedByUs(const struct stat &status)
{
    return status.st_uid == ::geteuid();
}

// Without write and search permission on a folder its entries cannot be
// removed. A folder of ours (a read-only folder that was copied, then trashed)
// is made writable first, as removing it is what was asked for.
void makeFolderUsable(int folderFd, const char *name)
{
    struct stat status;
    if (::fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(status.st_mode) || !isOwnedByUs(status))
        return;
    if ((status.st_mode & S_IRWXU) != S_IRWXU)
        ::fchmodat(folderFd, name, (status.st_mode & 07777) | S_IRWXU, 0);
}

void removeEntry(int folderFd, const char *name, QByteArray &path);

void emptyFolder(int folderFd, const char *name, QByteArray &path)
{
    std::optional<DirectoryStream> folder;
    folder.emplace(folderFd, name, false);
    if (!folder->isOpen() && folder->errorNumber() == EACCES) {
        makeFolderUsable(folderFd, name);
        folder.emplace(folderFd, name, false);
    }
    if (!folder->isOpen())
        fail(folder->errorNumber(), path);

    // Names are collected first: removing while reading a folder may make
    // readdir skip entries on some file systems.
    std::vector<QByteArray> names;
    while (const dirent *entry = folder->next())
        names.emplace_back(entry->d_name);
    if (folder->errorNumber() != 0)
        fail(folder->errorNumber(), path);

    bool madeUsable = false;
    for (const QByteArray &child : names) {
        const qsizetype length = path.size();
        path += '/' + child;
        try {
            removeEntry(folder->fd(), child.constData(), path);
        } catch (const PlatformError &error) {
            if (madeUsable || (error.code() != EACCES && error.code() != EPERM))
                throw;
            makeFolderUsable(folderFd, name);
            madeUsable = true;
            path.truncate(length);
            path += '/' + child;
            removeEntry(folder->fd(), child.constData(), path);
        }
        path.truncate(length);
    }
}

void removeEntry(int folderFd, const char *name, QByteArray &path)
{
    if (::unlinkat(folderFd, name, 0) == 0)
        return;
    if (errno == ENOENT)
        return;
    if (errno != EISDIR && errno != EPERM)
        fail(errno, path);
    // Linux answers EISDIR for a folder; EPERM may also mean a folder.
    struct stat status;
    if (::fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        fail(errno, path);
    if (!S_ISDIR(status.st_mode))
        fail(EPERM, path);
    emptyFolder(folderFd, name, path);
    if (::unlinkat(folderFd, name, AT_REMOVEDIR) != 0 && errno != ENOENT)
        fail(errno, path);
}

bool isSameCopy(const EntryStatus &source, const EntryStatus &copy)
{
    constexpr qint64 timeSlackNs = 2'000'000'000;
    if (!copy.exists || copy.isDirectory != source.isDirectory || copy.isSymbolicLink != source.isSymbolicLink)
        return false;
    if (!source.isRegularFile)
        return true;
    return copy.size == source.size && std::abs(copy.modificationTimeNs - source.modificationTimeNs) <= timeSlackNs;
}

// True when the entry is gone; false when something in it had no copy.
bool removeCopiedEntry(int sourceFolderFd, const char *name, int copyFolderFd, const char *copyName, QByteArray &path)
{
    const EntryStatus source = EntryStatus::readWithoutFollowing(sourceFolderFd, name);
    if (!source.exists)
        return true;
    if (!isSameCopy(source, EntryStatus::readWithoutFollowing(copyFolderFd, copyName)))
        return false;
    if (!source.isDirectory) {
        if (::unlinkat(sourceFolderFd, name, 0) != 0 && errno != ENOENT)
            fail(errno, path);
        return true;
    }
    makeFolderUsable(sourceFolderFd, name);
    DirectoryStream sourceFolder(sourceFolderFd, name, false);
    if (!sourceFolder.isOpen())
        fail(sourceFolder.errorNumber(), path);
    const DirectoryStream copyFolder(copyFolderFd, copyName, false);
    if (!copyFolder.isOpen())
        return false;
    std::vector<QByteArray> names;
    while (const dirent *entry = sourceFolder.next())
        names.emplace_back(entry->d_name);
    if (sourceFolder.errorNumber() != 0)
        fail(sourceFolder.errorNumber(), path);
    bool isEmptied = true;
    for (const QByteArray &child : names) {
        const qsizetype length = path.size();
        path += '/' + child;
        isEmptied &= removeCopiedEntry(sourceFolder.fd(), child.constData(), copyFolder.fd(), child.constData(), path);
        path.truncate(length);
    }
    if (!isEmptied)
        return false;
    if (::unlinkat(sourceFolderFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT)
        return true;
    // Made after the folder was read.
    if (errno == ENOTEMPTY || errno == EEXIST)
        return false;
    fail(errno, path);
}

} // namespace

void removeCopied(const QByteArray &source, const QByteArray &copy)
{
    QByteArray shown = source;
    if (!removeCopiedEntry(AT_FDCWD, source.constData(), AT_FDCWD, copy.constData(), shown))
        fail(ENOTEMPTY, source);
}

void remove(const QByteArray &path)
{
    QByteArray shown = path;
    removeEntry(AT_FDCWD, path.constData(), shown);
}

void removeAt(int folderFd, const char *name, const QByteArray &shownPath)
{
    QByteArray shown = shownPath;
    removeEntry(folderFd, name, shown);
}

} // namespace TreeRemover
