#include "BenchCommand.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSPlatform/PathCodec.h"
#include "FSQuickLook/ThumbnailLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Asks for every thumbnail at 64 points, scale 2, and waits for the answers.
double askAll(const QList<QUrl> &urls, int &answered)
{
    answered = 0;
    // Waiting in an event loop, not polling: the main thread must not take a
    // core from the decoders.
    QEventLoop loop;
    const double start = benchMilliseconds();
    for (const QUrl &url : urls) {
        ThumbnailLoader::thumbnail(url, QSizeF(64, 64), 2.0, nullptr, [&answered, &loop, &urls](const QImage &) {
            if (++answered == urls.size())
                loop.quit();
        });
    }
    if (answered < urls.size()) {
        QTimer::singleShot(600000, &loop, &QEventLoop::quit); // a file without a thumbnail never answers
        loop.exec();
    }
    return benchMilliseconds() - start;
}

void report(const char *phase, int answered, double ms)
{
    std::printf("%s: %d thumbnails in %.1f ms (%.1f items/s, %.3f ms each)\n", phase, answered, ms,
                ms > 0 ? answered * 1000.0 / ms : 0.0, answered > 0 ? ms / answered : 0.0);
}

int runThumbs(const QStringList &arguments)
{
    if (arguments.size() != 1)
        return 2;
    // A private thumbnail cache, so the cold pass is cold and the user's cache untouched.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));

    const QUrl folder = PathCodec::urlForPath(QDir(arguments.first()).absolutePath());
    QList<QUrl> images;
    for (const FileItem &item : DirectoryListingCache::contents(folder)) {
        if (item.attributes().contentType && item.attributes().contentType->name.startsWith(QLatin1String("image/")))
            images.append(item.url());
    }

    int answered = 0;
    const double cold = askAll(images, answered);
    report("cold", answered, cold);
    ThumbnailLoader::clearMemory();
    const double disk = askAll(images, answered);
    report("from the disk cache", answered, disk);
    const double memory = askAll(images, answered);
    report("from memory", answered, memory);
    std::printf("thumbs: %lld items cold in %.1f ms, cached in %.1f ms\n", static_cast<long long>(images.size()), cold, disk);
    return 0;
}

const BenchCommandRegistrar registrar({"thumbs", "DIR", runThumbs, true});

} // namespace
