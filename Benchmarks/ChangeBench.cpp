#include "BenchCommand.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/FileSorting.h"
#include "FSPlatform/PathCodec.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int rounds = 5;

double mainThreadCpuMilliseconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Waits for the next update of `folder` in which `name` was inserted
// (`inserted`) or removed; false after ten seconds.
bool waitForUpdate(const QUrl &folder, const QUrl &item, bool inserted, const std::function<void(const FolderListingUpdate &)> &onArrival)
{
    QEventLoop loop;
    bool arrived = false;
    const auto connection = QObject::connect(
        FolderListingNotifier::instance(), &FolderListingNotifier::listingUpdated, &loop,
        [&](const FolderListingUpdate &update) {
            if (update.folder != folder)
                return;
            const bool matches = inserted ? std::any_of(update.inserted.cbegin(), update.inserted.cend(),
                                                        [&](const FileItem &i) { return i.url() == item; })
                                          : update.removed.contains(item);
            if (!matches)
                return;
            onArrival(update);
            arrived = true;
            loop.quit();
        });
    QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    return arrived;
}

// One file created in a shown folder until the update naming it arrives, as a
// view sorted by size gets it. The main thread's figure is its processor time
// over that span: what it spends on the change, not what it waits.
// With --whole the folder is read again as after a lost event queue.
int runChange(const QStringList &arguments)
{
    const bool isWhole = arguments.size() == 2 && arguments.at(1) == QLatin1String("--whole");
    if (arguments.size() != 1 && !isWhole)
        return 2;
    const QUrl folder = PathCodec::urlForPath(QDir(arguments.at(0)).absolutePath());

    DirectoryListingCache::retain(folder);
    FileItemList shown;
    {
        QEventLoop loop;
        DirectoryListingCache::contents(folder, &loop, [&](const FileItemList &items) {
            shown = items;
            loop.quit();
        });
        if (shown.isEmpty())
            loop.exec();
    }
    FileSorting::sortedItems(folder, shown, FileSortField::size, false);
    std::printf("shown: %lld items\n", static_cast<long long>(shown.size()));

    std::vector<double> endToEnd, mainThread;
    for (int round = 0; round < rounds; ++round) {
        const QString name = QStringLiteral("tidewright-change-%1").arg(round);
        const QString path = QDir(arguments.at(0)).absoluteFilePath(name);
        const QUrl item = PathCodec::urlForPath(path);
        const QByteArray encoded = PathCodec::encode(path);

        const double start = benchMilliseconds();
        const double cpuStart = mainThreadCpuMilliseconds();
        const int fd = ::open(encoded.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::fprintf(stderr, "change: cannot create %s\n", encoded.constData());
            return 1;
        }
        ::close(fd);
        if (isWhole)
            DirectoryListingCache::refresh(folder);
        qsizetype sortedCount = 0;
        const bool arrived = waitForUpdate(folder, item, true, [&](const FolderListingUpdate &update) {
            // What a view sorted by size does with it.
            sortedCount = FileSorting::sortedItems(folder, update.items, FileSortField::size, false).size();
            endToEnd.push_back(benchMilliseconds() - start);
            mainThread.push_back(mainThreadCpuMilliseconds() - cpuStart);
        });
        ::unlink(encoded.constData());
        if (!arrived) {
            std::fprintf(stderr, "change: no update arrived\n");
            return 1;
        }
        std::printf("round %d: %lld items, end-to-end %.1f ms, main thread %.2f ms\n", round + 1,
                    static_cast<long long>(sortedCount), endToEnd.back(), mainThread.back());
        waitForUpdate(folder, item, false, [](const FolderListingUpdate &) {});
    }
    DirectoryListingCache::release(folder);
    std::printf("change: end-to-end %.1f ms, main thread %.2f ms\n", median(endToEnd), median(mainThread));
    return 0;
}

const BenchCommandRegistrar registrar({"change", "DIR [--whole]", runChange, false});

} // namespace
