#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

// Watches one folder for entries created, deleted or renamed in it, and for the
// folder itself being deleted or moved. Changes to the contents or attributes of
// the entries are not reported. Each watch has its own inotify descriptor, so
// destroying it closes exactly that descriptor.
class InotifyWatch : public QObject
{
    Q_OBJECT
public:
    // `path` is encoded (PathCodec). isWatching() tells whether it worked.
    explicit InotifyWatch(const QByteArray &path, QObject *parent = nullptr);
    ~InotifyWatch() override;

    bool isWatching() const { return m_fd >= 0; }
    int fileDescriptor() const { return m_fd; }

Q_SIGNALS:
    // Once per batch of events read; a lost event queue counts as a change.
    void changed();

private:
    void readEvents();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};
