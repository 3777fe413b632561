#include "WorkQueues.h"

#include <QDeadlineTimer>
#include <QThreadPool>

#include <algorithm>

namespace WorkQueues {

namespace {

QThreadPool *makePool(const char *name, int maxThreads)
{
    // Never destroyed: work still queued at exit must not be waited for by a
    // static destructor.
    auto *pool = new QThreadPool;
    pool->setObjectName(QString::fromLatin1(name));
    pool->setMaxThreadCount(maxThreads);
    pool->setExpiryTimeout(30'000);
    return pool;
}

} // namespace

QThreadPool *listings()
{
    static QThreadPool *pool = makePool("listings", 16);
    return pool;
}

QThreadPool *icons()
{
    static QThreadPool *pool = makePool("icons", 2);
    return pool;
}

QThreadPool *thumbnails()
{
    static QThreadPool *pool = makePool("thumbnails", 2);
    return pool;
}

QThreadPool *folderSizes()
{
    static QThreadPool *pool = makePool("folderSizes", 2);
    return pool;
}

QThreadPool *search()
{
    static QThreadPool *pool = makePool("search", 2);
    return pool;
}

QThreadPool *fileJobs()
{
    static QThreadPool *pool = makePool("fileJobs", 2);
    return pool;
}

QThreadPool *mounts()
{
    static QThreadPool *pool = makePool("mounts", 4);
    return pool;
}

bool finishAll(int msecs)
{
    const QList<QThreadPool *> pools{listings(), icons(),      thumbnails(),
                                     folderSizes(), search(), fileJobs(), mounts(), QThreadPool::globalInstance()};
    for (QThreadPool *pool : pools)
        pool->clear();
    const QDeadlineTimer deadline(msecs);
    bool isIdle = true;
    for (QThreadPool *pool : pools)
        isIdle = pool->waitForDone(int(std::max<qint64>(0, deadline.remainingTime()))) && isIdle;
    return isIdle;
}

} // namespace WorkQueues
