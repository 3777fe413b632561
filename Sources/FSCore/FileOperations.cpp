#include "FileOperations.h"
#include "FileOperationsTesting.h"
#include "FileItem.h"

#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/FileDescriptor.h"
#include "FSPlatform/FileNameParts.h"
#include "FSPlatform/OperationProgress.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/SafeRename.h"
#include "FSPlatform/Trash.h"
#include "FSPlatform/TreeCopier.h"
#include "FSPlatform/TreeRemover.h"
#include "FSPlatform/ZipArchive.h"

#include <QCoreApplication>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

QString FileOperationError::localizedDescription() const
{
    return errorDescription(m_code);
}

QString FileOperationError::errorDescription(Code code)
{
    switch (code) {
    case invalidName: return QCoreApplication::translate("FileOperationError", "That name isn’t valid.");
    case destinationExists: return QCoreApplication::translate("FileOperationError", "An item with that name already exists.");
    case compressFailed: return QCoreApplication::translate("FileOperationError", "Couldn’t create the archive.");
    case copyIntoItself: return QCoreApplication::translate("FileOperationError", "A folder can’t be copied into itself.");
    case moveIntoItself: return QCoreApplication::translate("FileOperationError", "A folder can’t be moved into itself.");
    }
    return {};
}

namespace FileOperations {

namespace testing {

namespace {
NameHook &nameHook()
{
    static NameHook hook;
    return hook;
}
} // namespace

void setBeforeTakingName(NameHook hook)
{
    nameHook() = std::move(hook);
}

} // namespace testing

namespace {

// Each failed attempt means someone else took the name just found; past this
// many something is creating names as fast as they are found.
constexpr int maximumAttempts = 1000;

void beforeTakingName(const QUrl &candidate)
{
    if (testing::nameHook())
        testing::nameHook()(candidate);
}

[[noreturn]] void fail(int error, const QUrl &url)
{
    throw PlatformError::fromErrno(error, url.toLocalFile());
}

QByteArray pathOf(const QUrl &url)
{
    if (!url.isLocalFile())
        throw PlatformError::fromErrno(EINVAL, url.toDisplayString());
    return PathCodec::encodePath(url);
}

QUrl urlOf(const QByteArray &path)
{
    return PathCodec::urlForPath(PathCodec::decode(path));
}

// Something of any kind has the name, a dangling link included.
bool exists(const QUrl &url)
{
    return EntryStatus::readWithoutFollowing(PathCodec::encodePath(url)).exists;
}

QUrl parentFolder(const QUrl &item)
{
    const QString path = PathCodec::urlForPath(item.toLocalFile()).toLocalFile();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return PathCodec::urlForPath(slash <= 0 ? QStringLiteral("/") : path.left(slash));
}

QString lastComponent(const QUrl &url)
{
    const QString path = PathCodec::urlForPath(url.toLocalFile()).toLocalFile();
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// A localizable name pattern with "%@" for a name and "%d" for a counter.
QString formatted(const char *pattern, const QString &name, int number = 0)
{
    QString text = QCoreApplication::translate("FileOperations", pattern);
    text.replace(QLatin1String("%1$@"), QLatin1String("%1"))
        .replace(QLatin1String("%2$d"), QLatin1String("%2"))
        .replace(QLatin1String("%@"), QLatin1String("%1"))
        .replace(QLatin1String("%d"), QLatin1String("%2"));
    // One arg() call for both, so a "%2" inside the name is not replaced in turn.
    return number == 0 ? text.arg(name) : text.arg(name, QString::number(number));
}

QUrl newFolderUrl(const QUrl &folder)
{
    const QString base = QCoreApplication::translate("FileOperations", "untitled folder");
    QUrl candidate = PathCodec::childUrl(folder, base);
    for (int n = 2; exists(candidate); ++n)
        candidate = PathCodec::childUrl(folder, formatted("%@ %d", base, n));
    return candidate;
}

QUrl duplicateUrl(const QUrl &item, const QUrl &folder)
{
    const FileNameParts parts = FileNameParts::of(lastComponent(item));
    QUrl candidate = PathCodec::childUrl(folder, parts.withStem(formatted("%@ copy", parts.stem)));
    for (int n = 2; exists(candidate); ++n)
        candidate = PathCodec::childUrl(folder, parts.withStem(formatted("%@ copy %d", parts.stem, n)));
    return candidate;
}

QUrl uniqueUrl(const QUrl &candidate, const QUrl &folder)
{
    if (!exists(candidate))
        return candidate;
    const QString name = lastComponent(candidate);
    QUrl numbered;
    int n = 2;
    do {
        numbered = PathCodec::childUrl(folder, FileNameParts::numbered(name, n++));
    } while (exists(numbered));
    return numbered;
}

void removeQuietly(const QByteArray &path)
{
    try {
        TreeRemover::remove(path);
    } catch (const OperationError &) {
        // Cleaning up after a failure; that failure is the one to report.
    }
}

// Renames a finished copy from its temporary name to the first free name that
// `nextName` finds, finding again when someone takes it first. The copy is
// removed if it cannot be placed.
QUrl placeCopy(const QByteArray &temporary, const std::function<QUrl()> &nextName)
{
    QUrl candidate;
    for (int attempt = 0; attempt < maximumAttempts; ++attempt) {
        candidate = nextName();
        beforeTakingName(candidate);
        const int result = SafeRename::renameNoReplace(temporary, pathOf(candidate));
        if (result == 0)
            return candidate;
        if (result != EEXIST) {
            removeQuietly(temporary);
            fail(result, candidate);
        }
    }
    removeQuietly(temporary);
    fail(EEXIST, candidate);
}

// Whether `folder` is `item` or lies inside it, judged by device and inode
// on the way up from `folder`, so links and bind mounts cannot hide it.
bool isInsideItself(const QUrl &item, const QUrl &folder)
{
    struct stat itemStatus;
    if (::lstat(pathOf(item).constData(), &itemStatus) != 0 || !S_ISDIR(itemStatus.st_mode))
        return false;
    FileDescriptor current(::open(pathOf(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (int depth = 0; current.isValid() && depth < 4096; ++depth) {
        struct stat status;
        if (::fstat(current.get(), &status) != 0)
            return false;
        if (status.st_dev == itemStatus.st_dev && status.st_ino == itemStatus.st_ino)
            return true;
        FileDescriptor parent(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat parentStatus;
        if (!parent.isValid() || ::fstat(parent.get(), &parentStatus) != 0)
            return false;
        if (parentStatus.st_dev == status.st_dev && parentStatus.st_ino == status.st_ino)
            return false; // the root
        current = std::move(parent);
    }
    return false;
}

// A copy finished under its temporary name while the operation was being
// stopped is not put in place.
void discardIfCancelled(const QByteArray &temporary, const OperationProgress *progress)
{
    if (progress && progress->isCancelled()) {
        removeQuietly(temporary);
        progress->throwIfCancelled();
    }
}

QByteArray copyToTemporary(const QUrl &item, const QUrl &folder, OperationProgress *progress)
{
    TreeCopier copier;
    copier.setProgress(progress);
    const QByteArray temporary = copier.copyToTemporary(pathOf(item), pathOf(folder));
    discardIfCancelled(temporary, progress);
    return temporary;
}

QUrl moveAcrossFileSystems(const QUrl &item, const QUrl &folder, const std::function<QUrl()> &nextName,
                           OperationProgress *progress)
{
    // The original is removed only after its copy is in place, and removing it
    // needs its folder writable: found out now, before anything is copied.
    if (::faccessat(AT_FDCWD, pathOf(parentFolder(item)).constData(), W_OK, AT_EACCESS) != 0)
        fail(errno, item);
    const QUrl moved = placeCopy(copyToTemporary(item, folder, progress), nextName);
    // Only what was copied: an entry made in the original while it was being
    // copied stays where it is.
    TreeRemover::removeCopied(pathOf(item), pathOf(moved));
    return moved;
}

} // namespace

QUrl createNewFolder(const QUrl &folder)
{
    QUrl candidate;
    for (int attempt = 0; attempt < maximumAttempts; ++attempt) {
        candidate = newFolderUrl(folder);
        beforeTakingName(candidate);
        if (::mkdir(pathOf(candidate).constData(), 0777) == 0)
            return candidate;
        if (errno != EEXIST)
            fail(errno, candidate);
    }
    fail(EEXIST, candidate);
}

QUrl rename(const QUrl &item, const QString &newName)
{
    const QString name = newName.trimmed();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(QLatin1Char('/')) || name.contains(QChar(u'\0')))
        throw FileOperationError(FileOperationError::invalidName);
    if (PathCodec::encode(name).size() > NAME_MAX)
        throw PlatformError::fromErrno(ENAMETOOLONG, name);

    const QUrl source = PathCodec::urlForPath(item.toLocalFile());
    const QUrl destination = PathCodec::childUrl(parentFolder(source), name);
    if (destination.toLocalFile() == source.toLocalFile())
        return source;
    if (exists(destination))
        throw FileOperationError(FileOperationError::destinationExists);
    beforeTakingName(destination);
    const int result = SafeRename::renameNoReplace(pathOf(source), pathOf(destination));
    if (result == EEXIST)
        throw FileOperationError(FileOperationError::destinationExists);
    if (result != 0)
        fail(result, source);
    return destination;
}

QUrl renameFromDisplayName(const FileItem &item, const QString &editedName)
{
    return rename(item.url(), item.fileNameForEditedName(editedName));
}

QUrl duplicate(const QUrl &item)
{
    return duplicate(item, nullptr);
}

QUrl duplicate(const QUrl &item, OperationProgress *progress)
{
    const QUrl folder = parentFolder(item);
    const QByteArray temporary = copyToTemporary(item, folder, progress);
    return placeCopy(temporary, [&] { return duplicateUrl(item, folder); });
}

QUrl compress(const QUrl &item)
{
    return compress(item, nullptr);
}

QUrl compress(const QUrl &item, OperationProgress *progress)
{
    const QUrl folder = parentFolder(item);
    QByteArray temporary;
    try {
        temporary = ZipArchive::writeToTemporary(pathOf(item), pathOf(folder), progress);
    } catch (const OperationError &) {
        if (progress)
            progress->throwIfCancelled();
        throw FileOperationError(FileOperationError::compressFailed);
    }
    discardIfCancelled(temporary, progress);
    const QUrl candidate = PathCodec::childUrl(folder, lastComponent(item) + QLatin1String(".zip"));
    try {
        return placeCopy(temporary, [&] { return uniqueUrl(candidate, folder); });
    } catch (const OperationError &) {
        throw FileOperationError(FileOperationError::compressFailed);
    }
}

QUrl moveToTrash(const QUrl &item)
{
    return urlOf(Trash::moveToTrash(pathOf(item)).path);
}

QUrl restoreFromTrash(const QUrl &trashedItem)
{
    return urlOf(Trash::restore(pathOf(trashedItem)));
}

void emptyTrash()
{
    Trash::emptyAll();
}

void emptyTrash(OperationProgress *progress)
{
    Trash::emptyAll(progress);
}

QUrl copy(const QUrl &item, const QUrl &destinationFolder)
{
    return copy(item, destinationFolder, nullptr);
}

QUrl copy(const QUrl &item, const QUrl &destinationFolder, OperationProgress *progress)
{
    if (isInsideItself(item, destinationFolder))
        throw FileOperationError(FileOperationError::copyIntoItself);
    const QUrl folder = PathCodec::urlForPath(destinationFolder.toLocalFile());
    const QUrl candidate = PathCodec::childUrl(folder, lastComponent(item));
    const QByteArray temporary = copyToTemporary(item, folder, progress);
    return placeCopy(temporary, [&] { return uniqueUrl(candidate, folder); });
}

QUrl move(const QUrl &item, const QUrl &destinationFolder)
{
    return move(item, destinationFolder, nullptr);
}

QUrl move(const QUrl &item, const QUrl &destinationFolder, OperationProgress *progress)
{
    if (isInsideItself(item, destinationFolder))
        throw FileOperationError(FileOperationError::moveIntoItself);
    const QUrl folder = PathCodec::urlForPath(destinationFolder.toLocalFile());
    const QUrl candidate = PathCodec::childUrl(folder, lastComponent(item));
    const auto nextName = [&] { return uniqueUrl(candidate, folder); };
    QUrl destination;
    for (int attempt = 0; attempt < maximumAttempts; ++attempt) {
        destination = nextName();
        beforeTakingName(destination);
        const int result = SafeRename::renameNoReplace(pathOf(item), pathOf(destination));
        if (result == 0)
            return destination;
        if (result == EXDEV)
            return moveAcrossFileSystems(item, folder, nextName, progress);
        if (result != EEXIST)
            fail(result, item);
    }
    fail(EEXIST, destination);
}

namespace {

// The device of the nearest existing entry at or above `url`. A dragged link
// lives where the link is (`followLinks` false); a folder reached through a link
// is where its target is.
std::optional<quint64> volumeOf(const QUrl &url, bool followLinks)
{
    QString path = url.toLocalFile();
    while (!path.isEmpty()) {
        const QByteArray encoded = PathCodec::encode(path);
        const EntryStatus status = followLinks ? EntryStatus::read(encoded) : EntryStatus::readWithoutFollowing(encoded);
        if (status.exists)
            return status.device;
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            break;
        path.truncate(slash);
    }
    return std::nullopt;
}

} // namespace

DragOperationKind resolveDragOperation(const QUrl &source, const QUrl &destinationDirectory,
                                       bool optionHeld, bool commandHeld)
{
    if (optionHeld)
        return DragOperationKind::copy;
    if (commandHeld)
        return DragOperationKind::move;
    return volumeOf(source, false) == volumeOf(destinationDirectory, true) ? DragOperationKind::move : DragOperationKind::copy;
}

} // namespace FileOperations
