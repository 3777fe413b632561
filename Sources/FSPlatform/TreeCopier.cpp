#include "TreeCopier.h"

#include "DirectoryStream.h"
#include "FileDescriptor.h"
#include "OperationError.h"
#include "PathCodec.h"
#include "TreeRemover.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Appends "/name" to a path for the time one entry is being copied.
class PathScope
{
public:
    PathScope(QByteArray &path, const char *name) : m_path(path), m_length(path.size())
    {
        m_path += '/';
        m_path += name;
    }
    ~PathScope() { m_path.truncate(m_length); }

private:
    QByteArray &m_path;
    qsizetype m_length;
};

std::pair<QByteArray, QByteArray> splitPath(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {QByteArrayLiteral("."), path};
    return {slash == 0 ? QByteArrayLiteral("/") : path.left(slash), path.mid(slash + 1)};
}

// Set-user-ID and set-group-ID stay only on a copy that keeps its owner:
// elsewhere they would grant the copier's rights instead.
mode_t copiedMode(const struct stat &status)
{
    mode_t mode = status.st_mode & 07777;
    if (status.st_uid != ::geteuid() || status.st_gid != ::getegid())
        mode &= ~mode_t(S_ISUID | S_ISGID);
    return mode;
}

bool isNotSupported(int error)
{
    return error == EOPNOTSUPP || error == ENOTTY || error == ENOSYS || error == EXDEV;
}

// Failures that only mean this attribute cannot live on the target file system
// or is not ours to set (security and trusted names need privileges).
bool isIgnorableAttributeError(int error)
{
    return error == EOPNOTSUPP || error == EPERM || error == EACCES || error == E2BIG || error == ERANGE || error == EINVAL;
}

bool isDestinationError(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EROFS;
}

bool isAllZero(const char *data, size_t length)
{
    return std::all_of(data, data + length, [](char c) { return c == 0; });
}

} // namespace

void TreeCopier::setProgress(OperationProgress *progress)
{
    m_progress = progress;
    m_lookahead = progress ? progress->lookahead() : nullptr;
}

void TreeCopier::copy(const QByteArray &source, const QByteArray &destination)
{
    const auto [sourceParent, sourceName] = splitPath(source);
    const auto [destinationParent, destinationName] = splitPath(destination);
    m_sourcePath = source;
    m_destinationPath = destination;
    if (sourceName.isEmpty())
        failAtSource(EINVAL);
    if (destinationName.isEmpty())
        failAtDestination(EINVAL);

    FileDescriptor sourceFolder(::open(sourceParent.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!sourceFolder.isValid())
        failAtSource(errno);
    FileDescriptor destinationFolder(::open(destinationParent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!destinationFolder.isValid())
        failAtDestination(errno);
    struct stat folderStatus;
    if (::fstat(destinationFolder.get(), &folderStatus) != 0)
        failAtDestination(errno);
    m_destinationDevice = folderStatus.st_dev;

    m_madeTopEntry = false;
    try {
        copyEntry(sourceFolder.get(), sourceName.constData(), DT_UNKNOWN, destinationFolder.get(), destinationName.constData());
    } catch (...) {
        if (m_madeTopEntry) {
            try {
                TreeRemover::removeAt(destinationFolder.get(), destinationName.constData(), destination);
            } catch (const OperationError &) {
                // The copy's own error is the one to report.
            }
        }
        throw;
    }
}

QByteArray TreeCopier::copyToTemporary(const QByteArray &source, const QByteArray &destinationFolder)
{
    // A fixed short name, so that even an item whose name uses all 255 bytes
    // can be copied; random so that two copies never meet.
    QByteArray path;
    do {
        const quint64 random = QRandomGenerator::global()->generate64();
        path = destinationFolder + "/.tidewright-" + QByteArray::number(random, 16) + ".partial";
    } while (::faccessat(AT_FDCWD, path.constData(), F_OK, AT_SYMLINK_NOFOLLOW) == 0);
    copy(source, path);
    return path;
}

void TreeCopier::copyEntry(int sourceFolderFd, const char *sourceName, unsigned char typeHint,
                           int destinationFolderFd, const char *destinationName, bool mayBeGone)
{
    checkCancelled();
    if (m_progress)
        m_progress->addItems(1);
    // readdir already said "regular file" for most entries: opening it right
    // away (never through a link) spares a stat per file.
    if (typeHint == DT_REG) {
        FileDescriptor source(::openat(sourceFolderFd, sourceName, O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (source.isValid()) {
            struct stat status;
            if (::fstat(source.get(), &status) != 0)
                failAtSource(errno);
            if (S_ISREG(status.st_mode))
                return copyFile(source.get(), status, destinationFolderFd, destinationName);
        } else if (errno == ENOENT && mayBeGone) {
            return;
        } else if (errno != ELOOP) {
            failAtSource(errno);
        }
        // It changed into something else since the listing: look again.
    }

    struct stat status;
    if (::fstatat(sourceFolderFd, sourceName, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT && mayBeGone)
            return;
        failAtSource(errno);
    }
    switch (status.st_mode & S_IFMT) {
    case S_IFREG: {
        FileDescriptor source(::openat(sourceFolderFd, sourceName, O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!source.isValid())
            failAtSource(errno);
        struct stat opened;
        if (::fstat(source.get(), &opened) != 0)
            failAtSource(errno);
        if (!S_ISREG(opened.st_mode))
            failAtSource(EAGAIN);
        return copyFile(source.get(), opened, destinationFolderFd, destinationName);
    }
    case S_IFDIR:
        return copyFolder(sourceFolderFd, sourceName, status, destinationFolderFd, destinationName);
    case S_IFLNK:
        return copySymbolicLink(sourceFolderFd, sourceName, status, destinationFolderFd, destinationName);
    default:
        return copySpecialFile(status, destinationFolderFd, destinationName);
    }
}

namespace {

void copyExtendedAttributes(int sourceFd, int destinationFd, int &destinationError)
{
    destinationError = 0;
    char small[1024];
    ssize_t length = ::flistxattr(sourceFd, small, sizeof small);
    QByteArray names;
    if (length < 0 && errno == ERANGE) {
        length = ::flistxattr(sourceFd, nullptr, 0);
        if (length > 0) {
            names.resize(length + 256);
            length = ::flistxattr(sourceFd, names.data(), names.size());
        }
    } else if (length > 0) {
        names = QByteArray(small, length);
    }
    if (length <= 0)
        return;
    names.truncate(length);

    QByteArray value;
    for (const char *name = names.constData(); name < names.constData() + names.size(); name += std::strlen(name) + 1) {
        ssize_t size = ::fgetxattr(sourceFd, name, nullptr, 0);
        if (size < 0)
            continue;
        value.resize(size);
        size = ::fgetxattr(sourceFd, name, value.data(), value.size());
        if (size < 0)
            continue;
        if (::fsetxattr(destinationFd, name, value.constData(), size, 0) != 0 && !isIgnorableAttributeError(errno)) {
            destinationError = errno;
            return;
        }
    }
}

} // namespace

void TreeCopier::copyFile(int sourceFd, const struct stat &status, int destinationFolderFd, const char *destinationName)
{
    FileDescriptor destination(::openat(destinationFolderFd, destinationName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!destination.isValid())
        failAtDestination(errno);
    m_madeTopEntry = true;

    m_fileBytesReported = 0;
    copyData(sourceFd, destination.get(), status);
    copyMetadata(sourceFd, destination.get(), status);
    if (destination.close() != 0)
        failAtDestination(errno);
    ++m_statistics.files;
    m_statistics.bytes += status.st_size;
    if (m_folderBytes)
        *m_folderBytes += status.st_size;
    // Holes and reflinks were never counted slice by slice.
    addBytes(status.st_size - m_fileBytesReported);
}

void TreeCopier::copyData(int sourceFd, int destinationFd, const struct stat &status)
{
    const off_t size = status.st_size;
    if (size == 0)
        return;
    const DevicePair devices(status.st_dev, m_destinationDevice);
    if (!m_noReflink.contains(devices)) {
        if (::ioctl(destinationFd, FICLONE, sourceFd) == 0)
            return;
        if (isNotSupported(errno))
            m_noReflink.insert(devices);
    }

    off_t position = 0;
    while (position < size) {
        const off_t dataStart = ::lseek(sourceFd, position, SEEK_DATA);
        if (dataStart < 0) {
            if (errno == ENXIO) // only a hole is left
                break;
            if (errno != EINVAL && errno != EOPNOTSUPP)
                failAtSource(errno);
            // No hole map: copyRange's fallback still skips blocks of zeros.
            m_noCopyRange.insert(devices);
            copyRange(sourceFd, destinationFd, position, size - position, devices);
            break;
        }
        if (dataStart >= size)
            break;
        off_t dataEnd = ::lseek(sourceFd, dataStart, SEEK_HOLE);
        if (dataEnd < 0)
            failAtSource(errno);
        dataEnd = std::min(dataEnd, size);
        copyRange(sourceFd, destinationFd, dataStart, dataEnd - dataStart, devices);
        position = dataEnd;
    }
    // Leaves a trailing hole a hole.
    if (::ftruncate(destinationFd, size) != 0)
        failAtDestination(errno);
}

void TreeCopier::copyRange(int sourceFd, int destinationFd, off_t offset, off_t length, const DevicePair &devices)
{
    // Slices small enough that a cancel is seen within a few milliseconds even
    // on a slow disk; one call for all of it when nobody watches.
    const off_t slice = m_progress ? off_t(8) * 1024 * 1024 : length;
    while (length > 0 && !m_noCopyRange.contains(devices)) {
        checkCancelled();
        loff_t sourceOffset = offset;
        loff_t destinationOffset = offset;
        const ssize_t copied = ::copy_file_range(sourceFd, &sourceOffset, destinationFd, &destinationOffset,
                                                 size_t(std::min(length, slice)), 0);
        if (copied > 0) {
            offset += copied;
            length -= copied;
            addBytes(copied);
            continue;
        }
        if (copied == 0) // the file shrank meanwhile
            return;
        if (errno == EINTR)
            continue;
        if (isDestinationError(errno))
            failAtDestination(errno);
        if (!isNotSupported(errno) && errno != EINVAL && errno != EBADF && errno != ETXTBSY)
            failAtSource(errno);
        if (errno != EINVAL)
            m_noCopyRange.insert(devices);
        break;
    }

    constexpr size_t blockSize = 256 * 1024;
    std::vector<char> buffer(length > 0 ? blockSize : 0);
    while (length > 0) {
        checkCancelled();
        const ssize_t read = ::pread(sourceFd, buffer.data(), std::min<off_t>(length, blockSize), offset);
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            failAtSource(errno);
        if (read == 0)
            return;
        // A block of zeros is left unwritten: the final truncate makes it a hole.
        if (!isAllZero(buffer.data(), size_t(read))) {
            for (ssize_t written = 0; written < read;) {
                const ssize_t n = ::pwrite(destinationFd, buffer.data() + written, read - written, offset + written);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    failAtDestination(errno);
                written += n;
            }
        }
        offset += read;
        length -= read;
        addBytes(read);
    }
}

void TreeCopier::copyFolder(int sourceFolderFd, const char *sourceName, const struct stat &status,
                            int destinationFolderFd, const char *destinationName)
{
    DirectoryStream source(sourceFolderFd, sourceName, false);
    if (!source.isOpen())
        failAtSource(source.errorNumber());
    // Owner-only until the contents are in, so nobody sees a half-made folder
    // as theirs to write in; the real mode and times come last.
    if (::mkdirat(destinationFolderFd, destinationName, 0700) != 0)
        failAtDestination(errno);
    m_madeTopEntry = true;
    FileDescriptor destination(::openat(destinationFolderFd, destinationName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!destination.isValid())
        failAtDestination(errno);

    const TreeLookahead::Claim claim = m_lookahead ? m_lookahead->take(status.st_dev, status.st_ino)
                                                   : TreeLookahead::Claim();
    qint64 folderBytes = 0;
    qint64 *outerFolderBytes = std::exchange(m_folderBytes, claim.sizesFiles ? &folderBytes : nullptr);
    const auto copyChild = [&](unsigned char type, const char *name) {
        PathScope sourcePath(m_sourcePath, name);
        PathScope destinationPath(m_destinationPath, name);
        copyEntry(source.fd(), name, type, destination.get(), name, claim.listing != nullptr);
    };
    if (claim.listing) {
        claim.listing->forEach(copyChild);
    } else {
        while (const dirent *entry = source.next())
            copyChild(entry->d_type, entry->d_name);
        if (source.errorNumber() != 0)
            failAtSource(source.errorNumber());
    }
    m_folderBytes = outerFolderBytes;
    if (claim.sizesFiles)
        m_lookahead->sized(status.st_dev, status.st_ino, folderBytes);

    copyMetadata(source.fd(), destination.get(), status);
}

// Attributes, then permissions, then times: writing attributes could change
// the modification time, and a read-only mode could stop the attribute write.
void TreeCopier::copyMetadata(int sourceFd, int destinationFd, const struct stat &status)
{
    int attributeError = 0;
    copyExtendedAttributes(sourceFd, destinationFd, attributeError);
    if (attributeError != 0)
        failAtDestination(attributeError);
    if (::fchmod(destinationFd, copiedMode(status)) != 0)
        failAtDestination(errno);
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    if (::futimens(destinationFd, times) != 0)
        failAtDestination(errno);
}

void TreeCopier::copySymbolicLink(int sourceFolderFd, const char *sourceName, const struct stat &status,
                                  int destinationFolderFd, const char *destinationName)
{
    QByteArray target(std::max<qsizetype>(status.st_size, 255) + 1, Qt::Uninitialized);
    for (;;) {
        const ssize_t length = ::readlinkat(sourceFolderFd, sourceName, target.data(), target.size());
        if (length < 0)
            failAtSource(errno);
        if (length < target.size()) {
            target.truncate(length);
            break;
        }
        target.resize(target.size() * 2);
    }
    if (::symlinkat(target.constData(), destinationFolderFd, destinationName) != 0)
        failAtDestination(errno);
    m_madeTopEntry = true;
    // Not every file system keeps times on links; the link itself is what matters.
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    ::utimensat(destinationFolderFd, destinationName, times, AT_SYMLINK_NOFOLLOW);
}

void TreeCopier::copySpecialFile(const struct stat &status, int destinationFolderFd, const char *destinationName)
{
    if (::mknodat(destinationFolderFd, destinationName, (status.st_mode & S_IFMT) | 0600, status.st_rdev) != 0)
        failAtDestination(errno);
    m_madeTopEntry = true;
    if (::fchmodat(destinationFolderFd, destinationName, copiedMode(status), 0) != 0)
        failAtDestination(errno);
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    if (::utimensat(destinationFolderFd, destinationName, times, AT_SYMLINK_NOFOLLOW) != 0)
        failAtDestination(errno);
}

void TreeCopier::checkCancelled() const
{
    if (m_progress && m_progress->isCancelled())
        failAtDestination(ECANCELED);
}

void TreeCopier::addBytes(qint64 count)
{
    if (!m_progress || count <= 0)
        return;
    m_progress->addBytes(count);
    m_fileBytesReported += count;
}

void TreeCopier::failAtSource(int error) const
{
    throw PlatformError::fromErrno(error, PathCodec::decode(m_sourcePath));
}

void TreeCopier::failAtDestination(int error) const
{
    throw PlatformError::fromErrno(error, PathCodec::decode(m_destinationPath));
}
