#include "Trash.h"

#include "DirectoryStream.h"
#include "FileDescriptor.h"
#include "FileNameParts.h"
#include "MountTable.h"
#include "OperationError.h"
#include "OperationProgress.h"
#include "PathCodec.h"
#include "SafeRename.h"
#include "TreeCopier.h"
#include "TreeRemover.h"
#include "VisibleVolumes.h"

#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace Trash {

namespace {

constexpr QByteArrayView infoSuffix = ".trashinfo";
// Leaves room for " 99999" and ".trashinfo" within the 255 bytes of a name.
constexpr qsizetype longestTrashName = 255 - 10 - 8;

[[noreturn]] void fail(int error, const QByteArray &path)
{
    throw PlatformError::fromErrno(error, PathCodec::decode(path));
}

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray joined(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? QByteArray(folder + name) : QByteArray(folder + '/' + name);
}

bool exists(const QByteArray &path)
{
    struct stat status;
    return ::lstat(path.constData(), &status) == 0;
}

QByteArray userId()
{
    return QByteArray::number(::geteuid());
}

// A folder made by us or found in place, owner-only; a link there is refused,
// since it could lead the trash anywhere.
void ensurePrivateFolder(const QByteArray &path)
{
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        fail(errno, path);
    struct stat status;
    if (::lstat(path.constData(), &status) != 0)
        fail(errno, path);
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::geteuid())
        fail(EPERM, path);
}

void ensureFolderWithParents(const QByteArray &path)
{
    if (path.isEmpty() || path == "/" || exists(path))
        return;
    ensureFolderWithParents(parentOf(path));
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        fail(errno, path);
}

void ensureTrashLayout(const QByteArray &trash)
{
    ensurePrivateFolder(trash);
    ensurePrivateFolder(trash + "/files");
    ensurePrivateFolder(trash + "/info");
}

QByteArray dataHome()
{
    const QByteArray configured = qgetenv("XDG_DATA_HOME");
    if (configured.startsWith('/'))
        return configured;
    return qgetenv("HOME") + "/.local/share";
}

// The device of the nearest existing folder at or above `path`.
dev_t deviceOfNearest(QByteArray path)
{
    struct stat status;
    while (::stat(path.constData(), &status) != 0) {
        if (path == "/" || path.isEmpty())
            return 0;
        path = parentOf(path);
    }
    return status.st_dev;
}

// The mount point of the file system holding the folder `realFolder`: its
// highest ancestor on the same device.
QByteArray topDirectory(QByteArray realFolder, dev_t device)
{
    while (realFolder != "/") {
        const QByteArray parent = parentOf(realFolder);
        struct stat status;
        if (::stat(parent.constData(), &status) != 0 || status.st_dev != device)
            return realFolder;
        realFolder = parent;
    }
    return realFolder;
}

QByteArray volumeTrash(const QByteArray &topDirectory)
{
    const QByteArray top = topDirectory == "/" ? QByteArray() : topDirectory;
    // An administrator's shared trash counts only when it is a real folder
    // with the sticky bit, so users cannot remove each other's trash folders.
    const QByteArray shared = top + "/.Trash";
    struct stat status;
    if (::lstat(shared.constData(), &status) == 0 && S_ISDIR(status.st_mode) && (status.st_mode & S_ISVTX)) {
        const QByteArray own = shared + '/' + userId();
        try {
            ensureTrashLayout(own);
            return own;
        } catch (const PlatformError &) {
            // Not usable: the user's own folder at the top is next.
        }
    }
    const QByteArray own = top + "/.Trash-" + userId();
    ensureTrashLayout(own);
    return own;
}

QByteArray realPath(const QByteArray &path)
{
    char resolved[PATH_MAX];
    if (!::realpath(path.constData(), resolved))
        fail(errno, path);
    return QByteArray(resolved);
}

QByteArray infoFileText(const QByteArray &recordedPath)
{
    return "[Trash Info]\nPath=" + recordedPath.toPercentEncoding("/")
        + "\nDeletionDate=" + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() + '\n';
}

// O_EXCL makes the info file the claim on a trash name: two trashing
// processes cannot both get it.
int writeInfoFile(const QByteArray &path, const QByteArray &text)
{
    FileDescriptor file(::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file.isValid())
        return errno;
    for (qsizetype written = 0; written < text.size();) {
        const ssize_t n = ::write(file.get(), text.constData() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::unlink(path.constData());
            return error;
        }
        written += n;
    }
    if (file.close() != 0) {
        const int error = errno;
        ::unlink(path.constData());
        return error;
    }
    return 0;
}

QByteArray shortenedName(const QByteArray &name)
{
    if (name.size() <= longestTrashName)
        return name;
    qsizetype cut = longestTrashName;
    while (cut > 0 && (uchar(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.left(cut);
}

QByteArray numberedName(const QByteArray &name, int number)
{
    return number == 1 ? name : PathCodec::encode(FileNameParts::numbered(PathCodec::decode(name), number));
}

// A move that rename(2) cannot do because the two places lie on different
// mounts: the item is first copied next to its new place; the caller renames
// the copy in and removes the original only then.
QByteArray copyNextTo(const QByteArray &source, const QByteArray &folder)
{
    // Removing the original afterwards needs its folder writable; finding out
    // before copying spares a copy that could not become a move.
    if (::access(parentOf(source).constData(), W_OK) != 0)
        fail(errno, source);
    TreeCopier copier;
    return copier.copyToTemporary(source, folder);
}

void removeQuietly(const QByteArray &path)
{
    try {
        TreeRemover::remove(path);
    } catch (const PlatformError &) {
        // Only the cleanup of a copy failed; the first error is the one to report.
    }
}

QByteArray readInfoPath(const QByteArray &infoPath)
{
    FileDescriptor file(::open(infoPath.constData(), O_RDONLY | O_CLOEXEC));
    if (!file.isValid())
        fail(errno, infoPath);
    // An info file is a few lines; anything past this is not one.
    QByteArray text(64 * 1024, Qt::Uninitialized);
    qsizetype length = 0;
    while (length < text.size()) {
        const ssize_t n = ::read(file.get(), text.data() + length, text.size() - length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(errno, infoPath);
        if (n == 0)
            break;
        length += n;
    }
    text.truncate(length);
    bool inGroup = false;
    for (const QByteArray &rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('['))
            inGroup = line == "[Trash Info]";
        else if (inGroup && line.startsWith("Path="))
            return QByteArray::fromPercentEncoding(line.mid(5));
    }
    fail(EINVAL, infoPath);
}

// The folder that relative paths in a volume trash's info files start from.
QByteArray topDirectoryOfTrash(const QByteArray &trash)
{
    const QByteArray parent = parentOf(trash);
    return nameOf(parent) == ".Trash" ? parentOf(parent) : parent;
}

// File systems that never hold user files: no trash folder is looked for there.
bool isPseudoFileSystem(const QByteArray &type)
{
    static const std::set<QByteArray> pseudo = {
        "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "securityfs", "debugfs",
        "tracefs", "pstore", "bpf", "mqueue", "hugetlbfs", "configfs", "fusectl", "autofs",
        "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs", "selinuxfs",
    };
    return pseudo.contains(type);
}

// A share whose server stopped answering blocks every look at it, and the
// folders mounted inside one, for minutes; and the trash of a share is the
// server's business. Only local file systems are searched.
bool isNetworkFileSystem(const QString &type)
{
    return VisibleVolumes::isNetworkFileSystemType(type) || type == QLatin1String("fuse.gvfsd-fuse");
}

QList<MountEntry> localMounts(const QList<MountEntry> &table)
{
    QStringList networkMountPoints;
    for (const MountEntry &mount : table) {
        if (isNetworkFileSystem(mount.fileSystemType))
            networkMountPoints.append(mount.mountPoint);
    }
    QList<MountEntry> result;
    for (const MountEntry &mount : table) {
        const bool liesOnNetwork = std::any_of(networkMountPoints.cbegin(), networkMountPoints.cend(),
            [&](const QString &network) { return MountTable::isAtOrBelow(mount.mountPoint, network); });
        if (!liesOnNetwork && !isPseudoFileSystem(mount.fileSystemType.toLatin1()))
            result.append(mount);
    }
    return result;
}

bool isOwnTrashFolder(const QByteArray &path, std::set<std::pair<dev_t, ino_t>> &seen)
{
    struct stat status;
    if (::lstat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid())
        return false;
    return seen.insert({status.st_dev, status.st_ino}).second;
}

void emptyFolder(const QByteArray &trash, OperationProgress *progress)
{
    const QByteArray files = trash + "/files";
    const QByteArray info = trash + "/info";
    FileDescriptor infoFolder(::open(info.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));

    DirectoryStream filesFolder(files);
    if (!filesFolder.isOpen() && filesFolder.errorNumber() != ENOENT)
        fail(filesFolder.errorNumber(), files);
    std::vector<QByteArray> names;
    while (const dirent *entry = filesFolder.isOpen() ? filesFolder.next() : nullptr)
        names.emplace_back(entry->d_name);
    if (filesFolder.errorNumber() != 0 && filesFolder.isOpen())
        fail(filesFolder.errorNumber(), files);

    // Every entry of files/ is a trashed item, hidden names included.
    for (const QByteArray &name : names) {
        if (progress && progress->isCancelled())
            break;
        TreeRemover::removeAt(filesFolder.fd(), name.constData(), files + '/' + name);
        const QByteArray infoName = name + infoSuffix;
        if (infoFolder.isValid() && ::unlinkat(infoFolder.get(), infoName.constData(), 0) != 0 && errno != ENOENT)
            fail(errno, info + '/' + infoName);
        if (progress)
            progress->addItems(1);
    }

    // Info files whose item is gone describe nothing any more.
    DirectoryStream infoEntries(info);
    std::vector<QByteArray> staleInfo;
    while (const dirent *entry = infoEntries.isOpen() ? infoEntries.next() : nullptr) {
        const QByteArray name(entry->d_name);
        if (name.endsWith(infoSuffix) && !exists(files + '/' + name.chopped(infoSuffix.size())))
            staleInfo.push_back(name);
    }
    for (const QByteArray &name : staleInfo) {
        if (::unlinkat(infoEntries.fd(), name.constData(), 0) != 0 && errno != ENOENT)
            fail(errno, info + '/' + name);
    }
    // The cached sizes of trashed folders refer to items that are gone now.
    const QByteArray sizes = trash + "/directorysizes";
    if (::unlink(sizes.constData()) != 0 && errno != ENOENT)
        fail(errno, sizes);
}

} // namespace

QByteArray homeTrashPath()
{
    return dataHome() + "/Trash";
}

TrashedItem moveToTrash(const QByteArray &path)
{
    struct stat status;
    if (::lstat(path.constData(), &status) != 0)
        fail(errno, path);
    const QByteArray name = nameOf(path);
    if (name.isEmpty() || name == "." || name == "..")
        fail(EINVAL, path);
    const QByteArray originalPath = joined(realPath(parentOf(path)), name);

    QByteArray trash = homeTrashPath();
    QByteArray recordedPath = originalPath;
    if (deviceOfNearest(trash) == status.st_dev) {
        ensureFolderWithParents(dataHome());
        ensureTrashLayout(trash);
    } else {
        const QByteArray top = topDirectory(parentOf(originalPath), status.st_dev);
        trash = volumeTrash(top);
        // Relative to the top, so the trash stays right wherever the volume is mounted next.
        recordedPath = originalPath.mid(top == "/" ? 1 : top.size() + 1);
    }

    const QByteArray infoText = infoFileText(recordedPath);
    const QByteArray baseName = shortenedName(name);
    QByteArray source = path;
    for (int number = 1;; ++number) {
        const QByteArray trashName = numberedName(baseName, number);
        const QByteArray infoPath = trash + "/info/" + trashName + infoSuffix;
        const QByteArray trashedPath = trash + "/files/" + trashName;
        const int claimed = writeInfoFile(infoPath, infoText);
        if (claimed == EEXIST)
            continue;
        if (claimed != 0) {
            if (source != path)
                removeQuietly(source);
            fail(claimed, infoPath);
        }
        const int moved = exists(trashedPath) ? EEXIST : SafeRename::renameNoReplace(source, trashedPath);
        if (moved == 0) {
            if (source != path)
                TreeRemover::remove(path);
            return {trashedPath, infoPath, originalPath};
        }
        ::unlink(infoPath.constData());
        if (moved == EEXIST)
            continue;
        if (moved == EXDEV && source == path) {
            source = copyNextTo(path, trash);
            --number;
            continue;
        }
        if (source != path)
            removeQuietly(source);
        fail(moved, path);
    }
}

QByteArray restore(const QByteArray &trashedPath)
{
    const QByteArray filesFolder = parentOf(trashedPath);
    if (nameOf(filesFolder) != "files")
        fail(EINVAL, trashedPath);
    const QByteArray trash = parentOf(filesFolder);
    const QByteArray trashName = nameOf(trashedPath);
    const QByteArray infoPath = trash + "/info/" + trashName + infoSuffix;

    QByteArray originalPath = readInfoPath(infoPath);
    if (!originalPath.startsWith('/'))
        originalPath = joined(topDirectoryOfTrash(trash), originalPath);
    const QByteArray folder = parentOf(originalPath);
    const QByteArray originalName = nameOf(originalPath);
    if (originalName.isEmpty() || originalName == "." || originalName == "..")
        fail(EINVAL, infoPath);

    struct stat status;
    if (::lstat(trashedPath.constData(), &status) != 0)
        fail(errno, trashedPath);

    QByteArray source = trashedPath;
    for (int number = 1;; ++number) {
        const QByteArray destination = joined(folder, numberedName(originalName, number));
        if (exists(destination))
            continue;
        const int moved = SafeRename::renameNoReplace(source, destination);
        if (moved == 0) {
            if (source != trashedPath)
                TreeRemover::remove(trashedPath);
            if (::unlink(infoPath.constData()) != 0 && errno != ENOENT)
                fail(errno, infoPath);
            return destination;
        }
        if (moved == EEXIST)
            continue;
        if (moved == EXDEV && source == trashedPath) {
            source = copyNextTo(trashedPath, folder);
            --number;
            continue;
        }
        if (source != trashedPath)
            removeQuietly(source);
        fail(moved, destination);
    }
}

std::vector<QByteArray> trashFolders()
{
    return trashFolders(MountTable::read());
}

std::vector<QByteArray> trashFolders(const QList<MountEntry> &mountTable)
{
    std::vector<QByteArray> result;
    std::set<std::pair<dev_t, ino_t>> seen;
    const QByteArray home = homeTrashPath();
    if (isOwnTrashFolder(home, seen))
        result.push_back(home);
    for (const MountEntry &mount : localMounts(mountTable)) {
        const QByteArray top = mount.mountPoint == QLatin1String("/") ? QByteArray() : PathCodec::encode(mount.mountPoint);
        for (const QByteArray &candidate : {QByteArray(top + "/.Trash/" + userId()), QByteArray(top + "/.Trash-" + userId())}) {
            if (isOwnTrashFolder(candidate, seen))
                result.push_back(candidate);
        }
    }
    return result;
}

void emptyAll(OperationProgress *progress)
{
    for (const QByteArray &trash : trashFolders())
        emptyFolder(trash, progress);
    if (progress)
        progress->throwIfCancelled();
}

qint64 itemCount()
{
    qint64 count = 0;
    for (const QByteArray &trash : trashFolders()) {
        DirectoryStream files(trash + "/files");
        while (files.isOpen() && files.next())
            ++count;
    }
    return count;
}

} // namespace Trash
