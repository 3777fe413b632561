#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>

class InotifyWatch;

// Watches one folder at a time for entries created, deleted or renamed in it
// (and the folder itself deleted or moved) and, once changes have stopped
// arriving for the debounce interval, calls onChange once. Main thread only.
class DirectoryWatcher : public QObject
{
    Q_OBJECT
public:
    explicit DirectoryWatcher(double debounceIntervalSeconds, QObject *parent = nullptr);
    ~DirectoryWatcher() override;

    // Stops any current watch, then watches `folder`. A folder that cannot be
    // watched (missing, no permission) leaves the watcher idle, silently.
    void startWatching(const QUrl &folder);
    // Drops the pending notification and the watch.
    void stop();

    std::function<void()> onChange;

    bool isWatching() const;
    // The descriptor of the current watch, -1 when idle.
    int fileDescriptor() const;
    double debounceInterval() const { return m_debounceIntervalSeconds; }

private:
    void scheduleDebouncedChange();

    double m_debounceIntervalSeconds;
    QPointer<InotifyWatch> m_source;
    QTimer m_pendingChange;
};
