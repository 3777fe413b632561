#include "FileJobQueue.h"

#include "FileJob.h"

#include <QCoreApplication>

FileJobQueue::FileJobQueue(QObject *parent) : QObject(parent) {}

FileJobQueue::~FileJobQueue()
{
    // The jobs are children: destroying them stops their work.
    cancelAll();
}

FileJobQueue *FileJobQueue::shared()
{
    static FileJobQueue *queue = new FileJobQueue(QCoreApplication::instance());
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

void FileJobQueue::cancelAll()
{
    for (FileJob *job : std::as_const(m_jobs))
        job->cancel();
}
