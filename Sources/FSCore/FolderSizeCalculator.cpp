#include "FolderSizeCalculator.h"

#include "MainThread.h"
#include "ParallelWork.h"
#include "WorkQueues.h"

#include "FSPlatform/DirectoryStream.h"
#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/PathCodec.h"

#include <QThreadPool>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>

namespace {

// Walks handed to the pool that have not started yet. A helper thread of a
// running walk leaves as soon as one waits, so that a walk never waits behind
// another walk's helper: at most two walks run at once, each on one thread
// unless nothing else waits.
std::atomic<int> walksWaiting{0};

// Folders waiting to be read, shared by the walking threads. A folder's files
// are summed by whichever thread takes it; its subfolders go back to the queue.
class TreeWalk
{
public:
    TreeWalk(const QByteArray &root, const std::atomic<bool> &cancelled)
        : m_cancelled(cancelled)
    {
        m_pending.push_back(root);
    }

    void work(bool isHelper)
    {
        using namespace std::chrono_literals;
        std::unique_lock locker(m_lock);
        const auto hasWork = [&] { return !m_pending.empty() || m_busyWorkers == 0 || isCancelled(); };
        for (;;) {
            // A helper looks up now and then: the walk that queued meanwhile
            // cannot wake it.
            if (isHelper)
                m_wake.wait_for(locker, 10ms, hasWork);
            else
                m_wake.wait(locker, hasWork);
            if (isHelper && walksWaiting.load(std::memory_order_relaxed) > 0)
                break;
            if (isCancelled() || m_pending.empty()) {
                if (isHelper && !isCancelled() && m_busyWorkers > 0)
                    continue;
                break;
            }
            QByteArray folder = std::move(m_pending.back());
            m_pending.pop_back();
            ++m_busyWorkers;
            locker.unlock();
            std::vector<QByteArray> subfolders;
            walkFolder(folder, subfolders);
            locker.lock();
            --m_busyWorkers;
            for (QByteArray &subfolder : subfolders)
                m_pending.push_back(std::move(subfolder));
            m_wake.notify_all();
        }
        m_wake.notify_all();
    }

    bool isCancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    qint64 total() const { return m_total.load(); }

private:
    void walkFolder(const QByteArray &folder, std::vector<QByteArray> &subfolders)
    {
        // The first folder is what the user asked about and may be reached
        // through a link; below it links are never followed.
        const bool isRoot = m_isFirstFolder.exchange(false);
        DirectoryStream stream(AT_FDCWD, folder.constData(), isRoot);
        if (!stream.isOpen())
            return;
        const EntryStatus self = EntryStatus::readOpen(stream.fd());
        if (!markVisited(self.device, self.inode))
            return;
        qint64 sum = 0;
        while (const dirent *entry = stream.next()) {
            if (isCancelled())
                break;
            const char *name = entry->d_name;
            if (name[0] == '.')
                continue;
            unsigned char type = entry->d_type;
            qint64 size = 0;
            if (type == DT_REG || type == DT_UNKNOWN) {
                const EntryStatus status = EntryStatus::readWithoutFollowing(stream.fd(), name);
                if (status.isRegularFile)
                    size = status.size;
                else if (status.isDirectory && !status.isSymbolicLink)
                    type = DT_DIR;
            }
            if (type == DT_DIR)
                subfolders.push_back(folder + '/' + name);
            sum += size;
        }
        m_total.fetch_add(sum, std::memory_order_relaxed);
    }

    bool markVisited(quint64 device, quint64 inode)
    {
        std::lock_guard locker(m_visitedLock);
        return m_visited.insert({device, inode}).second;
    }

    const std::atomic<bool> &m_cancelled;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<QByteArray> m_pending;
    int m_busyWorkers = 0;
    std::atomic<bool> m_isFirstFolder{true};
    std::atomic<qint64> m_total{0};
    std::mutex m_visitedLock;
    std::set<std::pair<quint64, quint64>> m_visited;
};

} // namespace

FolderSizeCalculator::FolderSizeCalculator()
    : m_isCancelled(std::make_shared<std::atomic<bool>>(false))
{
}

FolderSizeCalculator::~FolderSizeCalculator()
{
    // A walk nobody waits for any more only costs disk time.
    cancel();
}

void FolderSizeCalculator::cancel()
{
    m_isCancelled->store(true, std::memory_order_relaxed);
}

bool FolderSizeCalculator::isCancelled() const
{
    return m_isCancelled->load(std::memory_order_relaxed);
}

void FolderSizeCalculator::calculate(const QUrl &folder, Completion completion)
{
    calculate(folder, nullptr, std::move(completion));
}

void FolderSizeCalculator::calculate(const QUrl &folder, QObject *context, Completion completion)
{
    const std::shared_ptr<std::atomic<bool>> cancelled = m_isCancelled;
    const QByteArray path = PathCodec::encodePath(folder);
    const ContextGuard guard(context);
    walksWaiting.fetch_add(1, std::memory_order_relaxed);
    WorkQueues::folderSizes()->start([cancelled, path, guard, completion = std::move(completion)] {
        walksWaiting.fetch_sub(1, std::memory_order_relaxed);
        const std::optional<qint64> total = sumOfTree(path, *cancelled);
        if (!total || cancelled->load(std::memory_order_relaxed))
            return;
        MainThread::post([cancelled, guard, completion, bytes = *total] {
            // A cancel that came while the result was on its way still counts.
            if (cancelled->load(std::memory_order_relaxed) || !guard.isAlive())
                return;
            completion(bytes);
        });
    });
}

std::optional<qint64> FolderSizeCalculator::sumOfTree(const QByteArray &encodedPath, const std::atomic<bool> &cancelled)
{
    TreeWalk walk(encodedPath, cancelled);
    QThreadPool *pool = WorkQueues::folderSizes();
    const std::thread::id walker = std::this_thread::get_id();
    // A thread the queue has to spare helps; a busy queue only makes it slower.
    ParallelWork::run(pool, walksWaiting.load() > 0 ? 0 : pool->maxThreadCount() - 1,
                      [&] { walk.work(std::this_thread::get_id() != walker); });
    if (walk.isCancelled())
        return std::nullopt;
    return walk.total();
}
