#include "FileJob.h"

#include "FileOperations.h"
#include "MainThread.h"
#include "WorkQueues.h"

#include "FSPlatform/OperationError.h"
#include "FSPlatform/OperationProgress.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/Trash.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <thread>
#include <sys/stat.h>

struct FileJob::State
{
    OperationProgress progress;
    std::atomic<qint64> itemsTotal = 0;
    std::atomic<qint64> bytesTotal = 0;
    std::atomic<bool> totalsKnown = false;
    // Steady-clock milliseconds when the work began; 0 while queued.
    std::atomic<qint64> startedAt = 0;
};

namespace {

constexpr int sampleIntervalMilliseconds = 100;

qint64 steadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() + 1;
}

QString shownName(const QUrl &url)
{
    const QString path = url.toLocalFile();
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return name.isEmpty() ? path : name;
}

// A move within one file system is a rename: walking its tree for totals
// would cost more than the move itself.
bool isRename(const QUrl &item, const QUrl &folder)
{
    struct stat itemStatus;
    struct stat folderStatus;
    return ::lstat(PathCodec::encodePath(item).constData(), &itemStatus) == 0
        && ::stat(PathCodec::encodePath(folder).constData(), &folderStatus) == 0
        && itemStatus.st_dev == folderStatus.st_dev;
}

QUrl runOne(FileJob::Kind kind, const QUrl &item, const QUrl &folder, OperationProgress *progress)
{
    switch (kind) {
    case FileJob::Kind::copy: return FileOperations::copy(item, folder, progress);
    case FileJob::Kind::move: return FileOperations::move(item, folder, progress);
    case FileJob::Kind::duplicate: return FileOperations::duplicate(item, progress);
    case FileJob::Kind::compress: return FileOperations::compress(item, progress);
    case FileJob::Kind::emptyTrash: FileOperations::emptyTrash(progress); return {};
    }
    return {};
}

std::vector<TreeTotals> countTotals(FileJob::Kind kind, const QList<QUrl> &items, const QUrl &folder,
                                    const OperationProgress &progress)
{
    std::vector<TreeTotals> totals;
    if (kind == FileJob::Kind::emptyTrash) {
        totals.push_back({Trash::itemCount(), 0});
        return totals;
    }
    for (const QUrl &item : items) {
        if (kind == FileJob::Kind::move && isRename(item, folder))
            totals.push_back({1, 0});
        else
            totals.push_back(TreeTotals::of(PathCodec::encodePath(item), &progress));
    }
    return totals;
}

FileJobResult runJob(FileJob::Kind kind, const QList<QUrl> &items, const QUrl &folder, FileJob::State &state)
{
    // The totals are walked beside the work rather than before it: the copy
    // starts at once, and on more than one core the walk costs it nothing. A
    // move takes its items away from under the walk, so it walks first.
    std::vector<TreeTotals> totals;
    const auto countAll = [&] {
        totals = countTotals(kind, items, folder, state.progress);
        qint64 itemsTotal = 0;
        qint64 bytesTotal = 0;
        for (const TreeTotals &each : totals) {
            itemsTotal += each.items;
            bytesTotal += each.bytes;
        }
        state.itemsTotal = itemsTotal;
        state.bytesTotal = bytesTotal;
        state.totalsKnown = true;
    };
    std::thread walk;
    if (kind == FileJob::Kind::move)
        countAll();
    else
        walk = std::thread(countAll);

    FileJobResult result;
    const QList<QUrl> work = kind == FileJob::Kind::emptyTrash ? QList<QUrl>{QUrl()} : items;
    qsizetype processed = 0;
    for (; processed < work.size(); ++processed) {
        if (state.progress.isCancelled()) {
            result.wasCancelled = true;
            break;
        }
        const QUrl &item = work[processed];
        try {
            const QUrl made = runOne(kind, item, folder, &state.progress);
            if (kind != FileJob::Kind::emptyTrash)
                result.succeeded.append({item, made});
        } catch (const PlatformError &error) {
            if (OperationProgress::isCancellation(error.code()) && state.progress.isCancelled()) {
                result.wasCancelled = true;
                break;
            }
            result.failures.append({item, error.localizedDescription()});
        } catch (const OperationError &error) {
            result.failures.append({item, error.localizedDescription()});
        }
    }
    if (walk.joinable())
        walk.join();
    if (!result.wasCancelled) {
        // What renames and failures did not count themselves.
        qint64 itemsMark = 0;
        qint64 bytesMark = 0;
        for (qsizetype index = 0; index < processed && size_t(index) < totals.size(); ++index) {
            itemsMark += totals[size_t(index)].items;
            bytesMark += totals[size_t(index)].bytes;
        }
        state.progress.advanceTo(itemsMark, bytesMark);
    }
    return result;
}

} // namespace

FileJob::FileJob(Kind kind, const QList<QUrl> &items, const QUrl &destinationFolder, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
    , m_items(items)
    , m_destinationFolder(destinationFolder)
    , m_state(std::make_shared<State>())
{
    m_sampler.setInterval(sampleIntervalMilliseconds);
    connect(&m_sampler, &QTimer::timeout, this, &FileJob::sampleProgress);
}

FileJob::~FileJob()
{
    m_state->progress.cancel();
}

FileJob *FileJob::copy(const QList<QUrl> &items, const QUrl &destinationFolder, QObject *parent)
{
    return new FileJob(Kind::copy, items, destinationFolder, parent);
}

FileJob *FileJob::move(const QList<QUrl> &items, const QUrl &destinationFolder, QObject *parent)
{
    return new FileJob(Kind::move, items, destinationFolder, parent);
}

FileJob *FileJob::duplicate(const QList<QUrl> &items, QObject *parent)
{
    return new FileJob(Kind::duplicate, items, {}, parent);
}

FileJob *FileJob::compress(const QList<QUrl> &items, QObject *parent)
{
    return new FileJob(Kind::compress, items, {}, parent);
}

FileJob *FileJob::emptyTrash(QObject *parent)
{
    return new FileJob(Kind::emptyTrash, {}, {}, parent);
}

QString FileJob::description() const
{
    const auto text = [](const char *key, int count = -1) {
        return QCoreApplication::translate("FileJob", key, nullptr, count);
    };
    const bool single = m_items.size() == 1;
    const int count = int(m_items.size());
    const QString first = m_items.isEmpty() ? QString() : shownName(m_items.first());
    const QString folder = shownName(m_destinationFolder);
    switch (m_kind) {
    case Kind::copy:
        return single ? text("Copying “%1” to “%2”").arg(first, folder)
                      : text("Copying %n items to “%1”", count).arg(folder);
    case Kind::move:
        return single ? text("Moving “%1” to “%2”").arg(first, folder)
                      : text("Moving %n items to “%1”", count).arg(folder);
    case Kind::duplicate:
        return single ? text("Duplicating “%1”").arg(first) : text("Duplicating %n items", count);
    case Kind::compress:
        return single ? text("Compressing “%1”").arg(first) : text("Compressing %n items", count);
    case Kind::emptyTrash:
        return text("Emptying the Trash");
    }
    return {};
}

void FileJob::start()
{
    if (m_started)
        return;
    m_started = true;
    m_sampler.start();
    // Created here, on the thread that owns the job, and only read back there.
    QPointer<FileJob> self(this);
    std::shared_ptr<State> state = m_state;
    WorkQueues::fileJobs()->start([self, state, kind = m_kind, items = m_items, folder = m_destinationFolder]() mutable {
        state->startedAt = steadyMilliseconds();
        FileJobResult result = runJob(kind, items, folder, *state);
        MainThread::post([self = std::move(self), result = std::move(result)]() mutable {
            if (self)
                self->deliver(std::move(result));
        });
    });
}

void FileJob::cancel()
{
    m_state->progress.cancel();
}

bool FileJob::isCancelRequested() const
{
    return m_state->progress.isCancelled();
}

FileJobProgress FileJob::progress() const
{
    FileJobProgress progress;
    progress.totalsKnown = m_state->totalsKnown.load();
    progress.itemsTotal = m_state->itemsTotal.load();
    progress.bytesTotal = m_state->bytesTotal.load();
    progress.itemsDone = m_state->progress.itemsDone();
    progress.bytesDone = m_state->progress.bytesDone();
    // A tree that grew while it was copied does more than was counted.
    if (progress.totalsKnown) {
        progress.itemsDone = std::min(progress.itemsDone, progress.itemsTotal);
        progress.bytesDone = std::min(progress.bytesDone, progress.bytesTotal);
    }
    return progress;
}

qint64 FileJob::elapsedMilliseconds() const
{
    const qint64 startedAt = m_state->startedAt.load();
    return startedAt == 0 ? 0 : steadyMilliseconds() - startedAt;
}

void FileJob::sampleProgress()
{
    const FileJobProgress now = progress();
    if (now.itemsDone == m_lastSample.itemsDone && now.bytesDone == m_lastSample.bytesDone
        && now.itemsTotal == m_lastSample.itemsTotal && now.bytesTotal == m_lastSample.bytesTotal
        && now.totalsKnown == m_lastSample.totalsKnown)
        return;
    m_lastSample = now;
    Q_EMIT progressChanged();
}

void FileJob::deliver(FileJobResult result)
{
    m_sampler.stop();
    sampleProgress();
    m_finished = true;
    m_result = std::move(result);
    Q_EMIT finished(m_result);
}
