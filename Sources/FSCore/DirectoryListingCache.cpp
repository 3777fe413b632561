#include "DirectoryListingCache.h"

#include "DirectoryListingCacheTesting.h"
#include "DirectoryWatcher.h"
#include "FileListing.h"
#include "FileSorting.h"
#include "MainThread.h"
#include "ParallelWork.h"
#include "WorkQueues.h"

#include "FSPlatform/NaturalOrder.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace DirectoryListingCache {

namespace {

constexpr qsizetype defaultItemBudget = 200'000;
// Many tiny folders cost watches and bookkeeping rather than items.
constexpr qsizetype entryBudget = 1000;
constexpr double watchDebounceSeconds = 0.3;
// Names first, attributes after: the first piece is about one screen of rows,
// later pieces grow, so that the rows on screen come at once and a large
// folder costs few updates of the views.
constexpr size_t firstChunkSize = 64;
constexpr size_t largestChunkSize = 4096;
// Entries read ahead of what the main thread has applied: each holds its old
// and its new item until then, so a main thread that falls behind must not
// let the whole folder be held twice.
constexpr size_t mostReadAhead = 8192;
// Attributes arriving are applied at most this often: each application costs
// the views a pass over the changed rows and a repaint of the rows on screen.
constexpr int applyIntervalMilliseconds = 50;

bool isMainThread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

void onMainThread(std::function<void()> work)
{
    if (isMainThread())
        work();
    else
        MainThread::post(std::move(work));
}

// What a test asked to see and hold of names-first readings.
struct PieceWatch
{
    std::mutex lock;
    std::condition_variable released;
    bool isHeld = false;
    std::function<void(int order, const FileItemList &piece)> onPieceRead;
};

PieceWatch &pieceWatch()
{
    static PieceWatch watch;
    return watch;
}

std::atomic<bool> isPieceWatched{false};

void pieceRead(int order, const FileItemList &piece)
{
    if (!isPieceWatched)
        return;
    PieceWatch &watch = pieceWatch();
    std::unique_lock locker(watch.lock);
    if (watch.onPieceRead)
        watch.onPieceRead(order, piece);
    watch.released.wait(locker, [&] { return !watch.isHeld; });
}

// Listings of a share that stopped answering hold their threads for as long
// as it stays silent; when every listing thread is held, the next listing gets
// a thread of its own rather than waiting behind them.
void runInBackground(std::function<void()> work)
{
    if (WorkQueues::listings()->tryStart(work))
        return;
    QThread *thread = QThread::create(std::move(work));
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

// Entries to read again, or the whole folder.
struct ChangedNames
{
    QSet<QString> names;
    bool isEverything = false;

    bool isEmpty() const { return !isEverything && names.isEmpty(); }
    void add(const QStringList &changed)
    {
        if (changed.isEmpty()) {
            isEverything = true;
            names.clear();
        } else if (!isEverything) {
            for (const QString &name : changed)
                names.insert(name);
        }
    }
    QStringList list() const { return isEverything ? QStringList() : QStringList(names.cbegin(), names.cend()); }
};

struct Waiter
{
    ContextGuard context;
    Completion completion;
};

// One enumeration of one folder, shared by every request that arrives while it
// runs. Whichever thread gets to it first runs it: a pool thread, or a
// synchronous caller that would otherwise wait for the pool.
//
// A names-first listing hands out the folder's names as soon as they are read
// and stores them; it then reads the entries' attributes in pieces, the ones
// asked for first before the others, each piece applied to the stored listing
// and broadcast as a change. It is done (`state`, `items`) only once every
// attribute is read.
struct Listing
{
    enum State { queued, running, done };

    Listing(const QUrl &folder, bool isWatched, bool isNamesFirst)
        : folder(folder), isWatched(isWatched), isNamesFirst(isNamesFirst) {}

    const QUrl folder;
    // Only a folder watched since before its reading began may be stored: a
    // change made before the watch existed would never be seen.
    const bool isWatched;
    const bool isNamesFirst;
    std::mutex stateMutex;
    std::condition_variable finished;
    State state = queued;
    FileItemList items;

    // Names first, guarded by stateMutex: every entry in name order, named
    // until its attributes are read, and which ones a reader has taken.
    std::vector<FileItem> entries;
    std::vector<bool> isTaken;
    size_t nextInOrder = 0;
    size_t chunkSize = firstChunkSize;
    int piecesTaken = 0;
    std::vector<size_t> wanted; // asked for first, by index into entries
    // Read and not yet applied: the main thread takes them all at once, so a
    // burst of pieces costs the views one change, not one each.
    std::vector<std::pair<size_t, FileItem>> arrived;
    bool isApplyPosted = false;
    bool isFullApplyPosted = false; // an application that does not wait for the interval
    std::condition_variable applied;
    QElapsedTimer lastApply; // main thread only
    // Set once nobody can want the attributes any more: the reading stops.
    std::atomic<bool> isAbandoned{false};

    // Guarded by the cache's lock.
    bool isCurrent = true; // no invalidation since it started
    std::vector<Waiter> waiters;     // want every attribute
    std::vector<Waiter> nameWaiters; // names first will do
    // Also read by the readers, which never wait for the main thread while someone waits for them.
    std::atomic<int> synchronousWaiters{0};
    ChangedNames followUp; // changes seen while it ran, read again once it is stored

    bool isWanted() const { return !waiters.empty() || !nameWaiters.empty() || synchronousWaiters > 0; }

    // Readers held back for the main thread look again at what they wait for.
    void wakeReaders()
    {
        { std::lock_guard stateLocker(stateMutex); }
        applied.notify_all();
    }
};

struct Entry
{
    FileItemList items;
    quint64 generation = 0;
    quint64 lastUse = 0;
    // Entries whose attributes are still to be read, and the names-first
    // listing reading them.
    qsizetype unread = 0;
    std::shared_ptr<Listing> reader;
};

// What a refresh read: the listing now and how it differs from the one before.
struct RefreshResult
{
    FileItemList items;
    FileItemList inserted;
    QList<QUrl> removed;
    FileItemList changed;
    int errorNumber = 0;

    bool isUnchanged() const { return inserted.isEmpty() && removed.isEmpty() && changed.isEmpty(); }
};

QByteArray nameKey(const FileItem &item)
{
    if (const FileAttributes *snapshot = item.attributeSnapshot())
        return snapshot->nameSortKey;
    return NaturalOrder::sortKey(item.name());
}

bool isBefore(const QByteArray &a, const QByteArray &b)
{
    return NaturalOrder::compareKeys(a, b) < 0;
}

bool hasStatus(const FileItem &item)
{
    const FileAttributes *attributes = item.attributeSnapshot();
    return !attributes || attributes->hasStatus;
}

bool haveSameAttributes(const FileItem &a, const FileItem &b)
{
    const FileAttributes *x = a.attributeSnapshot();
    const FileAttributes *y = b.attributeSnapshot();
    if (!x || !y)
        return false;
    return x->name == y->name && x->contentType == y->contentType && x->fileSize == y->fileSize
        && x->modificationTimeNs == y->modificationTimeNs && x->device == y->device && x->inode == y->inode
        && x->labelColor == y->labelColor && x->exists == y->exists && x->isDirectory == y->isDirectory
        && x->isSymbolicLink == y->isSymbolicLink && x->hasFileSize == y->hasFileSize
        && x->hasModificationTime == y->hasModificationTime && x->hasStatus == y->hasStatus;
}

// `base` (in name order) with a refresh's difference applied: its removed
// entries taken out, its changed ones replaced, its new ones merged in at
// their place in name order (after entries whose names compare the same).
FileItemList withDifference(const FileItemList &base, const RefreshResult &difference)
{
    QSet<qsizetype> removedAt;
    QHash<qsizetype, FileItem> replacedAt;
    for (const QUrl &url : difference.removed) {
        // Through the bytes: a name that is not UTF-8 does not come back the same from toLocalFile().
        const qsizetype index = FileSorting::indexInNameOrder(base, PathCodec::decode(PathCodec::encodePath(url)));
        if (index >= 0)
            removedAt.insert(index);
    }
    for (const FileItem &item : difference.changed) {
        const qsizetype index = FileSorting::indexInNameOrder(base, item.path());
        if (index >= 0)
            replacedAt.insert(index, item);
    }
    FileItemList inserted = difference.inserted;
    std::stable_sort(inserted.begin(), inserted.end(),
                     [](const FileItem &a, const FileItem &b) { return isBefore(nameKey(a), nameKey(b)); });
    FileItemList items;
    items.reserve(base.size() + inserted.size());
    qsizetype nextInserted = 0;
    for (qsizetype i = 0; i < base.size(); ++i) {
        const QByteArray key = nameKey(base.at(i));
        while (nextInserted < inserted.size() && isBefore(nameKey(inserted.at(nextInserted)), key))
            items.append(inserted.at(nextInserted++));
        if (removedAt.contains(i))
            continue;
        const auto replaced = replacedAt.constFind(i);
        items.append(replaced == replacedAt.cend() ? base.at(i) : *replaced);
    }
    while (nextInserted < inserted.size())
        items.append(inserted.at(nextInserted++));
    return items;
}

RefreshResult readNamesAgain(const QUrl &folder, const FileItemList &base, const QStringList &names)
{
    RefreshResult result;
    const FileItemList found = FileListing::entries(folder, names, &result.errorNumber);
    if (result.errorNumber != 0)
        return result;
    QHash<QString, FileItem> foundByPath;
    for (const FileItem &item : found)
        foundByPath.insert(item.path(), item);

    QSet<QString> seen;
    for (const QString &name : names) {
        const QString path = FileListing::entryPath(folder, name);
        if (seen.contains(path))
            continue;
        seen.insert(path);
        const qsizetype index = FileSorting::indexInNameOrder(base, path);
        const auto now = foundByPath.constFind(path);
        if (index >= 0 && now != foundByPath.cend()) {
            if (!haveSameAttributes(base.at(index), *now))
                result.changed.append(*now);
        } else if (index >= 0) {
            result.removed.append(base.at(index).url());
        } else if (now != foundByPath.cend()) {
            result.inserted.append(*now);
        }
    }
    result.items = result.isUnchanged() ? base : withDifference(base, result);
    return result;
}

RefreshResult readWholeAgain(const QUrl &folder, const FileItemList &base)
{
    RefreshResult result;
    result.items = FileListing::contents(folder, &result.errorNumber);
    if (result.errorNumber != 0)
        return result;
    QHash<QString, qsizetype> oldIndex;
    oldIndex.reserve(base.size());
    for (qsizetype i = 0; i < base.size(); ++i)
        oldIndex.insert(base.at(i).path(), i);
    std::vector<bool> isKept(size_t(base.size()), false);
    for (const FileItem &item : std::as_const(result.items)) {
        const auto old = oldIndex.constFind(item.path());
        if (old == oldIndex.cend()) {
            result.inserted.append(item);
            continue;
        }
        isKept[size_t(*old)] = true;
        if (!haveSameAttributes(base.at(*old), item))
            result.changed.append(item);
    }
    for (qsizetype i = 0; i < base.size(); ++i) {
        if (!isKept[size_t(i)])
            result.removed.append(base.at(i).url());
    }
    if (result.isUnchanged())
        result.items = base; // keeps the copies made of it valid
    return result;
}

class Cache
{
public:
    static Cache &instance()
    {
        // Never destroyed: watches and queued work may still refer to it at exit.
        static Cache *cache = new Cache;
        return *cache;
    }

    Cache()
        : m_watchOwner(new QObject)
    {
        if (QCoreApplication *application = QCoreApplication::instance())
            m_watchOwner->moveToThread(application->thread());
    }

    FileItemList contents(const QUrl &folder)
    {
        if (isMainThread())
            ensureWatch(folder);
        std::shared_ptr<Listing> listing;
        FileItemList items;
        {
            std::lock_guard locker(m_lock);
            const Entry *entry = touch(folder);
            if (entry && entry->unread == 0) {
                items = entry->items;
            } else if (entry && entry->reader) {
                // Its attributes are being read: waits for them.
                listing = entry->reader;
                ++listing->synchronousWaiters;
            } else {
                listing = pendingListing(folder, false);
                ++listing->synchronousWaiters;
            }
        }
        if (listing) {
            listing->wakeReaders();
            items = runOrWait(listing);
        }
        announce(items);
        return items;
    }

    void contents(const QUrl &folder, QObject *context, Completion completion, ListingDetail detail)
    {
        ensureWatch(folder);
        const bool namesWillDo = detail == ListingDetail::namesFirst;
        std::unique_lock locker(m_lock);
        if (const Entry *entry = touch(folder); entry && (entry->unread == 0 || namesWillDo)) {
            const FileItemList items = entry->items;
            // Outside the lock: the hook and the completion may ask the cache again.
            locker.unlock();
            announce(items);
            completion(items);
            return;
        } else if (entry && entry->reader) {
            entry->reader->waiters.push_back({ContextGuard(context), std::move(completion)});
            return;
        }
        const bool isNew = !m_pending.contains(folder);
        const std::shared_ptr<Listing> listing = pendingListing(folder, namesWillDo);
        // A listing that reads every attribute at once serves names-first requests when it is done.
        (namesWillDo && listing->isNamesFirst ? listing->nameWaiters : listing->waiters)
            .push_back({ContextGuard(context), std::move(completion)});
        locker.unlock();
        if (isNew)
            runInBackground([this, listing] { runOrWait(listing); });
    }

    void readFirst(const QUrl &folder, const FileItemList &items)
    {
        std::shared_ptr<Listing> listing;
        {
            std::lock_guard locker(m_lock);
            const auto entry = m_entries.constFind(folder);
            if (entry == m_entries.cend() || entry->unread == 0 || !entry->reader)
                return;
            listing = entry->reader;
        }
        std::lock_guard stateLocker(listing->stateMutex);
        listing->wanted.clear();
        for (const FileItem &item : items) {
            const qsizetype index = FileSorting::indexInNameOrder(listing->entries, item);
            if (index >= 0 && !listing->isTaken[size_t(index)])
                listing->wanted.push_back(size_t(index));
        }
    }

    std::optional<FileItemList> cachedContents(const QUrl &folder)
    {
        std::lock_guard locker(m_lock);
        if (const Entry *entry = touch(folder))
            return entry->items;
        return std::nullopt;
    }

    void invalidate(const QUrl &folder)
    {
        {
            std::lock_guard locker(m_lock);
            forget(folder);
            if (const auto listing = m_pending.take(folder)) {
                listing->isCurrent = false;
                abandonIfUnwanted(*listing);
            }
            m_failures.remove(folder);
        }
        onMainThread([this, folder] { pruneWatch(folder); });
    }

    void invalidateAll()
    {
        {
            std::lock_guard locker(m_lock);
            for (const QUrl &folder : m_entries.keys())
                forget(folder);
            m_totalItems = 0;
            for (const auto &listing : std::as_const(m_pending)) {
                listing->isCurrent = false;
                abandonIfUnwanted(*listing);
            }
            m_pending.clear();
            m_failures.clear();
        }
        onMainThread([this] {
            for (const QUrl &folder : m_watchers.keys())
                pruneWatch(folder);
        });
    }

    std::optional<ListingFailure> failure(const QUrl &folder)
    {
        std::lock_guard locker(m_lock);
        const auto it = m_failures.constFind(folder);
        if (it == m_failures.cend())
            return std::nullopt;
        return *it;
    }

    void retain(const QUrl &folder)
    {
        {
            std::lock_guard locker(m_lock);
            ++m_retained[folder];
        }
        ensureWatch(folder);
    }

    void release(const QUrl &folder)
    {
        QList<QUrl> evicted;
        {
            std::lock_guard locker(m_lock);
            const auto it = m_retained.find(folder);
            if (it == m_retained.end())
                return;
            if (--*it == 0)
                m_retained.erase(it);
            evicted = evict({});
        }
        for (const QUrl &gone : std::as_const(evicted))
            pruneWatch(gone);
        pruneWatch(folder);
    }

    void refresh(const QUrl &folder, const QStringList &changedNames)
    {
        const auto running = m_refreshes.find(folder);
        if (running != m_refreshes.end()) {
            running->add(changedNames);
            return;
        }
        FileItemList base;
        quint64 generation = 0;
        bool hadEntry = false;
        {
            std::lock_guard locker(m_lock);
            if (const auto listing = m_pending.value(folder)) {
                // It may have read the folder before the change.
                listing->followUp.add(changedNames);
                return;
            }
            const auto entry = m_entries.constFind(folder);
            hadEntry = entry != m_entries.cend();
            if (!hadEntry && !m_retained.contains(folder))
                return; // nothing shown, nothing stored: the next request lists it
            if (hadEntry) {
                base = entry->items;
                generation = entry->generation;
            }
        }
        m_refreshes.insert(folder, {});
        const bool isWhole = changedNames.isEmpty() || !hadEntry;
        runInBackground([this, folder, base, changedNames, generation, hadEntry, isWhole] {
            RefreshResult result = isWhole ? readWholeAgain(folder, base) : readNamesAgain(folder, base, changedNames);
            MainThread::post([this, folder, base, generation, hadEntry, isWhole, result = std::move(result)] {
                finishRefresh(folder, base, generation, hadEntry, isWhole, result);
            });
        });
    }

    void setItemBudget(qsizetype items)
    {
        QList<QUrl> evicted;
        {
            std::lock_guard locker(m_lock);
            m_itemBudget = items;
            evicted = evict({});
        }
        onMainThread([this, evicted] {
            for (const QUrl &folder : evicted)
                pruneWatch(folder);
        });
    }

    void setHook(ListingHook hook)
    {
        std::lock_guard locker(m_hookLock);
        m_hook = std::move(hook);
    }

    ListingHook hook()
    {
        std::lock_guard locker(m_hookLock);
        return m_hook;
    }

private:
    // Under m_lock.
    std::shared_ptr<Listing> pendingListing(const QUrl &folder, bool isNamesFirst)
    {
        std::shared_ptr<Listing> &listing = m_pending[folder];
        if (!listing)
            listing = std::make_shared<Listing>(folder, m_watched.contains(folder), isNamesFirst);
        return listing;
    }

    // Under m_lock: the stored entry, marked as just used.
    const Entry *touch(const QUrl &folder)
    {
        const auto it = m_entries.find(folder);
        if (it == m_entries.end())
            return nullptr;
        it->lastUse = ++m_clock;
        return &*it;
    }

    // Under m_lock. A listing that no longer serves a stored entry, nor anyone
    // waiting, stops reading attributes nobody will see.
    static void abandonIfUnwanted(Listing &listing)
    {
        if (listing.isNamesFirst && !listing.isWanted()) {
            listing.isAbandoned = true;
            listing.wakeReaders();
        }
    }

    // Under m_lock. `reader` is the names-first listing that reads the
    // attributes of the entries stored without them. Only entries of a
    // listing still being read can lack them: a whole listing is not counted.
    Entry &store(const QUrl &folder, const FileItemList &items, std::shared_ptr<Listing> reader = {})
    {
        Entry &entry = m_entries[folder];
        m_totalItems += items.size() - entry.items.size();
        entry.items = items;
        entry.generation = ++m_clock;
        entry.lastUse = m_clock;
        if (reader)
            entry.reader = std::move(reader);
        entry.unread = entry.reader ? std::count_if(items.cbegin(), items.cend(), [](const FileItem &item) { return !hasStatus(item); })
                                    : 0;
        // Read again meanwhile: what the reader still reads is of no use to the listing.
        if (entry.unread == 0 && entry.reader && !entry.reader->isWanted()) {
            entry.reader->isAbandoned = true;
            entry.reader->wakeReaders();
            entry.reader.reset();
        }
        return entry;
    }

    // Under m_lock.
    void forget(const QUrl &folder)
    {
        const auto it = m_entries.find(folder);
        if (it == m_entries.end())
            return;
        m_totalItems -= it->items.size();
        if (it->reader)
            abandonIfUnwanted(*it->reader);
        m_entries.erase(it);
    }

    // Under m_lock: drops the least recently used folders that no view shows
    // until the rest fit, never `keep` (the listing just stored).
    QList<QUrl> evict(const QUrl &keep)
    {
        QList<QUrl> evicted;
        while (m_totalItems > m_itemBudget || m_entries.size() > entryBudget) {
            auto victim = m_entries.end();
            for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
                if (it.key() == keep || m_retained.contains(it.key()))
                    continue;
                if (victim == m_entries.end() || it->lastUse < victim->lastUse)
                    victim = it;
            }
            if (victim == m_entries.end())
                break;
            evicted.append(victim.key());
            forget(victim.key());
        }
        return evicted;
    }

    // Under m_lock.
    void recordFailure(const QUrl &folder, ListingFailure failure)
    {
        if (m_failures.size() >= entryBudget)
            m_failures.clear();
        m_failures.insert(folder, failure);
    }

    FileItemList runOrWait(const std::shared_ptr<Listing> &listing)
    {
        {
            std::unique_lock stateLocker(listing->stateMutex);
            if (listing->state != Listing::queued) {
                listing->finished.wait(stateLocker, [&] { return listing->state == Listing::done; });
                return listing->items;
            }
            listing->state = Listing::running;
        }
        if (listing->isNamesFirst)
            return readNamesFirst(listing);
        int errorNumber = 0;
        const FileItemList items = FileListing::contents(listing->folder, &errorNumber);
        finish(*listing, items);
        publish(listing, items, errorNumber);
        return items;
    }

    static void finish(Listing &listing, const FileItemList &items)
    {
        {
            std::lock_guard stateLocker(listing.stateMutex);
            listing.items = items;
            listing.state = Listing::done;
            listing.entries.clear();
            listing.isTaken.clear();
            listing.wanted.clear();
        }
        listing.finished.notify_all();
    }

    FileItemList readNamesFirst(const std::shared_ptr<Listing> &listing)
    {
        int errorNumber = 0;
        bool hasUnknownTypes = false;
        FileItemList named = FileListing::names(listing->folder, &errorNumber, &hasUnknownTypes);
        if (errorNumber != 0 || named.isEmpty()) {
            finish(*listing, named);
            publish(listing, named, errorNumber);
            return named;
        }
        {
            std::lock_guard stateLocker(listing->stateMutex);
            listing->entries.assign(named.cbegin(), named.cend());
            listing->isTaken.assign(listing->entries.size(), false);
        }
        publishNames(listing, named);
        // Each named entry goes as soon as its attributes are read and shown:
        // nothing here may hold the whole named listing meanwhile.
        named = FileItemList();

        const FileListing::StatusReader reader(listing->folder, hasUnknownTypes);
        ParallelWork::run(WorkQueues::listings(), QThread::idealThreadCount() - 1, [&] {
            std::vector<size_t> indexes;
            FileItemList chunk;
            int order = 0;
            while (takeChunk(*listing, indexes, chunk, order)) {
                for (FileItem &item : chunk)
                    item = reader.read(item);
                pieceRead(order, chunk);
                bool isPostNeeded = false;
                bool isFull = false;
                {
                    std::unique_lock stateLocker(listing->stateMutex);
                    listing->applied.wait(stateLocker, [&] {
                        return listing->arrived.size() < mostReadAhead || listing->synchronousWaiters > 0
                            || listing->isAbandoned;
                    });
                    for (size_t i = 0; i < indexes.size(); ++i) {
                        listing->entries[indexes[i]] = chunk.at(qsizetype(i));
                        listing->arrived.emplace_back(indexes[i], chunk.at(qsizetype(i)));
                    }
                    isPostNeeded = !listing->isApplyPosted;
                    listing->isApplyPosted = true;
                    // The readers stop here until the main thread applies what
                    // they read: it does so at once, not after the interval.
                    isFull = listing->arrived.size() >= mostReadAhead && !listing->isFullApplyPosted;
                    listing->isFullApplyPosted = listing->isFullApplyPosted || isFull;
                }
                if (isFull)
                    MainThread::post([this, listing] { applyArrived(listing); });
                else if (isPostNeeded)
                    MainThread::post([this, listing] { scheduleApply(listing); });
            }
        });

        FileItemList items;
        {
            std::lock_guard stateLocker(listing->stateMutex);
            items = FileItemList(listing->entries.cbegin(), listing->entries.cend());
        }
        finish(*listing, items);
        MainThread::post([this, listing] { finishReading(listing); });
        return items;
    }

    // The next piece of entries whose attributes to read: those asked for
    // first, else the next ones in name order. False when none is left.
    static bool takeChunk(Listing &listing, std::vector<size_t> &indexes, FileItemList &chunk, int &order)
    {
        indexes.clear();
        chunk.clear();
        if (listing.isAbandoned)
            return false;
        std::lock_guard stateLocker(listing.stateMutex);
        const size_t size = listing.chunkSize;
        for (size_t index : listing.wanted) {
            if (indexes.size() < size && !listing.isTaken[index]) {
                listing.isTaken[index] = true;
                indexes.push_back(index);
            }
        }
        listing.wanted.clear();
        while (indexes.size() < size && listing.nextInOrder < listing.entries.size()) {
            const size_t index = listing.nextInOrder++;
            if (!listing.isTaken[index]) {
                listing.isTaken[index] = true;
                indexes.push_back(index);
            }
        }
        listing.chunkSize = std::min(largestChunkSize, size * 2);
        order = listing.piecesTaken++;
        chunk.reserve(qsizetype(indexes.size()));
        for (size_t index : indexes)
            chunk.append(listing.entries[index]);
        return !indexes.empty();
    }

    // The names of a names-first listing are read: stored, and handed to those who wanted names.
    void publishNames(const std::shared_ptr<Listing> &listing, const FileItemList &named)
    {
        const QUrl folder = listing->folder;
        std::vector<Waiter> nameWaiters;
        ChangedNames followUp;
        QList<QUrl> evicted;
        {
            std::lock_guard locker(m_lock);
            // Not stored, it serves its waiters once every attribute is read.
            if (!listing->isCurrent || !listing->isWatched || m_pending.value(folder) != listing)
                return;
            m_pending.remove(folder);
            m_failures.remove(folder);
            store(folder, named, listing);
            evicted = evict(folder);
            nameWaiters.swap(listing->nameWaiters);
            followUp = listing->followUp;
        }
        MainThread::post([this, folder, named, nameWaiters = std::move(nameWaiters), followUp, evicted] {
            for (const QUrl &gone : evicted)
                pruneWatch(gone);
            serve(nameWaiters, named);
            if (!followUp.isEmpty())
                refresh(folder, followUp.list());
        });
    }

    // Main thread: the first attributes read (the rows on screen) are applied
    // at once, later ones together after a short while.
    void scheduleApply(const std::shared_ptr<Listing> &listing)
    {
        const qint64 sinceLast =
            listing->lastApply.isValid() ? listing->lastApply.elapsed() : applyIntervalMilliseconds;
        if (sinceLast >= applyIntervalMilliseconds) {
            applyArrived(listing);
            return;
        }
        QTimer::singleShot(int(applyIntervalMilliseconds - sinceLast), m_watchOwner,
                           [this, listing] { applyArrived(listing); });
    }

    // Main thread: the attributes read since the last time, into the stored
    // listing if it still is the one they were read for, and on to the views.
    void applyArrived(const std::shared_ptr<Listing> &listing)
    {
        std::vector<std::pair<size_t, FileItem>> arrived;
        {
            std::lock_guard stateLocker(listing->stateMutex);
            arrived.swap(listing->arrived);
            listing->isApplyPosted = false;
            listing->isFullApplyPosted = false;
        }
        listing->applied.notify_all();
        listing->lastApply.start();
        FolderListingUpdate update;
        {
            std::lock_guard locker(m_lock);
            const auto entry = m_entries.find(listing->folder);
            if (entry == m_entries.end() || entry->reader != listing)
                return;
            update.changed.reserve(qsizetype(arrived.size()));
            for (const auto &[readIndex, item] : arrived) {
                // Where the names put it, unless a refresh moved it since.
                const bool isInPlace = qsizetype(readIndex) < entry->items.size()
                    && entry->items.at(qsizetype(readIndex)).path() == item.path();
                const qsizetype index = isInPlace
                    ? qsizetype(readIndex)
                    : FileSorting::indexInNameOrder(std::span(entry->items.constData(), size_t(entry->items.size())), item);
                // Gone, or read again meanwhile by a refresh, which is newer.
                if (index < 0 || hasStatus(entry->items.at(index)))
                    continue;
                entry->items[index] = item;
                --entry->unread;
                update.changed.append(item);
            }
            if (update.changed.isEmpty())
                return;
            update.items = entry->items;
            update.hasAllAttributes = entry->unread == 0;
        }
        update.folder = listing->folder;
        Q_EMIT FolderListingNotifier::instance()->listingUpdated(update);
    }

    // Main thread: every attribute of a names-first listing is read.
    void finishReading(const std::shared_ptr<Listing> &listing)
    {
        // What waits for its turn goes in before the reading is done.
        applyArrived(listing);
        const QUrl folder = listing->folder;
        std::vector<Waiter> waiters;
        FileItemList items = listing->items;
        bool isStored = false;
        {
            std::lock_guard locker(m_lock);
            if (m_pending.value(folder) == listing)
                m_pending.remove(folder);
            const auto entry = m_entries.find(folder);
            if (entry != m_entries.end() && entry->reader == listing) {
                entry->reader.reset();
                items = entry->items;
                isStored = true;
            }
            waiters.swap(listing->waiters);
            waiters.insert(waiters.end(), std::make_move_iterator(listing->nameWaiters.begin()),
                           std::make_move_iterator(listing->nameWaiters.end()));
            listing->nameWaiters.clear();
        }
        if (!isStored)
            pruneWatch(folder);
        serve(waiters, items);
    }

    void serve(const std::vector<Waiter> &waiters, const FileItemList &items)
    {
        bool isAnnounced = false;
        for (const Waiter &waiter : waiters) {
            if (!waiter.context.isAlive())
                continue;
            if (!isAnnounced)
                announce(items);
            isAnnounced = true;
            waiter.completion(items);
        }
    }

    void publish(const std::shared_ptr<Listing> &listing, const FileItemList &items, int errorNumber)
    {
        const QUrl folder = listing->folder;
        std::vector<Waiter> waiters;
        ChangedNames followUp;
        QList<QUrl> evicted;
        bool isStored = false;
        std::optional<ListingFailure> failed;
        {
            std::lock_guard locker(m_lock);
            if (m_pending.value(folder) == listing)
                m_pending.remove(folder);
            if (listing->isCurrent && errorNumber != 0) {
                failed = failureForErrno(errorNumber);
                recordFailure(folder, *failed);
            } else if (listing->isCurrent) {
                m_failures.remove(folder);
                if (listing->isWatched) {
                    store(folder, items);
                    evicted = evict(folder);
                    isStored = true;
                    followUp = listing->followUp;
                }
            }
            waiters.swap(listing->waiters);
            waiters.insert(waiters.end(), std::make_move_iterator(listing->nameWaiters.begin()),
                           std::make_move_iterator(listing->nameWaiters.end()));
            listing->nameWaiters.clear();
        }
        MainThread::post([this, folder, items, waiters = std::move(waiters), followUp, evicted, isStored, failed] {
            for (const QUrl &gone : evicted)
                pruneWatch(gone);
            if (!isStored)
                pruneWatch(folder);
            if (failed)
                watchAgain(folder);
            if (failed)
                Q_EMIT FolderListingNotifier::instance()->listingFailed(folder, *failed);
            serve(waiters, items);
            if (!followUp.isEmpty())
                refresh(folder, followUp.list());
        });
    }

    void finishRefresh(const QUrl &folder, const FileItemList &base, quint64 generation, bool hadEntry, bool isWhole,
                       const RefreshResult &result)
    {
        const ChangedNames followUp = m_refreshes.take(folder);
        QList<QUrl> evicted;
        bool isCurrent = false;
        bool hasAllAttributes = true;
        FileItemList items = result.items;
        const bool hasFailed = result.errorNumber != 0;
        {
            std::lock_guard locker(m_lock);
            const auto entry = m_entries.constFind(folder);
            // A listing stored or dropped meanwhile is newer than what this one started from.
            isCurrent = hadEntry ? entry != m_entries.cend() && entry->generation == generation
                                 : entry == m_entries.cend() && !m_pending.contains(folder);
            if (isCurrent && hasFailed) {
                forget(folder);
                recordFailure(folder, failureForErrno(result.errorNumber));
            } else if (isCurrent && !(hadEntry && result.isUnchanged())) {
                // Attributes read meanwhile by a names-first listing stay.
                if (hadEntry && !isWhole && entry->items.constData() != base.constData())
                    items = withDifference(entry->items, result);
                m_failures.remove(folder);
                hasAllAttributes = store(folder, items).unread == 0;
                evicted = evict(folder);
            }
        }
        for (const QUrl &gone : std::as_const(evicted))
            pruneWatch(gone);

        if (isCurrent && hasFailed) {
            watchAgain(folder);
            Q_EMIT FolderListingNotifier::instance()->listingFailed(folder, failureForErrno(result.errorNumber));
        } else if (!hasFailed && !hadEntry) {
            FolderListingUpdate update;
            update.folder = folder;
            update.items = items;
            update.isWholeListing = true;
            announce(items);
            Q_EMIT FolderListingNotifier::instance()->listingUpdated(update);
        } else if (isCurrent && !result.isUnchanged()) {
            FolderListingUpdate update;
            update.folder = folder;
            update.items = items;
            update.inserted = result.inserted;
            update.removed = result.removed;
            update.changed = result.changed;
            update.hasAllAttributes = hasAllAttributes;
            update.previousItems = base;
            if (!result.inserted.isEmpty() || !result.changed.isEmpty())
                announce(result.inserted + result.changed);
            Q_EMIT FolderListingNotifier::instance()->listingUpdated(update);
        }
        if (!followUp.isEmpty())
            refresh(folder, followUp.list());
        pruneWatch(folder);
    }

    // Main thread. A folder is watched from before its first reading until it
    // is neither shown, stored nor being listed.
    void ensureWatch(const QUrl &folder)
    {
        if (!folder.isLocalFile())
            return;
        DirectoryWatcher *&watcher = m_watchers[folder];
        if (!watcher) {
            watcher = new DirectoryWatcher(watchDebounceSeconds, m_watchOwner);
            watcher->onChangedNames = [this, folder](const QStringList &names) { folderChanged(folder, names); };
            std::lock_guard locker(m_lock);
            m_watched.insert(folder);
        }
        // Again after the folder itself went away and came back.
        if (!watcher->isWatching())
            watcher->startWatching(folder);
    }

    // A watch follows the folder it was made on, not its name: once the name
    // no longer leads to a readable folder, it watches whatever the name leads
    // to now, or nothing.
    void watchAgain(const QUrl &folder)
    {
        if (DirectoryWatcher *watcher = m_watchers.value(folder))
            watcher->startWatching(folder);
    }

    void pruneWatch(const QUrl &folder)
    {
        {
            std::lock_guard locker(m_lock);
            if (m_retained.contains(folder) || m_entries.contains(folder) || m_pending.contains(folder)
                || m_refreshes.contains(folder))
                return;
            m_watched.remove(folder);
        }
        if (DirectoryWatcher *watcher = m_watchers.take(folder)) {
            // Possibly from inside its own notification.
            watcher->onChangedNames = {};
            watcher->stop();
            watcher->deleteLater();
        }
    }

    void folderChanged(const QUrl &folder, const QStringList &names)
    {
        bool isRetained = false;
        {
            std::lock_guard locker(m_lock);
            isRetained = m_retained.contains(folder);
        }
        // A listing nobody shows is not worth reading again: it is forgotten.
        if (isRetained)
            refresh(folder, names);
        else
            invalidate(folder);
    }

    FileItemList announce(const FileItemList &items)
    {
        if (const ListingHook listingHook = hook())
            listingHook(items);
        return items;
    }

    std::mutex m_lock;
    QHash<QUrl, Entry> m_entries;
    qsizetype m_totalItems = 0;
    qsizetype m_itemBudget = defaultItemBudget;
    quint64 m_clock = 0;
    QHash<QUrl, std::shared_ptr<Listing>> m_pending;
    QHash<QUrl, ListingFailure> m_failures;
    QHash<QUrl, int> m_retained;
    QSet<QUrl> m_watched;

    // Main thread only.
    QObject *m_watchOwner;
    QHash<QUrl, DirectoryWatcher *> m_watchers;
    QHash<QUrl, ChangedNames> m_refreshes; // refreshes running, with the changes seen meanwhile

    std::mutex m_hookLock;
    ListingHook m_hook;
};

} // namespace

FileItemList contents(const QUrl &folder)
{
    return Cache::instance().contents(folder);
}

void contents(const QUrl &folder, QObject *context, Completion completion, ListingDetail detail)
{
    Cache::instance().contents(folder, context, std::move(completion), detail);
}

void readFirst(const QUrl &folder, const FileItemList &items)
{
    Cache::instance().readFirst(folder, items);
}

std::optional<FileItemList> cachedContents(const QUrl &folder)
{
    return Cache::instance().cachedContents(folder);
}

void invalidate(const QUrl &folder)
{
    Cache::instance().invalidate(folder);
}

void invalidateAll()
{
    Cache::instance().invalidateAll();
}

std::optional<ListingFailure> failure(const QUrl &folder)
{
    return Cache::instance().failure(folder);
}

ListingFailure failureForErrno(int errorNumber)
{
    switch (errorNumber) {
    case EACCES:
    case EPERM:
        return ListingFailure::permissionDenied;
    case ENOENT:
        return ListingFailure::missing;
    case ENOTDIR:
        return ListingFailure::notAFolder;
    default:
        return ListingFailure::other;
    }
}

void retain(const QUrl &folder)
{
    Cache::instance().retain(folder);
}

void release(const QUrl &folder)
{
    Cache::instance().release(folder);
}

void refresh(const QUrl &folder, const QStringList &changedNames)
{
    Cache::instance().refresh(folder, changedNames);
}

void setOnNewListing(ListingHook hook)
{
    Cache::instance().setHook(std::move(hook));
}

ListingHook onNewListing()
{
    return Cache::instance().hook();
}

namespace testing {

void setItemBudget(qsizetype items)
{
    Cache::instance().setItemBudget(items);
}

void setOnPieceRead(std::function<void(int order, const FileItemList &piece)> onPieceRead)
{
    PieceWatch &watch = pieceWatch();
    std::lock_guard locker(watch.lock);
    watch.onPieceRead = std::move(onPieceRead);
    isPieceWatched = watch.onPieceRead || watch.isHeld;
}

void holdReadPieces(bool hold)
{
    PieceWatch &watch = pieceWatch();
    {
        std::lock_guard locker(watch.lock);
        watch.isHeld = hold;
        isPieceWatched = watch.onPieceRead || watch.isHeld;
    }
    watch.released.notify_all();
}

} // namespace testing

} // namespace DirectoryListingCache
