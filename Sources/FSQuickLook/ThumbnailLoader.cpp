#include "ThumbnailLoader.h"

#include "ThumbnailCacheFile.h"
#include "ThumbnailRenderer.h"

#include "FSCore/FileItem.h"
#include "FSCore/MainThread.h"
#include "FSCore/WorkQueues.h"
#include "FSPlatform/ContentTypes.h"
#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/FileUri.h"
#include "FSPlatform/PathCodec.h"

#include <QCache>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QThreadPool>

#include <optional>

namespace ThumbnailLoader {

namespace {

// A thumbnail, and the version of the file it shows.
struct Entry
{
    QImage image;
    qint64 modificationTimeNs;
    qint64 size;
    // Tells this entry from one stored later for the same URL.
    quint64 serial;
    bool isBeingChecked = false;
    // When a check last found it current; views ask on every paint, and one
    // look a second is plenty.
    std::optional<qint64> checkedAtMs = std::nullopt;
};

quint64 nextSerial = 0;

qint64 nowMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

constexpr qint64 recheckIntervalMs = 1000;

// Main thread only.
QCache<QUrl, Entry> &memory()
{
    static QCache<QUrl, Entry> cache(64 * 1024 * 1024);
    return cache;
}

std::atomic<int> rendered{0};

QThreadPool &pool()
{
    static QThreadPool *threads = [] {
        // Reader allocations are capped so a damaged or hostile image cannot
        // take the memory of the machine.
        QImageReader::setAllocationLimit(256);
        return WorkQueues::thumbnails();
    }();
    return *threads;
}

bool isCurrent(const Entry &entry, const EntryStatus &status)
{
    return status.exists && status.modificationTimeNs == entry.modificationTimeNs && status.size == entry.size;
}

bool liesInside(const QByteArray &path, const QByteArray &folder)
{
    return path.startsWith(QByteArray(folder + '/'));
}

// On a pool thread: the cached thumbnail of this version of the file, or a
// new one written to the shared cache; null when the file has none.
QImage makeThumbnail(const QByteArray &path, int edge, EntryStatus &status)
{
    status = EntryStatus::read(path);
    if (!status.exists || !status.isRegularFile)
        return {};
    const QByteArray cacheRoot = QFile::encodeName(ThumbnailCacheFile::cacheRoot());
    if (liesInside(path, cacheRoot))
        return {}; // thumbnails of thumbnails would feed on themselves
    const QString contentType = ContentTypes::forFileName(PathCodec::decode(path.mid(path.lastIndexOf('/') + 1))).name;
    if (!ThumbnailRenderer::canRender(contentType))
        return {};
    const ThumbnailCacheFile cacheFile{FileUri::forPath(path), status.modificationTimeNs / 1000000000, status.size,
                                       ThumbnailCacheFile::edgeFor(edge)};
    QImage image = cacheFile.uri.isEmpty() ? QImage() : cacheFile.read();
    if (!image.isNull())
        return image;
    image = ThumbnailRenderer::render(path, contentType, cacheFile.edge);
    if (image.isNull())
        return {};
    ++rendered;
    if (!cacheFile.uri.isEmpty())
        cacheFile.write(image);
    return image;
}

// Makes the thumbnail on the pool and hands it to the map and to `completion`
// on the main thread.
void startMaking(const std::shared_ptr<ThumbnailRequest> &request, const QByteArray &path, qreal scale,
                 const ContextGuard &guard, Completion completion)
{
    pool().start([request, path, scale, guard, completion = std::move(completion)] {
        if (request->isCancelled)
            return;
        EntryStatus status;
        QImage image = makeThumbnail(path, request->pixelEdge, status);
        if (image.isNull() || request->isCancelled)
            return;
        image.setDevicePixelRatio(scale);
        MainThread::post([request, image, status, guard, completion] {
            if (request->isCancelled)
                return;
            memory().insert(request->url, new Entry{image, status.modificationTimeNs, status.size, ++nextSerial},
                            qMax<qsizetype>(1, image.sizeInBytes()));
            if (completion && guard.isAlive())
                completion(image);
        });
    });
}

// The stat that tells whether a stored thumbnail still shows its file may hang
// on a share that stopped answering, so it runs on the pool, one at a time per
// entry: a changed file gets a new thumbnail, handed to `completion`, and a
// vanished one loses its entry.
void startCheck(const QUrl &url, const QByteArray &path, int pixelEdge, qreal scale, const ContextGuard &guard,
                Completion completion)
{
    Entry *entry = memory().object(url);
    if (!entry || entry->isBeingChecked || (entry->checkedAtMs && nowMs() - *entry->checkedAtMs < recheckIntervalMs))
        return;
    entry->isBeingChecked = true;
    const quint64 serial = entry->serial;
    pool().start([url, path, pixelEdge, scale, serial, guard, completion = std::move(completion)] {
        const EntryStatus status = EntryStatus::read(path);
        MainThread::post([url, path, pixelEdge, scale, serial, guard, completion, status] {
            Entry *checked = memory().object(url);
            if (!checked || checked->serial != serial)
                return;
            checked->isBeingChecked = false;
            if (isCurrent(*checked, status)) {
                checked->checkedAtMs = nowMs();
                return;
            }
            memory().remove(url);
            if (!status.exists)
                return;
            auto request = std::make_shared<ThumbnailRequest>();
            request->url = url;
            request->pixelEdge = pixelEdge;
            startMaking(request, path, scale, guard, completion);
        });
    });
}

} // namespace

std::shared_ptr<ThumbnailRequest> thumbnail(const QUrl &url, QSizeF size, qreal scale, QObject *context,
                                            Completion completion)
{
    if (!url.isLocalFile())
        return {};
    const QByteArray path = PathCodec::encodePath(url);
    const int pixelEdge = qMax(1, qCeil(qMax(size.width(), size.height()) * scale));
    if (const Entry *entry = memory().object(url)) {
        QImage image = entry->image;
        image.setDevicePixelRatio(scale);
        if (completion)
            completion(image);
        startCheck(url, path, pixelEdge, scale, ContextGuard(context), std::move(completion));
        return {};
    }

    auto request = std::make_shared<ThumbnailRequest>();
    request->url = url;
    request->pixelEdge = pixelEdge;
    startMaking(request, path, scale, ContextGuard(context), std::move(completion));
    return request;
}

void cancel(const std::shared_ptr<ThumbnailRequest> &request)
{
    if (request)
        request->isCancelled = true;
}

void setMemoryLimit(qint64 bytes)
{
    memory().setMaxCost(qMax<qsizetype>(1, bytes));
}

qint64 memoryUsed()
{
    return memory().totalCost();
}

void clearMemory()
{
    memory().clear();
}

int renderedCount()
{
    return rendered;
}

bool mayHaveThumbnail(const FileItem &item)
{
    const FileAttributes *attributes = item.attributeSnapshot();
    if (!attributes || !attributes->hasStatus || attributes->isDirectory || !attributes->contentType)
        return false;
    return ThumbnailRenderer::canRender(attributes->contentType->name);
}

void keepOnlyOnScreen(const QSet<QString> &onScreen, QHash<QString, QImage> &thumbnails,
                      QHash<QString, std::shared_ptr<ThumbnailRequest>> &requests)
{
    for (auto it = requests.begin(); it != requests.end();) {
        if (onScreen.contains(it.key())) {
            ++it;
            continue;
        }
        cancel(*it);
        it = requests.erase(it);
    }
    for (auto it = thumbnails.begin(); it != thumbnails.end();) {
        if (onScreen.contains(it.key()))
            ++it;
        else
            it = thumbnails.erase(it);
    }
}

} // namespace ThumbnailLoader
