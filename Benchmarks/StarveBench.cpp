#include "BenchCommand.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/FolderSizeCalculator.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int walkCount = 4;
constexpr int listingRounds = 5;

// How long a listing of a small folder takes through the cache while folder
// size walks of a deep tree hold their queue: listings must not wait for them.
int runStarve(const QStringList &arguments)
{
    if (arguments.size() != 2)
        return 2;
    const QUrl deep = PathCodec::urlForPath(QDir(arguments.at(0)).absolutePath());
    const QUrl small = PathCodec::urlForPath(QDir(arguments.at(1)).absolutePath());

    FolderSizeCalculator calculator;
    int walksDone = 0;
    for (int i = 0; i < walkCount; ++i)
        calculator.calculate(deep, [&walksDone](qint64) { ++walksDone; });
    // Let the walks take their threads first.
    QEventLoop settle;
    QTimer::singleShot(100, &settle, &QEventLoop::quit);
    settle.exec();

    std::vector<double> times;
    int walksRunning = walkCount;
    for (int round = 0; round < listingRounds; ++round) {
        DirectoryListingCache::invalidate(small);
        QEventLoop loop;
        qsizetype count = 0;
        const double start = benchMilliseconds();
        double elapsed = 0;
        DirectoryListingCache::contents(small, &loop, [&](const FileItemList &items) {
            elapsed = benchMilliseconds() - start;
            count = items.size();
            loop.quit();
        });
        if (elapsed == 0)
            loop.exec();
        walksRunning = std::min(walksRunning, walkCount - walksDone);
        times.push_back(elapsed);
        std::printf("round %d: %lld items in %.2f ms, %d walks running\n", round + 1, static_cast<long long>(count),
                    elapsed, walkCount - walksDone);
    }
    calculator.cancel();
    if (walksRunning < walkCount)
        std::fprintf(stderr, "starve: a walk ended during the listings; use a deeper tree\n");
    std::sort(times.begin(), times.end());
    std::printf("worst: %.2f ms\n", times.back());
    std::printf("starve: list %.1f ms with %d walks running\n", times[times.size() / 2], walksRunning);
    return 0;
}

const BenchCommandRegistrar registrar({"starve", "DEEPDIR SMALLDIR", runStarve, false});

} // namespace
