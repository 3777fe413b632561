#include "BenchCommand.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/IconCache.h"
#include "FSUIKit/IconCacheTesting.h"

#include <QDir>
#include <QMimeDatabase>
#include <QSet>

#include <cstdio>

namespace {

// What a program would do with Qt alone: the type from the name, the icon from
// Qt's theme loader, one item at a time on the main thread.
double plainQtMilliseconds(const FileItemList &items)
{
    const QMimeDatabase database;
    const double start = benchMilliseconds();
    qint64 found = 0;
    for (const FileItem &item : items) {
        const QMimeType type = item.isDirectory() ? database.mimeTypeForName(QStringLiteral("inode/directory"))
                                                  : database.mimeTypeForFile(item.path(), QMimeDatabase::MatchExtension);
        const QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
        found += icon.isNull() ? 0 : 1;
    }
    const double elapsed = benchMilliseconds() - start;
    std::printf("plain Qt (QMimeDatabase + QIcon::fromTheme): %lld items in %.1f ms, %lld with an icon\n",
                static_cast<long long>(items.size()), elapsed, static_cast<long long>(found));
    return elapsed;
}

int runIcons(const QStringList &arguments)
{
    QString folder;
    bool compare = false;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--compare"))
            compare = true;
        else if (folder.isEmpty())
            folder = argument;
        else
            return 2;
    }
    if (folder.isEmpty())
        return 2;
    const QUrl url = PathCodec::urlForPath(QDir(folder).absolutePath());

    double start = benchMilliseconds();
    const FileItemList items = DirectoryListingCache::contents(url);
    std::printf("listing: %lld items in %.1f ms\n", static_cast<long long>(items.size()), benchMilliseconds() - start);
    QList<QUrl> urls;
    urls.reserve(items.size());
    for (const FileItem &item : items)
        urls.append(item.url());

    // A listing's own items: no stat, the types come with the attributes.
    start = benchMilliseconds();
    IconCache::prefetch(items);
    IconCache::testing::waitForBackgroundWork();
    const double prefetched_ms = benchMilliseconds() - start;
    start = benchMilliseconds();
    QSet<qint64> distinct;
    qint64 nulls = 0;
    for (const QUrl &itemUrl : urls) {
        const QIcon icon = IconCache::icon(itemUrl);
        nulls += icon.isNull() ? 1 : 0;
        distinct.insert(icon.cacheKey());
    }
    const double lookup_ms = benchMilliseconds() - start;
    const int fetchesAfterPrefetch = IconCache::testing::pathFetchCount();

    // Bare URLs: one stat each.
    IconCache::testing::reset();
    start = benchMilliseconds();
    IconCache::prefetch(urls);
    IconCache::testing::waitForBackgroundWork();
    const double urlPrefetch_ms = benchMilliseconds() - start;

    std::printf("prefetch of listed items: %.1f ms; prefetch of bare URLs (a stat each): %.1f ms\n", prefetched_ms,
                urlPrefetch_ms);
    std::printf("lookups after prefetch: %.1f ms (%.0f ns each), %lld null, %lld distinct icons, %d path fetches\n",
                lookup_ms, lookup_ms * 1e6 / qMax<qsizetype>(1, urls.size()), static_cast<long long>(nulls),
                static_cast<long long>(distinct.size()), fetchesAfterPrefetch);
    const double total_ms = prefetched_ms + lookup_ms;
    if (compare) {
        const double plain_ms = plainQtMilliseconds(items);
        std::printf("ratio plain Qt / icon cache: %.1f\n", plain_ms / total_ms);
    }
    std::printf("peak memory: %.1f MiB\n", benchPeakMemoryMiB());
    std::printf("icons: %lld items in %.1f ms (%.0f items/s)\n", static_cast<long long>(urls.size()), total_ms,
                urls.size() / (total_ms / 1000.0));
    return 0;
}

const BenchCommandRegistrar registrar({"icons", "DIR [--compare]", runIcons, true});

} // namespace
