#include "BenchCommand.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/FileListing.h"
#include "FSCore/FileSorting.h"
#include "FSPlatform/PathCodec.h"

#include <QDir>

#include <cstdio>

namespace {

int runList(const QStringList &arguments)
{
    QString folder;
    FileSortField field = FileSortField::name;
    bool print = false;
    bool namesOnly = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--print")) {
            print = true;
        } else if (argument == QLatin1String("--names")) {
            namesOnly = true;
        } else if (argument == QLatin1String("--sort") && i + 1 < arguments.size()) {
            const auto parsed = FileSortFields::fromRawValue(arguments.at(++i));
            if (!parsed) {
                std::fprintf(stderr, "unknown sort field\n");
                return 2;
            }
            field = *parsed;
        } else if (folder.isEmpty()) {
            folder = argument;
        } else {
            return 2;
        }
    }
    if (folder.isEmpty())
        return 2;
    const QUrl url = PathCodec::urlForPath(QDir(folder).absolutePath());

    if (namesOnly) {
        // The first step of a names-first listing: one pass over the folder, no attribute read.
        const double start = benchMilliseconds();
        int errorNumber = 0;
        bool hasUnknownTypes = false;
        const FileItemList named = FileListing::names(url, &errorNumber, &hasUnknownTypes);
        const double named_ms = benchMilliseconds() - start;
        std::printf("peak memory: %.1f MiB\n", benchPeakMemoryMiB());
        std::printf("list: %lld names in %.1f ms\n", static_cast<long long>(named.size()), named_ms);
        return 0;
    }

    const double start = benchMilliseconds();
    const FileItemList listed = DirectoryListingCache::contents(url);
    const FileItemList items = FileSorting::sorted(listed, field, {});
    const double listed_ms = benchMilliseconds() - start;

    const double hitStart = benchMilliseconds();
    const FileItemList again = DirectoryListingCache::contents(url);
    const double hit_ms = benchMilliseconds() - hitStart;

    if (print) {
        for (const FileItem &item : items)
            std::printf("%s\n", item.name().toUtf8().constData());
    }
    std::printf("cache hit: %lld items in %.3f ms\n", static_cast<long long>(again.size()), hit_ms);
    std::printf("peak memory: %.1f MiB\n", benchPeakMemoryMiB());
    std::printf("list: %lld items in %.1f ms\n", static_cast<long long>(items.size()), listed_ms);
    return 0;
}

const BenchCommandRegistrar registrar({"list", "DIR [--sort name|dateModified|size|kind] [--print] [--names]", runList, false});

} // namespace
