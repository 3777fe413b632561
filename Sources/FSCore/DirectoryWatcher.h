#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <functional>

class InotifyWatch;

// Watches one folder at a time for entries created, deleted, renamed, given
// new attributes or written (and the folder itself deleted or moved) and, once
// changes have stopped arriving for the debounce interval, calls onChange once.
// Under constant change a notification still comes at least once per maximum
// wait. Main thread only.
class DirectoryWatcher : public QObject
{
    Q_OBJECT
public:
    static constexpr double defaultMaximumWaitSeconds = 1.0;

    explicit DirectoryWatcher(double debounceIntervalSeconds, QObject *parent = nullptr);
    ~DirectoryWatcher() override;

    // Stops any current watch, then watches `folder`. A folder that cannot be
    // watched (missing, no permission) leaves the watcher idle, silently.
    void startWatching(const QUrl &folder);
    // Drops the pending notification and the watch.
    void stop();

    std::function<void()> onChange;
    // Called just before onChange with the names of the entries that changed
    // since the last notification; empty when anything may have changed.
    std::function<void(const QStringList &changedNames)> onChangedNames;

    // The names of the notification being delivered (valid inside the callbacks).
    const QStringList &changedNames() const { return m_deliveredNames; }

    bool isWatching() const;
    // The descriptor of the current watch, -1 when idle.
    int fileDescriptor() const;
    double debounceInterval() const { return m_debounceIntervalSeconds; }
    void setMaximumWait(double seconds);

private:
    void collect(const QStringList &names);
    void deliver();

    double m_debounceIntervalSeconds;
    QPointer<InotifyWatch> m_source;
    QTimer m_pendingChange;
    QTimer m_maximumWait;
    QSet<QString> m_pendingNames;
    bool m_isEverythingPending = false;
    QStringList m_deliveredNames;
};
