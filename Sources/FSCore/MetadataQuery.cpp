#include "MetadataQuery.h"

#include "MainThread.h"
#include "ParallelWork.h"
#include "WorkQueues.h"

#include "FSPlatform/DirectoryStream.h"
#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/InotifyWatch.h"
#include "FSPlatform/MountTable.h"
#include "FSPlatform/NameFolding.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/VisibleVolumes.h"

#include <QFile>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The first batch comes soon, so that the views fill while the walk goes on;
// later ones are spaced out so that the views do not redraw for every few items.
constexpr auto firstBatchDelay = 30ms;
constexpr auto batchInterval = 120ms;
// Coarse file system clocks tick in milliseconds; some in seconds (FAT's two).
constexpr qint64 settledAfterNs = 3'000'000'000;

qint64 nowNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

int watchLimitSetting = -1;
int watchesInUse = 0;

int defaultWatchLimit()
{
    // The kernel's limit counts the watches of every program of the user:
    // a search takes a quarter of it at most.
    QFile file(QStringLiteral("/proc/sys/fs/inotify/max_user_watches"));
    bool ok = false;
    const int systemLimit = file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt(&ok) : 0;
    return ok && systemLimit > 0 ? std::max(systemLimit / 4, 256) : 8192;
}

QByteArray childPath(const QByteArray &folder, const char *name, qsizetype length)
{
    QByteArray path;
    path.reserve(folder.size() + 1 + length);
    path.append(folder);
    if (!folder.endsWith('/'))
        path.append('/');
    path.append(name, length);
    return path;
}

} // namespace

struct MetadataQuery::Batch
{
    FileItemList items;
    QList<MetadataQuery::WalkedFolder> folders; // walked, to be watched
    QList<QString> removedPaths; // gone, with everything below them
    bool finishesWalk = false;
};

struct MetadataQuery::Walk
{
    explicit Walk(const QString &text) : needle(text) {}

    bool isCancelled() const { return cancelled.load(std::memory_order_relaxed); }

    bool markVisited(quint64 device, quint64 inode)
    {
        std::lock_guard locker(visitedLock);
        return visited.insert({device, inode}).second;
    }

    void post(Batch batch, const std::shared_ptr<Walk> &self)
    {
        MainThread::post([self, query = query, batch = std::move(batch)]() mutable {
            if (query && !self->isCancelled())
                query->deliver(self, std::move(batch));
        });
    }

    std::atomic<bool> cancelled{false};
    const NameFolding::Needle needle;
    QPointer<MetadataQuery> query;
    std::atomic<quint64> rootDevice{0};
    std::atomic<bool> isRootDeviceKnown{false};
    std::atomic<bool> isWatchable{true};
    std::mutex visitedLock;
    struct FolderIdentityHash
    {
        // Inode numbers are spread well enough to be their own hash.
        size_t operator()(const std::pair<quint64, quint64> &folder) const
        {
            return size_t(folder.second ^ (folder.first * 0x9E3779B97F4A7C15ull));
        }
    };
    std::unordered_set<std::pair<quint64, quint64>, FolderIdentityHash> visited;
};

namespace {

// A folder kept open while folders inside it wait to be read: they open
// relative to it, and the kernel does not look up the whole path again.
class OpenFolder
{
public:
    OpenFolder(int fd, std::atomic<int> &count) : m_fd(fd), m_count(count) { ++m_count; }
    ~OpenFolder()
    {
        ::close(m_fd);
        --m_count;
    }
    OpenFolder(const OpenFolder &) = delete;
    OpenFolder &operator=(const OpenFolder &) = delete;

    int fd() const { return m_fd; }

private:
    const int m_fd;
    std::atomic<int> &m_count;
};

// Folders held open at once by one walk, well inside the usual limit of 1024
// descriptors a process has.
constexpr int openFolderLimit = 128;

struct PendingFolder
{
    QByteArray path; // encoded
    std::shared_ptr<const OpenFolder> parent;
    qsizetype nameOffset = 0; // where the name starts in `path`
};

// One tree below a folder, read by the calling thread and a helper of the
// search queue; folders wait in a shared stack, matches go out in batches.
class FolderWalk
{
public:
    using Post = std::function<void(MetadataQuery::Batch)>;

    FolderWalk(MetadataQuery::Walk &walk, QByteArray root, bool rootMayBeLink, Post post)
        : m_walk(walk), m_rootMayBeLink(rootMayBeLink), m_post(std::move(post))
    {
        m_pending.push_back({std::move(root), nullptr, 0});
    }

    void run(bool finishesWalk)
    {
        QThreadPool *pool = WorkQueues::search();
        const std::thread::id caller = std::this_thread::get_id();
        ParallelWork::run(pool, pool->maxThreadCount() - 1, [&] { work(std::this_thread::get_id() != caller); });
        std::lock_guard locker(m_lock);
        if (m_walk.isCancelled())
            return;
        if (finishesWalk || !m_batch.items.isEmpty() || !m_batch.folders.isEmpty()) {
            m_batch.finishesWalk = finishesWalk;
            m_post(std::exchange(m_batch, {}));
        }
    }

private:
    void work(bool isHelper)
    {
        std::unique_lock locker(m_lock);
        const auto hasWork = [&] { return !m_pending.empty() || m_busyWorkers == 0 || m_walk.isCancelled(); };
        for (;;) {
            if (isHelper)
                m_wake.wait_for(locker, 10ms, hasWork);
            else
                m_wake.wait(locker, hasWork);
            if (m_walk.isCancelled() || m_pending.empty()) {
                if (isHelper && !m_walk.isCancelled() && m_busyWorkers > 0)
                    continue;
                break;
            }
            PendingFolder folder = std::move(m_pending.back());
            m_pending.pop_back();
            ++m_busyWorkers;
            locker.unlock();
            std::vector<PendingFolder> subfolders;
            FileItemList found;
            const std::optional<qint64> walked = walkFolder(folder, subfolders, found);
            // Its descriptor goes with the last folder inside it that waits.
            folder.parent.reset();
            locker.lock();
            --m_busyWorkers;
            for (PendingFolder &subfolder : subfolders)
                m_pending.push_back(std::move(subfolder));
            m_batch.items.append(std::move(found));
            if (walked)
                m_batch.folders.append({std::move(folder.path), *walked});
            const auto now = Clock::now();
            if (now - m_lastPost >= (m_hasPosted ? batchInterval : firstBatchDelay) && !m_batch.items.isEmpty()) {
                m_lastPost = now;
                m_hasPosted = true;
                m_post(std::exchange(m_batch, {}));
            }
            m_wake.notify_all();
        }
        m_wake.notify_all();
    }

    // When the folder was read: the time it had last changed, as WalkedFolder has it.
    std::optional<qint64> walkFolder(const PendingFolder &pending, std::vector<PendingFolder> &subfolders,
                                     FileItemList &found)
    {
        const QByteArray &folder = pending.path;
        // The searched folder may itself be reached through a link; nothing
        // below it is.
        const bool isRoot = m_rootMayBeLink && m_isFirstFolder.exchange(false);
        const int parentFd = pending.parent ? pending.parent->fd() : AT_FDCWD;
        DirectoryStream stream(parentFd, folder.constData() + pending.nameOffset, isRoot);
        if (!stream.isOpen())
            return std::nullopt;
        const EntryStatus self = EntryStatus::readOpen(stream.fd());
        if (isRoot && !m_walk.isRootDeviceKnown.load()) {
            m_walk.rootDevice = self.device;
            m_walk.isRootDeviceKnown = true;
        } else if (m_walk.isRootDeviceKnown.load() && self.device != m_walk.rootDevice.load()) {
            // Another file system mounted below the scope: a disk, a share, /proc.
            return std::nullopt;
        }
        if (!m_walk.markVisited(self.device, self.inode))
            return std::nullopt;
        const size_t firstSubfolder = subfolders.size();
        const qsizetype nameOffset = folder.endsWith('/') ? folder.size() : folder.size() + 1;
        QString decodedFolder;
        while (const dirent *entry = stream.next()) {
            if (m_walk.isCancelled())
                break;
            const char *name = entry->d_name;
            if (name[0] == '.')
                continue;
            const qsizetype length = qsizetype(std::strlen(name));
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                const EntryStatus status = EntryStatus::readWithoutFollowing(stream.fd(), name);
                type = status.isSymbolicLink ? DT_LNK : status.isDirectory ? DT_DIR : DT_REG;
            }
            const bool isFolder = type == DT_DIR;
            if (isFolder)
                subfolders.push_back({childPath(folder, name, length), nullptr, nameOffset});
            if (!m_walk.needle.isFoundIn(name, length))
                continue;
            const QByteArray fullPath = isFolder ? subfolders.back().path : childPath(folder, name, length);
            const QString decodedName = PathCodec::decode(name, length);
            // Decoding goes byte sequence by byte sequence, none of which holds
            // a slash: the folder's part is decoded once for all its matches.
            if (decodedFolder.isNull()) {
                decodedFolder = PathCodec::decode(folder);
                if (!decodedFolder.endsWith(QLatin1Char('/')))
                    decodedFolder.append(QLatin1Char('/'));
            }
            found.append(FileItem(decodedFolder + decodedName,
                                  FileAttributes::read(stream.fd(), name, type, decodedName, fullPath)));
        }
        if (subfolders.size() > firstSubfolder && m_openFolders.load() < openFolderLimit) {
            const auto open = std::make_shared<const OpenFolder>(stream.takeFd(), m_openFolders);
            for (size_t i = firstSubfolder; i < subfolders.size(); ++i)
                subfolders[i].parent = open;
        }
        // A change in the same tick of the file system's clock as the last
        // one leaves the time as it was.
        const bool isSettled = nowNs() - self.modificationTimeNs > settledAfterNs;
        return isSettled ? self.modificationTimeNs : qint64(-1);
    }

    MetadataQuery::Walk &m_walk;
    const bool m_rootMayBeLink;
    const Post m_post;
    std::mutex m_lock;
    std::condition_variable m_wake;
    // Before m_pending: folders still waiting when a walk is cancelled count
    // themselves out as they go.
    std::atomic<int> m_openFolders{0};
    std::vector<PendingFolder> m_pending;
    int m_busyWorkers = 0;
    std::atomic<bool> m_isFirstFolder{true};
    MetadataQuery::Batch m_batch;
    Clock::time_point m_lastPost = Clock::now();
    bool m_hasPosted = false;
};

} // namespace

MetadataQuery::MetadataQuery(QObject *parent)
    : QObject(parent)
{
}

MetadataQuery::~MetadataQuery()
{
    stop();
}

int MetadataQuery::watchLimit()
{
    if (watchLimitSetting < 0)
        watchLimitSetting = defaultWatchLimit();
    return watchLimitSetting;
}

void MetadataQuery::setWatchLimit(int folders)
{
    watchLimitSetting = std::max(folders, 0);
}

void MetadataQuery::start(const QUrl &scope, const QString &text)
{
    stop();
    m_scope = scope;
    m_text = text;
    m_results.clear();
    m_resultPaths.clear();
    m_isGathering = true;
    m_isLiveUpdateLimited = false;

    auto walk = std::make_shared<Walk>(text);
    walk->query = this;
    m_walk = walk;
    const QByteArray root = PathCodec::encodePath(scope);
    WorkQueues::search()->start([walk, root] {
        if (walk->isCancelled())
            return;
        // Inotify does not see changes made on the server's side.
        const std::optional<MountEntry> mount = MountTable::entryHolding(MountTable::read(), PathCodec::decode(root));
        walk->isWatchable = !mount
            || (!VisibleVolumes::isNetworkFileSystemType(mount->fileSystemType)
                && mount->fileSystemType != QLatin1String("fuse.gvfsd-fuse"));
        FolderWalk tree(*walk, root, true, [walk](Batch batch) { walk->post(std::move(batch), walk); });
        tree.run(true);
    });
}

void MetadataQuery::stop()
{
    if (m_walk)
        m_walk->cancelled = true;
    m_walk.reset();
    m_isGathering = false;
    m_foldersToWatch.clear();
    dropWatches();
}

void MetadataQuery::dropWatches()
{
    watchesInUse -= int(m_watches.size());
    qDeleteAll(m_watches);
    m_watches.clear();
}

void MetadataQuery::deliver(const std::shared_ptr<Walk> &walk, Batch batch)
{
    if (walk != m_walk)
        return;
    FileItemList added;
    for (FileItem &item : batch.items) {
        const QString path = item.path();
        if (m_resultPaths.contains(path))
            continue;
        m_resultPaths.insert(path);
        m_results.append(item);
        added.append(std::move(item));
    }
    QList<QUrl> removed;
    for (const QString &path : std::as_const(batch.removedPaths))
        removeAtOrBelow(path, removed);
    if (walk->isWatchable.load()) {
        // Watching a folder costs the kernel a pass over its entries: while
        // the walk runs the processor goes to the walk, and the watches follow
        // in slices that leave the main thread free for the views.
        if (m_isGathering || batch.finishesWalk) {
            m_foldersToWatch.append(std::move(batch.folders));
            if (batch.finishesWalk)
                scheduleWatching();
        } else {
            // A folder that came in later is watched at once.
            watchFolders(batch.folders);
        }
    } else if (!m_isLiveUpdateLimited) {
        m_isLiveUpdateLimited = true;
        Q_EMIT liveUpdateLimitReached();
    }

    if (!added.isEmpty())
        Q_EMIT resultsAdded(added);
    if (!removed.isEmpty())
        Q_EMIT resultsRemoved(removed);
    if (batch.finishesWalk && m_isGathering) {
        m_isGathering = false;
        Q_EMIT didFinishGathering();
    } else if (!m_isGathering && (!added.isEmpty() || !removed.isEmpty())) {
        Q_EMIT didUpdate();
    }
}

void MetadataQuery::scheduleWatching()
{
    if (m_isWatchingScheduled || m_foldersToWatch.isEmpty())
        return;
    m_isWatchingScheduled = true;
    QTimer::singleShot(0, this, [this, walk = std::weak_ptr<Walk>(m_walk)] {
        m_isWatchingScheduled = false;
        if (walk.lock() != m_walk || !m_walk)
            return;
        constexpr qsizetype slice = 256;
        const QList<WalkedFolder> now = m_foldersToWatch.mid(0, slice);
        m_foldersToWatch.remove(0, std::min(slice, m_foldersToWatch.size()));
        watchFolders(now);
        scheduleWatching();
    });
}

void MetadataQuery::watchFolders(const QList<WalkedFolder> &walked)
{
    const int limit = watchLimit();
    for (const WalkedFolder &each : walked) {
        const QByteArray &folder = each.path;
        if (m_watches.contains(folder))
            continue;
        if (watchesInUse >= limit) {
            if (!m_isLiveUpdateLimited) {
                m_isLiveUpdateLimited = true;
                Q_EMIT liveUpdateLimitReached();
            }
            return;
        }
        auto *watch = new InotifyWatch(folder, InotifyWatch::Location::local, this);
        if (!watch->isWatching()) {
            // The kernel refused (its limit), or the folder went meanwhile;
            // a gone folder is reported by its parent's watch.
            delete watch;
            if (EntryStatus::readWithoutFollowing(folder).exists && !m_isLiveUpdateLimited) {
                m_isLiveUpdateLimited = true;
                Q_EMIT liveUpdateLimitReached();
            }
            continue;
        }
        ++watchesInUse;
        m_watches.insert(folder, watch);
        connect(watch, &InotifyWatch::changed, this,
                [this, folder](const QStringList &names) { folderChanged(folder, names); });
        // What changed there between its walk and its watch, no watch saw.
        if (each.modificationTimeNs < 0
            || EntryStatus::readWithoutFollowing(folder).modificationTimeNs != each.modificationTimeNs)
            folderChanged(folder, {});
    }
}

void MetadataQuery::folderChanged(const QByteArray &folder, const QStringList &names)
{
    if (!m_walk)
        return;
    // An empty list says anything may have changed: every entry of the folder
    // is looked at again, and so is every result known there.
    QStringList toCheck = names;
    const bool everything = names.isEmpty();
    const QString folderPath = PathCodec::decode(folder);
    const QString prefix = folderPath.endsWith(QLatin1Char('/')) ? folderPath : folderPath + QLatin1Char('/');
    if (everything) {
        for (const FileItem &item : std::as_const(m_results)) {
            const QString path = item.path();
            if (path.startsWith(prefix) && path.indexOf(QLatin1Char('/'), prefix.size()) < 0)
                toCheck.append(path.mid(prefix.size()));
        }
    }
    QSet<QString> watchedChildren;
    for (const QString &name : std::as_const(toCheck)) {
        if (m_watches.contains(childPath(folder, PathCodec::encode(name).constData(), PathCodec::encode(name).size())))
            watchedChildren.insert(name);
    }
    if (everything) {
        for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
            const QString path = PathCodec::decode(it.key());
            if (path.startsWith(prefix) && path.indexOf(QLatin1Char('/'), prefix.size()) < 0) {
                toCheck.append(path.mid(prefix.size()));
                watchedChildren.insert(path.mid(prefix.size()));
            }
        }
    }

    const std::shared_ptr<Walk> walk = m_walk;
    WorkQueues::search()->start([walk, folder, toCheck, watchedChildren, everything]() mutable {
        if (walk->isCancelled())
            return;
        const auto post = [walk](Batch batch) { walk->post(std::move(batch), walk); };
        Batch batch;
        if (everything) {
            DirectoryStream stream(AT_FDCWD, folder.constData(), false);
            if (!stream.isOpen()) {
                if (!EntryStatus::readWithoutFollowing(folder).exists)
                    batch.removedPaths.append(PathCodec::decode(folder));
                post(std::move(batch));
                return;
            }
            while (const dirent *entry = stream.next())
                toCheck.append(PathCodec::decode(entry->d_name, qsizetype(std::strlen(entry->d_name))));
            toCheck.removeDuplicates();
        }
        std::vector<QByteArray> newFolders;
        for (const QString &name : std::as_const(toCheck)) {
            if (name.startsWith(QLatin1Char('.')) || name.contains(QLatin1Char('/')))
                continue;
            const QByteArray rawName = PathCodec::encode(name);
            const QByteArray fullPath = childPath(folder, rawName.constData(), rawName.size());
            const EntryStatus status = EntryStatus::readWithoutFollowing(fullPath);
            if (!status.exists) {
                batch.removedPaths.append(PathCodec::decode(fullPath));
                continue;
            }
            const bool isFolder = status.isDirectory && !status.isSymbolicLink;
            if (walk->needle.isFoundIn(rawName.constData(), rawName.size())) {
                const unsigned char type = status.isSymbolicLink ? DT_LNK : isFolder ? DT_DIR : DT_REG;
                batch.items.append(FileItem(PathCodec::decode(fullPath),
                                            FileAttributes::read(AT_FDCWD, fullPath.constData(), type, name, fullPath)));
            }
            if (isFolder && !watchedChildren.contains(name) && status.device == walk->rootDevice.load())
                newFolders.push_back(fullPath);
        }
        post(std::move(batch));
        // A folder made or moved in brings its whole tree.
        for (const QByteArray &newFolder : newFolders) {
            FolderWalk tree(*walk, newFolder, false, post);
            tree.run(false);
        }
    });
}

void MetadataQuery::removeAtOrBelow(const QString &path, QList<QUrl> &removed)
{
    const QString below = path + QLatin1Char('/');
    const auto isGone = [&](const QString &candidate) { return candidate == path || candidate.startsWith(below); };
    for (qsizetype i = m_results.size() - 1; i >= 0; --i) {
        const QString candidate = m_results.at(i).path();
        if (!isGone(candidate))
            continue;
        removed.append(m_results.at(i).url());
        m_resultPaths.remove(candidate);
        m_results.removeAt(i);
    }
    const QByteArray encoded = PathCodec::encode(path);
    const QByteArray encodedBelow = encoded + '/';
    m_foldersToWatch.removeIf([&](const WalkedFolder &folder) {
        return folder.path == encoded || folder.path.startsWith(encodedBelow);
    });
    for (auto it = m_watches.begin(); it != m_watches.end();) {
        if (it.key() == encoded || it.key().startsWith(encodedBelow)) {
            delete it.value();
            --watchesInUse;
            it = m_watches.erase(it);
        } else {
            ++it;
        }
    }
}
