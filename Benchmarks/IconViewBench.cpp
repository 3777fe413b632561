#include "BrowserBenches.h"

#include "FSIconView/ContextMenuCollectionView.h"
#include "FSIconView/IconViewController.h"
#include "FSCore/FileAttributes.h"
#include "FSCore/FolderListingUpdate.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/SortedFolderModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include <time.h>

namespace {

constexpr int viewWidth = 1200;
constexpr int viewHeight = 800;

bool waitUntil(const std::function<bool()> &condition, int timeoutMilliseconds = 120000)
{
    QElapsedTimer timer;
    timer.start();
    // Sleeps between events rather than spinning: a spinning main thread would
    // take a core from the listing it waits for.
    QTimer wake;
    wake.start(5);
    while (!condition()) {
        if (timer.elapsed() > timeoutMilliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double lsMilliseconds(const QString &folder)
{
    QProcess ls;
    ls.setStandardOutputFile(QProcess::nullDevice());
    const double start = benchMilliseconds();
    ls.start(QStringLiteral("ls"), {QStringLiteral("-l"), folder});
    ls.waitForFinished(-1);
    return benchMilliseconds() - start;
}

double threadCpuMilliseconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

bool hasStatus(const FileItem &item)
{
    return !item.attributeSnapshot() || item.attributeSnapshot()->hasStatus;
}

struct ShownIcons
{
    explicit ShownIcons(const QString &folder)
        : view(PathCodec::urlForPath(QDir(folder).absolutePath()))
    {
        view.resize(viewWidth, viewHeight);
        view.show();
    }

    void drawFrame()
    {
        QImage frame(view.size(), QImage::Format_ARGB32_Premultiplied);
        view.render(&frame);
    }

    bool isLoaded() const { return view.model()->rowCount() > 0 || !view.model()->failureMessage().isEmpty(); }

    // Every row on screen drawn with all it will show: its attributes (date,
    // label) read; icons come from the content type and need no wait.
    bool visibleRowsComplete() const
    {
        const auto [first, last] = view.collectionView()->visibleRows();
        for (int row = first; row <= last; ++row) {
            if (!hasStatus(view.model()->itemAt(row)))
                return false;
        }
        return true;
    }

    bool allAttributesRead() const
    {
        const FileItemList &items = view.model()->items();
        return std::all_of(items.cbegin(), items.cend(), hasStatus);
    }

    IconViewController view;
};

} // namespace

namespace BrowserBenches {

int iconView(const QString &folder)
{
    const double ls = lsMilliseconds(folder);
    QTemporaryDir empty;
    {
        ShownIcons shown(empty.path());
        waitUntil([&] { return !shown.view.model()->isLoading(); });
        shown.drawFrame();
    }
    const double emptyPeak = benchPeakMemoryMiB();

    const double start = benchMilliseconds();
    ShownIcons shown(folder);
    // Connected after the view: it hears of an update once the view has it.
    const AttributeReadingWatch reading(shown.view.currentDirectoryURL());
    if (!waitUntil([&] { return shown.isLoaded(); }))
        return 1;
    shown.drawFrame();
    const double firstFrame = benchMilliseconds() - start;
    waitUntil([&] { return shown.visibleRowsComplete(); });
    shown.drawFrame();
    const double visibleRows = benchMilliseconds() - start;
    waitUntil([&] { return reading.mayBeWhole() && shown.allAttributesRead(); });
    const double attributes = benchMilliseconds() - start;
    const double peak = benchPeakMemoryMiB();

    // One file created and one removed, as the listing reports them: the
    // model's own share of a change, on the main thread. The first change of
    // a listing also copies the rows it shared with the cache until then.
    const QString createdPath = QDir(folder).absoluteFilePath(QStringLiteral("tidewright-bench created"));
    QFile created(createdPath);
    created.open(QIODevice::WriteOnly);
    created.close();
    const QUrl createdUrl = PathCodec::urlForPath(createdPath);
    FolderListingUpdate update;
    update.folder = shown.view.model()->folder();
    update.inserted = {FileItem(createdUrl, FileAttributes::read(createdUrl))};
    double changeStart = benchMilliseconds();
    shown.view.model()->applyUpdate(update);
    const double insertion = benchMilliseconds() - changeStart;
    QFile::remove(createdPath);
    update.inserted.clear();
    update.removed = {createdUrl};
    changeStart = benchMilliseconds();
    shown.view.model()->applyUpdate(update);
    const double removal = benchMilliseconds() - changeStart;

    std::printf("one change in the model: created %.2f ms, removed %.2f ms\n", insertion, removal);
    std::printf("ls -l: %.1f ms; items: %d, %d a row\n", ls, shown.view.model()->rowCount(), shown.view.itemsPerRow());
    std::printf("first frame / ls -l: %.2f\n", firstFrame / ls);
    std::printf("empty folder: peak %.1f MiB; this folder: %.1f MiB above it\n", emptyPeak, peak - emptyPeak);
    std::printf("view: first frame %.1f ms, visible rows %.1f ms, attributes %.1f ms, peak %.1f MiB\n", firstFrame,
                visibleRows, attributes, peak);
    return 0;
}

int iconPaint(const QString &folder)
{
    ShownIcons shown(folder);
    // Items drawn whole: names first would leave pictures and labels out.
    if (!waitUntil([&] { return shown.isLoaded() && shown.allAttributesRead(); }))
        return 1;
    ContextMenuCollectionView *grid = shown.view.collectionView();
    QWidget *viewport = grid->viewport();
    QScrollBar *bar = grid->verticalScrollBar();
    // The batched layout places every item before the scroll range is whole.
    const double layoutStart = benchMilliseconds();
    waitUntil([&] {
        return bar->maximum() >= (shown.view.model()->rowCount() / shown.view.itemsPerRow() - 8) * grid->cellSize().height();
    });
    const double layout = benchMilliseconds() - layoutStart;
    QImage frame(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    viewport->render(&frame); // fonts and icons loaded once, before timing
    std::vector<double> frames;
    std::vector<double> cpuFrames;
    constexpr int places = 20;
    for (int place = 0; place < places; ++place) {
        bar->setValue(bar->minimum() + (bar->maximum() - bar->minimum()) * place / (places - 1));
        QCoreApplication::processEvents();
        const double start = benchMilliseconds();
        const double cpuStart = threadCpuMilliseconds();
        viewport->render(&frame);
        frames.push_back(benchMilliseconds() - start);
        cpuFrames.push_back(threadCpuMilliseconds() - cpuStart);
    }
    std::sort(frames.begin(), frames.end());
    double total = 0;
    for (double ms : frames)
        total += ms;
    const auto [first, last] = grid->visibleRows();
    std::printf("items: %d, viewport %dx%d, %d items on screen; every item placed %.0f ms after the rows came\n",
                shown.view.model()->rowCount(), viewport->width(), viewport->height(), last - first + 1, layout);
    std::sort(cpuFrames.begin(), cpuFrames.end());
    // On a busy machine the wall clock also counts the time others had the processor.
    std::printf("main thread's own processor time: median %.2f ms, max %.2f ms a frame\n", cpuFrames[places / 2],
                cpuFrames.back());
    std::printf("paint: mean %.2f ms, median %.2f ms, max %.2f ms a frame\n", total / places, frames[places / 2],
                frames.back());
    return 0;
}

} // namespace BrowserBenches
