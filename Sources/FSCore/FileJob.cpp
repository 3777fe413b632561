#include "FileJob.h"

#include "FileOperations.h"
#include "MainThread.h"
#include "WorkQueues.h"

#include "FSPlatform/OperationError.h"
#include "FSPlatform/OperationProgress.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/Trash.h"
#include "FSPlatform/TreeLookahead.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <pthread.h>
#include <thread>
#include <sys/stat.h>
#include <time.h>

struct FileJob::State
{
    // An archive reads the trees its own way: the walk only counts for it.
    explicit State(bool isCopying) : lookahead(isCopying) { progress.setLookahead(&lookahead); }

    OperationProgress progress;
    TreeLookahead lookahead;
    // Steady-clock milliseconds when the work began; 0 while queued.
    std::atomic<qint64> startedAt = 0;
};

namespace {

constexpr int sampleIntervalMilliseconds = 100;

// The share of the work's processor time that finding the byte total may
// take beside it.
constexpr double sizingShare = 0.02;

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

// One item of a job as the worker does it.
struct Step
{
    QUrl item;
    QUrl folder;
    FileJob::Kind kind;
    QString newName = {};
};

QUrl runOne(const Step &step, OperationProgress *progress)
{
    switch (step.kind) {
    case FileJob::Kind::copy: return FileOperations::copy(step.item, step.folder, progress);
    case FileJob::Kind::move: return FileOperations::move(step.item, step.folder, progress);
    case FileJob::Kind::duplicate: return FileOperations::duplicate(step.item, progress);
    case FileJob::Kind::compress: return FileOperations::compress(step.item, progress);
    case FileJob::Kind::emptyTrash: FileOperations::emptyTrash(progress); return {};
    case FileJob::Kind::newFolder: return FileOperations::createNewFolder(step.folder);
    case FileJob::Kind::moveToTrash: return FileOperations::moveToTrash(step.item);
    case FileJob::Kind::restoreFromTrash: return FileOperations::restoreFromTrash(step.item);
    case FileJob::Kind::rename: return FileOperations::rename(step.item, step.newName);
    }
    return {};
}

// Renames, as far as the progress goes: one step each, nothing to read.
bool isOneStep(const Step &step)
{
    switch (step.kind) {
    case FileJob::Kind::newFolder:
    case FileJob::Kind::moveToTrash:
    case FileJob::Kind::restoreFromTrash:
    case FileJob::Kind::rename:
        return true;
    case FileJob::Kind::move:
        return isRename(step.item, step.folder);
    case FileJob::Kind::copy:
    case FileJob::Kind::duplicate:
    case FileJob::Kind::compress:
    case FileJob::Kind::emptyTrash:
        break;
    }
    return false;
}

QList<Step> plan(FileJob::Kind kind, const QList<QUrl> &items, const QList<QUrl> &folders, const QString &newName,
                 const FileJob::ItemKind &itemKind, const OperationProgress &progress)
{
    if (kind == FileJob::Kind::emptyTrash || kind == FileJob::Kind::newFolder)
        return {{QUrl(), folders.value(0), kind}};
    if (kind == FileJob::Kind::rename)
        return {{items.value(0), {}, kind, newName}};
    QList<Step> steps;
    for (qsizetype index = 0; index < items.size() && !progress.isCancelled(); ++index) {
        const QUrl &folder = folders.size() == items.size() ? folders[index] : folders.value(0);
        std::optional<FileJob::Kind> itemsKind = kind;
        if (itemKind && (kind == FileJob::Kind::copy || kind == FileJob::Kind::move))
            itemsKind = itemKind(items[index], folder);
        if (itemsKind)
            steps.append({items[index], folder, *itemsKind});
    }
    return steps;
}

FileJobResult runJob(const QList<Step> &steps, FileJob::State &state)
{
    // The totals are found beside the work on a thread of their own, so the
    // work starts at once; the copier takes the listings that walk makes.
    std::atomic<bool> isWorkDone = false;
    std::thread walk;
    if (steps.size() == 1 && steps.first().kind == FileJob::Kind::emptyTrash) {
        state.lookahead.setTotals(Trash::itemCount(), 0);
    } else {
        std::vector<QByteArray> paths;
        std::vector<bool> countsAsOne;
        for (const Step &step : steps) {
            paths.push_back(PathCodec::encodePath(step.item));
            countsAsOne.push_back(isOneStep(step));
        }
        clockid_t workClock;
        ::pthread_getcpuclockid(::pthread_self(), &workClock);
        walk = std::thread([&state, &isWorkDone, paths = std::move(paths), countsAsOne = std::move(countsAsOne), workClock] {
            state.lookahead.list(paths, countsAsOne, &state.progress);
            state.lookahead.sizeFromTheEnd(workClock, sizingShare, [&] {
                return isWorkDone.load() || state.progress.isCancelled();
            });
        });
    }

    FileJobResult result;
    // A stop while the items were being looked at.
    result.wasCancelled = state.progress.isCancelled();
    for (qsizetype processed = 0; !result.wasCancelled && processed < steps.size(); ++processed) {
        if (state.progress.isCancelled()) {
            result.wasCancelled = true;
            break;
        }
        const Step &step = steps[processed];
        try {
            const QUrl made = runOne(step, &state.progress);
            if (step.kind != FileJob::Kind::emptyTrash)
                result.succeeded.append({step.kind == FileJob::Kind::newFolder ? step.folder : step.item, made});
        } catch (const PlatformError &error) {
            if (OperationProgress::isCancellation(error.code()) && state.progress.isCancelled()) {
                result.wasCancelled = true;
                break;
            }
            result.failures.append({step.item, error.localizedDescription()});
        } catch (const OperationError &error) {
            result.failures.append({step.item, error.localizedDescription()});
        }
    }
    isWorkDone = true;
    if (walk.joinable())
        walk.join();
    if (!result.wasCancelled) {
        // What renames and failures did not count themselves.
        state.progress.advanceTo(state.lookahead.itemsTotal().value_or(0), state.lookahead.bytesTotal().value_or(0));
        state.lookahead.finish(state.progress.itemsDone(), state.progress.bytesDone());
    }
    return result;
}

} // namespace

FileJob::FileJob(Kind kind, const QList<QUrl> &items, const QUrl &destinationFolder, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
    , m_items(items)
    , m_destinationFolders{destinationFolder}
    , m_state(std::make_shared<State>(kind != Kind::compress))
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

FileJob *FileJob::move(const QList<QUrl> &items, const QList<QUrl> &destinationFolders, QObject *parent)
{
    auto *job = new FileJob(Kind::move, items, destinationFolders.value(0), parent);
    if (destinationFolders.size() == items.size())
        job->m_destinationFolders = destinationFolders;
    return job;
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

FileJob *FileJob::newFolder(const QUrl &folder, QObject *parent)
{
    return new FileJob(Kind::newFolder, {}, folder, parent);
}

FileJob *FileJob::moveToTrash(const QList<QUrl> &items, QObject *parent)
{
    return new FileJob(Kind::moveToTrash, items, {}, parent);
}

FileJob *FileJob::restoreFromTrash(const QList<QUrl> &trashedItems, QObject *parent)
{
    return new FileJob(Kind::restoreFromTrash, trashedItems, {}, parent);
}

FileJob *FileJob::rename(const QUrl &item, const QString &newName, QObject *parent)
{
    auto *job = new FileJob(Kind::rename, {item}, {}, parent);
    job->m_newName = newName;
    return job;
}

void FileJob::setItemKind(ItemKind decide)
{
    m_itemKind = std::move(decide);
}

QString FileJob::description() const
{
    const auto text = [](const char *key, int count = -1) {
        return QCoreApplication::translate("FileJob", key, nullptr, count);
    };
    const bool single = m_items.size() == 1;
    const int count = int(m_items.size());
    const QString first = m_items.isEmpty() ? QString() : shownName(m_items.first());
    const QString folder = shownName(destinationFolder());
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
    case Kind::newFolder:
        return text("Making a new folder in “%1”").arg(folder);
    case Kind::moveToTrash:
        return single ? text("Moving “%1” to the Trash").arg(first) : text("Moving %n items to the Trash", count);
    case Kind::restoreFromTrash:
        return single ? text("Putting back “%1”").arg(first) : text("Putting back %n items", count);
    case Kind::rename:
        return text("Renaming “%1”").arg(first);
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
    WorkQueues::fileJobs()->start([self, state, kind = m_kind, items = m_items, folders = m_destinationFolders,
                                   newName = m_newName, itemKind = m_itemKind]() mutable {
        state->startedAt = steadyMilliseconds();
        FileJobResult result = runJob(plan(kind, items, folders, newName, itemKind, state->progress), *state);
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
    progress.itemsDone = m_state->progress.itemsDone();
    progress.bytesDone = m_state->progress.bytesDone();
    // A tree that grew while it was copied does more than was counted.
    if (const std::optional<qint64> items = m_state->lookahead.itemsTotal()) {
        progress.isItemsTotalKnown = true;
        progress.itemsTotal = *items;
        progress.itemsDone = std::min(progress.itemsDone, progress.itemsTotal);
    }
    if (const std::optional<qint64> bytes = m_state->lookahead.bytesTotal()) {
        progress.isBytesTotalKnown = true;
        progress.bytesTotal = *bytes;
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
    const bool isRunning = m_state->startedAt.load() != 0;
    if (now == m_lastSample && isRunning == m_wasRunningAtLastSample)
        return;
    m_lastSample = now;
    m_wasRunningAtLastSample = isRunning;
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
