#include "OperationProgress.h"

#include "DirectoryStream.h"
#include "OperationError.h"

#include <QByteArray>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

void OperationProgress::advanceTo(qint64 items, qint64 bytes)
{
    qint64 current = m_itemsDone.load(std::memory_order_relaxed);
    while (current < items && !m_itemsDone.compare_exchange_weak(current, items, std::memory_order_relaxed)) {
    }
    current = m_bytesDone.load(std::memory_order_relaxed);
    while (current < bytes && !m_bytesDone.compare_exchange_weak(current, bytes, std::memory_order_relaxed)) {
    }
}

void OperationProgress::throwIfCancelled() const
{
    if (isCancelled())
        throw PlatformError::fromErrno(ECANCELED);
}

bool OperationProgress::isCancellation(int errorNumber)
{
    return errorNumber == ECANCELED;
}

namespace {

void addFolder(int parentFd, const char *name, TreeTotals &totals, const OperationProgress *progress)
{
    DirectoryStream folder(parentFd, name, false);
    if (!folder.isOpen())
        return;
    while (const dirent *entry = folder.next()) {
        if (progress && progress->isCancelled())
            return;
        ++totals.items;
        if (entry->d_type == DT_DIR) {
            addFolder(folder.fd(), entry->d_name, totals, progress);
            continue;
        }
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
            continue;
        struct stat status;
        if (::fstatat(folder.fd(), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(status.st_mode))
            totals.bytes += status.st_size;
        else if (S_ISDIR(status.st_mode))
            addFolder(folder.fd(), entry->d_name, totals, progress);
    }
}

} // namespace

TreeTotals TreeTotals::of(const QByteArray &path, const OperationProgress *progress)
{
    TreeTotals totals;
    struct stat status;
    if (::lstat(path.constData(), &status) != 0)
        return totals;
    totals.items = 1;
    if (S_ISREG(status.st_mode))
        totals.bytes = status.st_size;
    else if (S_ISDIR(status.st_mode))
        addFolder(AT_FDCWD, path.constData(), totals, progress);
    return totals;
}
