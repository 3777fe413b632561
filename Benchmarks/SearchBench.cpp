#include "BenchCommand.h"

#include "FSCore/MetadataQuery.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>

#include <cstdio>

#include <sys/resource.h>

namespace {

// Processor time of the whole process, every thread, in milliseconds: what
// the walk costs whatever else the machine runs.
double processorMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &time) { return time.tv_sec * 1000.0 + time.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

int runSearch(const QStringList &arguments)
{
    QStringList rest = arguments;
    const bool print = rest.removeAll(QStringLiteral("--print")) > 0;
    if (rest.size() != 2)
        return 2;
    const QUrl url = PathCodec::urlForPath(QDir(rest.at(0)).absolutePath());

    // Through the query, as the window uses it: the walk runs on the search
    // queue and the batches come back on the main thread.
    MetadataQuery query;
    QEventLoop loop;
    double firstBatch = -1;
    const double startProcessor = processorMilliseconds();
    const double start = benchMilliseconds();
    QObject::connect(&query, &MetadataQuery::resultsAdded, [&](const FileItemList &items) {
        if (firstBatch < 0)
            firstBatch = benchMilliseconds() - start;
        if (!print)
            return;
        for (const FileItem &item : items)
            std::printf("%s\n", PathCodec::encode(item.path()).constData());
    });
    QObject::connect(&query, &MetadataQuery::didFinishGathering, &loop, &QEventLoop::quit);
    query.start(url, rest.at(1));
    loop.exec();
    const double elapsed = benchMilliseconds() - start;
    const double processor = processorMilliseconds() - startProcessor;
    // The watches for live changes follow the walk, a slice at a time.
    while (!query.isWatchingAll())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("walk: %.1f ms of processor time\n", processor);
    std::printf("live: folders watched %.1f ms after the walk\n", benchMilliseconds() - start - elapsed);
    std::printf("search: %lld matches in %.1f ms, first batch %.1f ms\n",
                static_cast<long long>(query.results().size()), elapsed, firstBatch < 0 ? elapsed : firstBatch);
    return 0;
}

const BenchCommandRegistrar registrar({"search", "DIR TEXT [--print]", runSearch, false});

} // namespace
