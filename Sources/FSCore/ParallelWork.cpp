#include "ParallelWork.h"

#include <QThreadPool>

#include <condition_variable>
#include <mutex>

namespace ParallelWork {

void run(int helpers, const std::function<void()> &work)
{
    run(QThreadPool::globalInstance(), helpers, work);
}

void run(QThreadPool *pool, int helpers, const std::function<void()> &work)
{
    std::mutex lock;
    std::condition_variable finished;
    int running = 0;
    for (int i = 0; i < helpers; ++i) {
        {
            std::lock_guard locker(lock);
            ++running;
        }
        const bool started = pool->tryStart([&] {
            work();
            std::lock_guard locker(lock);
            --running;
            finished.notify_all();
        });
        if (!started) {
            std::lock_guard locker(lock);
            --running;
            break;
        }
    }
    work();
    // The helpers use this stack frame: wait for them, never the other way round.
    std::unique_lock locker(lock);
    finished.wait(locker, [&] { return running == 0; });
}

} // namespace ParallelWork
