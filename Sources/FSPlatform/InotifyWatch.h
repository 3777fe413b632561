#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>

// Watches one folder for entries created, deleted, renamed, given new
// attributes or closed after writing, and for the folder itself being deleted
// or moved. All watches of the process share one inotify descriptor (the
// per-user limit on inotify instances is small): watches of the same folder
// share its kernel watch, which is removed when the last of them goes, and the
// descriptor is closed when no watch is left. Folders on network shares are
// not watched. Main thread only.
class InotifyWatch : public QObject
{
    Q_OBJECT
public:
    // `path` is encoded (PathCodec). isWatching() tells whether it worked.
    explicit InotifyWatch(const QByteArray &path, QObject *parent = nullptr);
    // For a folder the caller already knows to lie on a local file system:
    // skips reading the mount table, which costs more than the watch itself
    // when a search watches thousands of folders.
    enum class Location { local };
    InotifyWatch(const QByteArray &path, Location knownLocation, QObject *parent = nullptr);
    ~InotifyWatch() override;

    // False also once the folder itself is gone and the kernel dropped the watch.
    bool isWatching() const { return m_watchDescriptor >= 0; }
    // The process's shared inotify descriptor, -1 when not watching.
    int fileDescriptor() const;

Q_SIGNALS:
    // Once per batch of events read, with the names (decoded, PathCodec) of
    // the entries concerned, each once. An empty list means that anything may
    // have changed: the kernel's event queue overflowed, or the folder itself
    // was deleted, moved or given new attributes.
    void changed(const QStringList &names);

private:
    friend class InotifyInstance;
    int m_watchDescriptor = -1;
};
