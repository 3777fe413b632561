#pragma once

#include "FileItem.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <memory>

class InotifyWatch;

// A live search by file name below one folder. The text is looked for
// literally in each name, case and diacritics ignored ("résumé" finds
// "Resume.txt"). The walk runs on WorkQueues::search(): it never follows a
// symbolic link, reads each folder (by device and inode) once, passes over
// hidden names as the views do and stays on the file system of the searched
// folder. Results come in batches while the walk runs; afterwards the walked
// folders are watched, so that entries made or removed below the scope come
// and go. Each start() ends the walk before it: a batch of an older search is
// never delivered. Main thread only.
class MetadataQuery : public QObject
{
    Q_OBJECT
public:
    explicit MetadataQuery(QObject *parent = nullptr);
    ~MetadataQuery() override;

    // Ends any running search and starts one for `text` below `scope`.
    void start(const QUrl &scope, const QString &text);
    // Ends the search: no more batches nor updates; results() stays as it was.
    void stop();

    bool isStarted() const { return m_walk != nullptr; }
    bool isGathering() const { return m_isGathering; }
    QUrl searchScope() const { return m_scope; }
    QString searchText() const { return m_text; }
    // Every item found so far, in the order found, each with its attributes
    // read once by the walk.
    const FileItemList &results() const { return m_results; }

    // Whether every folder walked so far is watched (or could not be).
    bool isWatchingAll() const { return m_foldersToWatch.isEmpty(); }
    // True when some walked folders could not be watched (the user's inotify
    // limit, or a network share, which inotify does not see): changes there
    // show only when the search runs again.
    bool isLiveUpdateLimited() const { return m_isLiveUpdateLimited; }

    // The most folders all searches of the process watch at once.
    static int watchLimit();
    static void setWatchLimit(int folders);

    // The state a walk shares with its threads, and what it hands back; only
    // the implementation knows them.
    struct Walk;
    struct Batch;
    // A folder the walk read, and when it had last changed by then; -1 when it
    // had changed so recently that a change in the same clock tick would not show.
    struct WalkedFolder
    {
        QByteArray path;
        qint64 modificationTimeNs = -1;
    };

Q_SIGNALS:
    void resultsAdded(const FileItemList &items);
    void resultsRemoved(const QList<QUrl> &urls);
    // Once per start(), when the walk has read every folder.
    void didFinishGathering();
    // After gathering, once per live change of the results.
    void didUpdate();
    void liveUpdateLimitReached();

private:
    void deliver(const std::shared_ptr<Walk> &walk, Batch batch);
    void scheduleWatching();
    void watchFolders(const QList<WalkedFolder> &folders);
    void folderChanged(const QByteArray &folder, const QStringList &names);
    void removeAtOrBelow(const QString &path, QList<QUrl> &removed);
    void dropWatches();

    std::shared_ptr<Walk> m_walk;
    QUrl m_scope;
    QString m_text;
    FileItemList m_results;
    QSet<QString> m_resultPaths;
    QHash<QByteArray, InotifyWatch *> m_watches;
    QList<WalkedFolder> m_foldersToWatch;
    bool m_isWatchingScheduled = false;
    bool m_isGathering = false;
    bool m_isLiveUpdateLimited = false;
};
