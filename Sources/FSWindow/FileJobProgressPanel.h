#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class FileJob;
class FileJobQueue;
class QVBoxLayout;

// One window for every file job that runs longer than half a second: what it
// does, items and bytes done of the total, speed, time left, and "Stop". A job
// that ends sooner never shows; the window hides when its last job ends. It
// only reads the figures the jobs sample, so it never slows them down.
class FileJobProgressPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int showDelayMilliseconds = 500;

    explicit FileJobProgressPanel(FileJobQueue *queue, QWidget *parent = nullptr);
    ~FileJobProgressPanel() override;

    // Makes the panel of the shared queue once; it lives until the application quits.
    static FileJobProgressPanel *forSharedQueue();

    // The jobs shown, oldest first.
    QList<FileJob *> shownJobs() const;

private:
    class JobRow;

    void jobAdded(FileJob *job);
    void showRow(FileJob *job);
    void removeRow(FileJob *job);
    void applyAppearance();

    QPointer<FileJobQueue> m_queue;
    QVBoxLayout *m_rows = nullptr;
    QList<JobRow *> m_jobRows;
};
