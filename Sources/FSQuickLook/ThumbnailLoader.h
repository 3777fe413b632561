#pragma once

#include <QSet>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSizeF>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>

class FileItem;

// A thumbnail being made; hand it to ThumbnailLoader::cancel to drop it.
struct ThumbnailRequest
{
    QUrl url;
    int pixelEdge = 0;
    std::atomic<bool> isCancelled{false};
};

// Content thumbnails of images and PDF documents for the icon, list and column
// views. Made on WorkQueues::thumbnails(), shared with other programs through
// the freedesktop.org thumbnail cache, and kept in memory by URL: one made at
// one size is handed out for every size. The memory map is bounded (least
// recently used go first) and an entry is remade when its file changed.
namespace ThumbnailLoader {

using Completion = std::function<void(const QImage &)>;

// From the map: `completion` runs at once, without a look at the disk (a share
// that stopped answering must not stop the window), and nothing is returned;
// the file is checked in the background and, when it changed, `completion`
// runs once more with its new thumbnail. Otherwise the request is returned and
// `completion` runs later on the main thread. No later answer comes when the
// request is cancelled, `context` is gone, or the file has no thumbnail. The
// image's device pixel ratio is `scale`. Main thread only.
std::shared_ptr<ThumbnailRequest> thumbnail(const QUrl &url, QSizeF size, qreal scale, QObject *context,
                                            Completion completion);
void cancel(const std::shared_ptr<ThumbnailRequest> &request);

// Whether a view asks for `item`'s thumbnail: a file, not a folder, of a
// type that can be pictured. An entry listed names first is pictured once
// its status is read (it comes first for rows on screen).
bool mayHaveThumbnail(const FileItem &item);

// For a view that keeps the thumbnails of the rows it shows by path: cancels
// the requests and drops the pictures of every path that left the screen.
void keepOnlyOnScreen(const QSet<QString> &onScreen, QHash<QString, QImage> &thumbnails,
                      QHash<QString, std::shared_ptr<ThumbnailRequest>> &requests);

// Bytes of image data the map keeps at most (64 MiB unless set).
void setMemoryLimit(qint64 bytes);
qint64 memoryUsed();
void clearMemory();
// Thumbnails decoded from their files so far (not read from a cache), for tests.
int renderedCount();

} // namespace ThumbnailLoader
