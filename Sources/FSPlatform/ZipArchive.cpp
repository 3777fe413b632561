#include "ZipArchive.h"

#include "DirectoryStream.h"
#include "FileDescriptor.h"
#include "OperationError.h"
#include "OperationProgress.h"
#include "PathCodec.h"

#include <QRandomGenerator>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace ZipArchive {

namespace {

struct ArchiveDeleter
{
    void operator()(archive *handle) const { archive_write_free(handle); }
};
struct EntryDeleter
{
    void operator()(archive_entry *entry) const { archive_entry_free(entry); }
};
using ArchiveHandle = std::unique_ptr<archive, ArchiveDeleter>;
using EntryHandle = std::unique_ptr<archive_entry, EntryDeleter>;

class ZipWriter
{
public:
    ZipWriter(int fd, const QByteArray &archivePath, OperationProgress *progress)
        : m_archive(archive_write_new()), m_archivePath(archivePath), m_progress(progress)
    {
        if (!m_archive)
            fail(ENOMEM);
        if (archive_write_set_format_zip(m_archive.get()) != ARCHIVE_OK
            || archive_write_open_fd(m_archive.get(), fd) != ARCHIVE_OK)
            failWithArchiveError();
    }

    void add(int folderFd, const char *name, const QByteArray &entryPath, const QByteArray &sourcePath)
    {
        checkCancelled();
        if (m_progress)
            m_progress->addItems(1);
        struct stat status;
        if (::fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            fail(errno, sourcePath);
        if (S_ISREG(status.st_mode))
            addFile(folderFd, name, entryPath, sourcePath);
        else if (S_ISDIR(status.st_mode))
            addFolder(folderFd, name, status, entryPath, sourcePath);
        else if (S_ISLNK(status.st_mode))
            addLink(folderFd, name, status, entryPath, sourcePath);
    }

    void finish()
    {
        // The central directory is written here: a full disk may show only now.
        if (archive_write_close(m_archive.get()) != ARCHIVE_OK)
            failWithArchiveError();
    }

private:
    void writeHeader(const struct stat &status, const QByteArray &entryPath, const QByteArray &linkTarget = {})
    {
        EntryHandle entry(archive_entry_new());
        if (!entry)
            fail(ENOMEM);
        archive_entry_copy_pathname(entry.get(), entryPath.constData());
        archive_entry_copy_stat(entry.get(), &status);
        if (!S_ISREG(status.st_mode))
            archive_entry_set_size(entry.get(), 0);
        if (S_ISLNK(status.st_mode))
            archive_entry_copy_symlink(entry.get(), linkTarget.constData());
        // A warning is a name that could not be marked as UTF-8; its bytes are kept.
        if (archive_write_header(m_archive.get(), entry.get()) < ARCHIVE_WARN)
            failWithArchiveError();
    }

    void addFile(int folderFd, const char *name, const QByteArray &entryPath, const QByteArray &sourcePath)
    {
        FileDescriptor file(::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!file.isValid())
            fail(errno, sourcePath);
        struct stat status;
        if (::fstat(file.get(), &status) != 0)
            fail(errno, sourcePath);
        writeHeader(status, entryPath);
        // The entry's size is in its header: exactly that many bytes follow,
        // even if the file changes meanwhile.
        std::vector<char> buffer(bufferSize);
        off_t remaining = status.st_size;
        while (remaining > 0) {
            checkCancelled();
            const ssize_t n = ::read(file.get(), buffer.data(), std::min<off_t>(remaining, bufferSize));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                fail(errno, sourcePath);
            if (n == 0)
                fail(EIO, sourcePath);
            if (archive_write_data(m_archive.get(), buffer.data(), size_t(n)) < 0)
                failWithArchiveError();
            remaining -= n;
            if (m_progress)
                m_progress->addBytes(n);
        }
        if (archive_write_finish_entry(m_archive.get()) != ARCHIVE_OK)
            failWithArchiveError();
    }

    void addFolder(int folderFd, const char *name, const struct stat &status, const QByteArray &entryPath,
                   const QByteArray &sourcePath)
    {
        DirectoryStream folder(folderFd, name, false);
        if (!folder.isOpen())
            fail(folder.errorNumber(), sourcePath);
        writeHeader(status, entryPath + '/');
        while (const dirent *child = folder.next())
            add(folder.fd(), child->d_name, entryPath + '/' + child->d_name, sourcePath + '/' + child->d_name);
        if (folder.errorNumber() != 0)
            fail(folder.errorNumber(), sourcePath);
    }

    void addLink(int folderFd, const char *name, const struct stat &status, const QByteArray &entryPath,
                 const QByteArray &sourcePath)
    {
        QByteArray target(std::max<qsizetype>(status.st_size, 255) + 1, Qt::Uninitialized);
        const ssize_t length = ::readlinkat(folderFd, name, target.data(), target.size());
        if (length < 0)
            fail(errno, sourcePath);
        if (length >= target.size()) // grew since the stat
            fail(EAGAIN, sourcePath);
        target.truncate(length);
        writeHeader(status, entryPath, target);
    }

    void checkCancelled() const
    {
        if (m_progress && m_progress->isCancelled())
            fail(ECANCELED);
    }

    [[noreturn]] void fail(int error, const QByteArray &path = {}) const
    {
        throw PlatformError::fromErrno(error, PathCodec::decode(path.isEmpty() ? m_archivePath : path));
    }

    [[noreturn]] void failWithArchiveError() const
    {
        const int error = archive_errno(m_archive.get());
        const char *message = archive_error_string(m_archive.get());
        if (!message)
            fail(error > 0 ? error : EIO);
        throw PlatformError(error, QString::fromLocal8Bit(message));
    }

    static constexpr size_t bufferSize = 256 * 1024;
    ArchiveHandle m_archive;
    QByteArray m_archivePath;
    OperationProgress *m_progress;
};

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : path.left(slash);
}

} // namespace

QByteArray writeToTemporary(const QByteArray &item, const QByteArray &folder, OperationProgress *progress)
{
    const QByteArray name = item.mid(item.lastIndexOf('/') + 1);
    if (name.isEmpty())
        throw PlatformError::fromErrno(EINVAL, PathCodec::decode(item));
    FileDescriptor itemFolder(::open(parentOf(item).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!itemFolder.isValid())
        throw PlatformError::fromErrno(errno, PathCodec::decode(item));

    QByteArray path;
    FileDescriptor file;
    while (!file.isValid()) {
        path = folder + "/.tidewright-" + QByteArray::number(QRandomGenerator::global()->generate64(), 16) + ".zip.partial";
        file.reset(::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!file.isValid() && errno != EEXIST)
            throw PlatformError::fromErrno(errno, PathCodec::decode(path));
    }

    try {
        ZipWriter writer(file.get(), path, progress);
        writer.add(itemFolder.get(), name.constData(), name, item);
        writer.finish();
        if (file.close() != 0)
            throw PlatformError::fromErrno(errno, PathCodec::decode(path));
    } catch (...) {
        ::unlink(path.constData());
        throw;
    }
    return path;
}

} // namespace ZipArchive
