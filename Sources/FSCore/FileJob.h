#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

// One item a job dealt with: where it came from and what it made there (the
// copy, the moved item, the duplicate, the archive).
struct FileJobSuccess
{
    QUrl source;
    QUrl result;
};

struct FileJobFailure
{
    QUrl source;
    QString message;
};

// What a job did, handed over once, on the main thread, when it ends. Items
// after a cancel are in neither list.
struct FileJobResult
{
    QList<FileJobSuccess> succeeded;
    QList<FileJobFailure> failures;
    bool wasCancelled = false;
};
Q_DECLARE_METATYPE(FileJobResult)

// The figures a progress display shows. The job finds out its totals while
// it works: the entry count shortly after it starts, the byte count once
// every file is sized, which in a tree of many small files may be only as the
// work ends. Until then a total is zero and not known, and the figures done
// count up on their own.
struct FileJobProgress
{
    qint64 itemsDone = 0;
    qint64 itemsTotal = 0;
    qint64 bytesDone = 0;
    qint64 bytesTotal = 0;
    bool isItemsTotalKnown = false;
    bool isBytesTotalKnown = false;

    bool operator==(const FileJobProgress &) const = default;
};

// File work that runs on WorkQueues::fileJobs() through FileOperations, item
// by item: a copy, move, duplicate or compression, a move to the Trash and
// back, a new folder, an emptying of the Trash. A failing item is recorded
// with its message and the others go on. Progress is sampled on the main
// thread ten times a second, so the worker never waits for whoever shows it.
// Destroying the job stops it; its result is then never delivered.
class FileJob : public QObject
{
    Q_OBJECT

public:
    enum class Kind {
        copy,
        move,
        duplicate,
        compress,
        emptyTrash,
        // A new folder inside destinationFolder; no items.
        newFolder,
        moveToTrash,
        // Items that moveToTrash put in the Trash, back where they came from.
        restoreFromTrash,
        // One item, to newName().
        rename,
    };

    // Decides on the worker, item by item, whether a copy or move job copies
    // or moves the item, or leaves it alone (nullopt): a drop asks the items'
    // volumes, which may be slow to answer.
    using ItemKind = std::function<std::optional<Kind>(const QUrl &item, const QUrl &destinationFolder)>;

    FileJob(Kind kind, const QList<QUrl> &items, const QUrl &destinationFolder = {}, QObject *parent = nullptr);
    ~FileJob() override;

    static FileJob *copy(const QList<QUrl> &items, const QUrl &destinationFolder, QObject *parent = nullptr);
    static FileJob *move(const QList<QUrl> &items, const QUrl &destinationFolder, QObject *parent = nullptr);
    // Each item into the folder at the same index of `destinationFolders`.
    static FileJob *move(const QList<QUrl> &items, const QList<QUrl> &destinationFolders, QObject *parent = nullptr);
    static FileJob *duplicate(const QList<QUrl> &items, QObject *parent = nullptr);
    static FileJob *compress(const QList<QUrl> &items, QObject *parent = nullptr);
    static FileJob *emptyTrash(QObject *parent = nullptr);
    static FileJob *newFolder(const QUrl &folder, QObject *parent = nullptr);
    static FileJob *moveToTrash(const QList<QUrl> &items, QObject *parent = nullptr);
    static FileJob *restoreFromTrash(const QList<QUrl> &trashedItems, QObject *parent = nullptr);
    // `newName` is the file's name, as FileOperations::rename takes it.
    static FileJob *rename(const QUrl &item, const QString &newName, QObject *parent = nullptr);

    // For a copy or move job, before start().
    void setItemKind(ItemKind decide);

    Kind kind() const { return m_kind; }
    const QList<QUrl> &items() const { return m_items; }
    QUrl destinationFolder() const { return m_destinationFolders.value(0); }
    QString newName() const { return m_newName; }
    // What the job does, in a sentence for its progress display.
    QString description() const;

    // Queues the job; it runs when a thread of the queue is free. Once only.
    void start();
    // Asks the job to stop. The item under way is undone; those finished stay.
    void cancel();

    bool isStarted() const { return m_started; }
    bool isFinished() const { return m_finished; }
    bool isCancelRequested() const;
    FileJobProgress progress() const;
    // Milliseconds since the job began to run (0 while it waits in the queue).
    qint64 elapsedMilliseconds() const;
    // Valid once finished() was emitted.
    const FileJobResult &result() const { return m_result; }

    // What the worker shares with the job; defined with the job's code.
    struct State;

Q_SIGNALS:
    // At most ten times a second, and only when a figure changed.
    void progressChanged();
    void finished(const FileJobResult &result);

private:
    void sampleProgress();
    void deliver(FileJobResult result);

    Kind m_kind;
    QList<QUrl> m_items;
    // One per item, or a single one for all of them.
    QList<QUrl> m_destinationFolders;
    ItemKind m_itemKind;
    QString m_newName;
    std::shared_ptr<State> m_state;
    QTimer m_sampler;
    FileJobProgress m_lastSample;
    // Whether the job had begun to run at the last sample: a job that leaves
    // the queue is news even before its figures move.
    bool m_wasRunningAtLastSample = false;
    FileJobResult m_result;
    bool m_started = false;
    bool m_finished = false;
};
