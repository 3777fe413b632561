#include "TreeLookahead.h"

#include "DirectoryStream.h"
#include "FileDescriptor.h"
#include "OperationProgress.h"

#include <cerrno>
#include <cstring>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Beyond this much the listings are not kept: the copier reads the folders
// itself, as it would without a walk, rather than the walk holding a tree of
// millions of names in memory.
constexpr qint64 keptListingsLimit = 64 * 1024 * 1024;

// Processor time the sizing may always spend, so that a tree of a few large
// files is sized at once rather than after the copier has worked a while.
constexpr double sizingGraceMilliseconds = 10;

// A stat is cheap; the budget is looked at every so many.
constexpr int statsBetweenBudgetChecks = 16;

double cpuMilliseconds(clockid_t clock)
{
    timespec time {};
    if (::clock_gettime(clock, &time) != 0)
        return -1;
    return double(time.tv_sec) * 1000 + double(time.tv_nsec) / 1e6;
}

unsigned char typeOf(mode_t mode)
{
    return static_cast<unsigned char>(IFTODT(mode));
}

} // namespace

void TreeLookahead::Listing::append(unsigned char type, const char *name)
{
    // The name with its NUL.
    m_packed.append(char(type)).append(name, qsizetype(std::strlen(name)) + 1);
    ++m_count;
}

TreeLookahead::TreeLookahead(bool keepsListings) : m_keepsListings(keepsListings) {}

TreeLookahead::~TreeLookahead() = default;

void TreeLookahead::list(const std::vector<QByteArray> &paths, const std::vector<bool> &countsAsOne,
                         const OperationProgress *progress)
{
    qint64 items = 0;
    for (size_t index = 0; index < paths.size(); ++index) {
        if (index < countsAsOne.size() && countsAsOne[index])
            ++items;
        else
            listTree(paths[index], progress, items);
    }
    if (progress && progress->isCancelled())
        return;
    const std::lock_guard lock(m_mutex);
    m_isListed = true;
    m_itemsTotal = items;
    publishBytesIfSized();
}

void TreeLookahead::listTree(const QByteArray &path, const OperationProgress *progress, qint64 &items)
{
    struct stat status;
    if (::lstat(path.constData(), &status) != 0)
        return;
    ++items;
    if (S_ISREG(status.st_mode)) {
        const std::lock_guard lock(m_mutex);
        m_looseBytes += status.st_size;
    } else if (S_ISDIR(status.st_mode)) {
        listFolder(AT_FDCWD, path.constData(), path, progress, items);
    }
}

void TreeLookahead::listFolder(int parentFd, const char *name, const QByteArray &path,
                               const OperationProgress *progress, qint64 &items)
{
    FileDescriptor folder;
    struct stat status;
    auto listing = std::make_shared<Listing>();
    std::vector<QByteArray> subfolders;
    {
        // Done with before the walk goes into the folders inside it, which
        // then read into the same buffer.
        DirectoryStream stream(parentFd, name, false);
        if (!stream.isOpen() || ::fstat(stream.fd(), &status) != 0)
            return;
        while (const dirent *entry = stream.next()) {
            if (progress && progress->isCancelled())
                return;
            ++items;
            unsigned char type = entry->d_type;
            struct stat entryStatus;
            if (type == DT_UNKNOWN && ::fstatat(stream.fd(), entry->d_name, &entryStatus, AT_SYMLINK_NOFOLLOW) == 0)
                type = typeOf(entryStatus.st_mode);
            listing->append(type, entry->d_name);
            if (type == DT_DIR)
                subfolders.emplace_back(entry->d_name);
        }
        folder = FileDescriptor(stream.takeFd());
    }
    // Before the folders inside it, in the order the copier goes.
    addFolder({path, {status.st_dev, status.st_ino}, nullptr}, listing);
    for (const QByteArray &subfolder : subfolders)
        listFolder(folder.get(), subfolder.constData(), QByteArray(path).append('/').append(subfolder), progress, items);
}

void TreeLookahead::addFolder(Folder folder, const std::shared_ptr<Listing> &listing)
{
    const std::lock_guard lock(m_mutex);
    if (m_index.contains(folder.key))
        return; // the same folder twice, through a bind mount: sized once
    if (const auto early = m_takenEarly.find(folder.key); early != m_takenEarly.end()) {
        // The copier read it itself.
        folder.isSized = early->second.has_value();
        if (folder.isSized)
            addSized(*early->second);
        m_takenEarly.erase(early);
    } else if (m_keepsListings && m_keptBytes + listing->byteSize() <= keptListingsLimit) {
        folder.listing = listing;
        m_keptBytes += listing->byteSize();
    }
    m_index.emplace(folder.key, m_folders.size());
    m_folders.push_back(std::move(folder));
}

TreeLookahead::Claim TreeLookahead::take(dev_t device, ino_t inode)
{
    const std::lock_guard lock(m_mutex);
    const Key key{device, inode};
    if (const auto found = m_index.find(key); found != m_index.end()) {
        const Folder &folder = m_folders[found->second];
        return {folder.listing, !folder.isSized};
    }
    // Made after the walk went by: outside the totals either way.
    if (m_isListed)
        return {};
    m_takenEarly.emplace(key, std::nullopt);
    return {nullptr, true};
}

void TreeLookahead::sized(dev_t device, ino_t inode, qint64 bytes)
{
    const std::lock_guard lock(m_mutex);
    const Key key{device, inode};
    if (const auto early = m_takenEarly.find(key); early != m_takenEarly.end())
        early->second = bytes;
    else if (const auto found = m_index.find(key); found != m_index.end())
        markSized(m_folders[found->second], bytes);
}

void TreeLookahead::markSized(Folder &folder, qint64 bytes)
{
    // The walk and the copier may both size a folder they meet in; the
    // first to finish counts.
    if (folder.isSized)
        return;
    folder.isSized = true;
    if (folder.listing)
        m_keptBytes -= folder.listing->byteSize();
    folder.listing.reset();
    addSized(bytes);
}

void TreeLookahead::addSized(qint64 bytes)
{
    m_sizedBytes += bytes;
    ++m_sizedFolders;
    publishBytesIfSized();
}

void TreeLookahead::publishBytesIfSized()
{
    if (m_isListed && !m_cannotSize && m_sizedFolders == m_folders.size() && m_bytesTotal < 0)
        m_bytesTotal = m_looseBytes + m_sizedBytes;
}

void TreeLookahead::sizeFromTheEnd(clockid_t copierClock, double share, const std::function<bool()> &shouldStop)
{
    const double spentBefore = cpuMilliseconds(CLOCK_THREAD_CPUTIME_ID);
    // A thread of a pool has worked for others before.
    const double copierBefore = cpuMilliseconds(copierClock);
    // Waits while the sizing has spent more than its share of what the
    // copier has; false once it is to stop.
    const auto mayGoOn = [&] {
        for (;;) {
            const double copier = cpuMilliseconds(copierClock) - copierBefore;
            if (copier < 0 || shouldStop())
                return false;
            if (cpuMilliseconds(CLOCK_THREAD_CPUTIME_ID) - spentBefore <= sizingGraceMilliseconds + share * copier)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    size_t index;
    {
        const std::lock_guard lock(m_mutex);
        index = m_isListed ? m_folders.size() : 0;
    }
    while (index-- > 0) {
        Folder folder;
        {
            const std::lock_guard lock(m_mutex);
            if (m_cannotSize)
                return;
            if (m_folders[index].isSized)
                continue;
            folder = m_folders[index];
        }
        const std::optional<qint64> bytes = sizeFolder(folder, mayGoOn);
        if (shouldStop())
            return;
        const std::lock_guard lock(m_mutex);
        if (bytes)
            markSized(m_folders[index], *bytes);
        else if (!m_folders[index].isSized)
            m_cannotSize = true;
    }
}

std::optional<qint64> TreeLookahead::sizeFolder(const Folder &folder, const std::function<bool()> &mayGoOn)
{
    DirectoryStream stream(AT_FDCWD, folder.path.constData(), false);
    struct stat status;
    if (!stream.isOpen() || ::fstat(stream.fd(), &status) != 0 || Key{status.st_dev, status.st_ino} != folder.key)
        return std::nullopt;
    qint64 bytes = 0;
    int stats = 0;
    bool isStopped = false;
    const auto sizeEntry = [&](unsigned char type, const char *name) {
        if (isStopped || (type != DT_REG && type != DT_UNKNOWN))
            return;
        struct stat entryStatus;
        if (::fstatat(stream.fd(), name, &entryStatus, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(entryStatus.st_mode))
            bytes += entryStatus.st_size;
        if (++stats % statsBetweenBudgetChecks == 0)
            isStopped = !mayGoOn();
    };
    if (folder.listing) {
        folder.listing->forEach(sizeEntry);
    } else {
        while (const dirent *entry = stream.next())
            sizeEntry(entry->d_type, entry->d_name);
    }
    if (isStopped)
        return std::nullopt;
    return bytes;
}

void TreeLookahead::setTotals(qint64 items, qint64 bytes)
{
    m_itemsTotal = items;
    m_bytesTotal = bytes;
}

void TreeLookahead::finish(qint64 itemsDone, qint64 bytesDone)
{
    m_itemsTotal = std::max(m_itemsTotal.load(), itemsDone);
    m_bytesTotal = std::max(m_bytesTotal.load(), bytesDone);
}

std::optional<qint64> TreeLookahead::itemsTotal() const
{
    const qint64 total = m_itemsTotal.load();
    return total < 0 ? std::nullopt : std::optional<qint64>(total);
}

std::optional<qint64> TreeLookahead::bytesTotal() const
{
    const qint64 total = m_bytesTotal.load();
    return total < 0 ? std::nullopt : std::optional<qint64>(total);
}
