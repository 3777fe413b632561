#include "DirectoryListingCache.h"

#include "FileListing.h"
#include "MainThread.h"

#include <QHash>
#include <QThreadPool>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace DirectoryListingCache {

namespace {

struct Waiter
{
    ContextGuard context;
    Completion completion;
};

// One enumeration of one folder, shared by every request that arrives while it
// runs. Whichever thread gets to it first runs it: a pool thread, or a
// synchronous caller that would otherwise wait for the pool.
struct Listing
{
    enum State { queued, running, done };

    explicit Listing(const QUrl &folder) : folder(folder) {}

    const QUrl folder;
    std::mutex stateMutex;
    std::condition_variable finished;
    State state = queued;
    FileItemList items;

    // Guarded by the cache's lock.
    bool mayBeStored = true;
    std::vector<Waiter> waiters;
};

class Cache
{
public:
    static Cache &instance()
    {
        static Cache cache;
        return cache;
    }

    FileItemList contents(const QUrl &folder)
    {
        std::shared_ptr<Listing> listing;
        {
            std::lock_guard locker(m_lock);
            const auto it = m_entries.constFind(folder);
            if (it != m_entries.constEnd())
                return announce(*it);
            listing = pendingListing(folder);
        }
        const FileItemList items = runOrWait(listing);
        return announce(items);
    }

    void contents(const QUrl &folder, QObject *context, Completion completion)
    {
        std::unique_lock locker(m_lock);
        const auto it = m_entries.constFind(folder);
        if (it != m_entries.constEnd()) {
            const FileItemList items = *it;
            // Outside the lock: the hook and the completion may ask the cache again.
            locker.unlock();
            announce(items);
            completion(items);
            return;
        }
        const bool isNew = !m_pending.contains(folder);
        const std::shared_ptr<Listing> listing = pendingListing(folder);
        listing->waiters.push_back({ContextGuard(context), std::move(completion)});
        locker.unlock();
        if (isNew)
            QThreadPool::globalInstance()->start([this, listing] { runOrWait(listing); });
    }

    void invalidate(const QUrl &folder)
    {
        std::lock_guard locker(m_lock);
        m_entries.remove(folder);
        if (const auto listing = m_pending.take(folder))
            listing->mayBeStored = false;
    }

    void invalidateAll()
    {
        std::lock_guard locker(m_lock);
        m_entries.clear();
        for (const auto &listing : std::as_const(m_pending))
            listing->mayBeStored = false;
        m_pending.clear();
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
    std::shared_ptr<Listing> pendingListing(const QUrl &folder)
    {
        std::shared_ptr<Listing> &listing = m_pending[folder];
        if (!listing)
            listing = std::make_shared<Listing>(folder);
        return listing;
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
        const FileItemList items = FileListing::contents(listing->folder);
        {
            std::lock_guard stateLocker(listing->stateMutex);
            listing->items = items;
            listing->state = Listing::done;
        }
        listing->finished.notify_all();
        publish(listing, items);
        return items;
    }

    void publish(const std::shared_ptr<Listing> &listing, const FileItemList &items)
    {
        std::vector<Waiter> waiters;
        {
            std::lock_guard locker(m_lock);
            if (listing->mayBeStored) {
                m_entries.insert(listing->folder, items);
                m_pending.remove(listing->folder);
            }
            waiters.swap(listing->waiters);
        }
        if (waiters.empty())
            return;
        MainThread::post([this, items, waiters = std::move(waiters)] {
            for (const Waiter &waiter : waiters) {
                if (!waiter.context.isAlive())
                    continue;
                announce(items);
                waiter.completion(items);
            }
        });
    }

    const FileItemList &announce(const FileItemList &items)
    {
        if (const ListingHook listingHook = hook())
            listingHook(items);
        return items;
    }

    std::mutex m_lock;
    QHash<QUrl, FileItemList> m_entries;
    QHash<QUrl, std::shared_ptr<Listing>> m_pending;

    std::mutex m_hookLock;
    ListingHook m_hook;
};

} // namespace

FileItemList contents(const QUrl &folder)
{
    return Cache::instance().contents(folder);
}

void contents(const QUrl &folder, QObject *context, Completion completion)
{
    Cache::instance().contents(folder, context, std::move(completion));
}

void invalidate(const QUrl &folder)
{
    Cache::instance().invalidate(folder);
}

void invalidateAll()
{
    Cache::instance().invalidateAll();
}

std::optional<ListingFailure> failure(const QUrl &)
{
    return std::nullopt;
}

void retain(const QUrl &) {}

void release(const QUrl &) {}

void refresh(const QUrl &folder, const QStringList &)
{
    invalidate(folder);
    contents(folder, FolderListingNotifier::instance(), [folder](const FileItemList &items) {
        FolderListingUpdate update;
        update.folder = folder;
        update.items = items;
        update.isWholeListing = true;
        Q_EMIT FolderListingNotifier::instance()->listingUpdated(update);
    });
}

void setOnNewListing(ListingHook hook)
{
    Cache::instance().setHook(std::move(hook));
}

ListingHook onNewListing()
{
    return Cache::instance().hook();
}

} // namespace DirectoryListingCache
