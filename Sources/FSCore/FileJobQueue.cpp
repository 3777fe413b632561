#include "FileJobQueue.h"

#include "FileJob.h"
#include "WorkQueues.h"

#include <QThreadPool>

#include <QCoreApplication>

FileJobQueue::FileJobQueue(QObject *parent) : QObject(parent) {}

FileJobQueue::~FileJobQueue()
{
    // The jobs are children: destroying them stops their work.
    cancelAll();
}

FileJobQueue *FileJobQueue::shared()
{
    static FileJobQueue *queue = [] {
        auto *made = new FileJobQueue(QCoreApplication::instance());
        // The pool's threads are not waited for at exit: a copy cut off there
        // would leave its temporary name behind. Stopped, it removes it, and
        // stopping takes a fraction of a second.
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, made, [made] {
            made->cancelAll();
            WorkQueues::fileJobs()->waitForDone();
        });
        return made;
    }();
    return queue;
}

void FileJobQueue::add(FileJob *job)
{
    job->setParent(this);
    m_jobs.append(job);
    // Connected after the caller's own connections, so theirs see the result first.
    connect(job, &FileJob::finished, this, [this, job] {
        m_jobs.removeOne(job);
        Q_EMIT jobFinished(job);
        job->deleteLater();
    });
    Q_EMIT jobAdded(job);
    job->start();
}

void FileJobQueue::add(FileJob *job, const QObject *context, std::function<void(const FileJobResult &result)> finished)
{
    connect(job, &FileJob::finished, context, std::move(finished));
    add(job);
}

void FileJobQueue::cancelAll()
{
    for (FileJob *job : std::as_const(m_jobs))
        job->cancel();
}
