#pragma once

#include <QList>
#include <QObject>

#include <functional>

class FileJob;
struct FileJobResult;

// The file jobs of the application, running or waiting, oldest first. It owns
// each job from add() until the job has finished and its finished() signal has
// reached every receiver; then the job is deleted later.
class FileJobQueue : public QObject
{
    Q_OBJECT

public:
    explicit FileJobQueue(QObject *parent = nullptr);
    ~FileJobQueue() override;

    // The queue the windows share, made on first use on the main thread. When
    // the application quits, its jobs are stopped and waited for.
    static FileJobQueue *shared();

    // Takes the job over and starts it. Connect to its finished() before.
    void add(FileJob *job);
    // add(), with `finished` run on the main thread when the job ends, unless
    // `context` is gone by then.
    void add(FileJob *job, const QObject *context, std::function<void(const FileJobResult &result)> finished);
    const QList<FileJob *> &jobs() const { return m_jobs; }
    // Stops every job; their completions still arrive.
    void cancelAll();

Q_SIGNALS:
    void jobAdded(FileJob *job);
    // After the job's own finished() signal; the job is deleted afterwards.
    void jobFinished(FileJob *job);

private:
    QList<FileJob *> m_jobs;
};
