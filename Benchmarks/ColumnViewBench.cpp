#include "BenchCommand.h"

#include "FSColumnView/BrowserColumnView.h"
#include "FSColumnView/ColumnBrowserViewController.h"
#include "FSColumnView/ContextMenuBrowser.h"
#include "FSCore/DirectoryListingCache.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/SortedFolderModel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
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

void drawFrame(QWidget &view)
{
    QImage frame(view.size(), QImage::Format_ARGB32_Premultiplied);
    view.render(&frame);
}

bool hasStatus(const FileItem &item)
{
    return !item.attributeSnapshot() || item.attributeSnapshot()->hasStatus;
}

// A column's cells show an icon and a name; the icon is final once the entry's status is read.
bool visibleRowsComplete(const ColumnBrowserViewController &browser)
{
    BrowserColumnView *column = browser.browser()->column(0);
    const int height = column->viewport()->height();
    const SortedFolderModel *model = browser.columnModel(0);
    for (int row = column->indexAt(QPoint(1, 1)).row(); row >= 0 && row < model->rowCount(); ++row) {
        if (column->visualRect(model->index(row)).top() >= height)
            break;
        if (!hasStatus(model->itemAt(row)))
            return false;
    }
    return true;
}

bool allAttributesRead(const ColumnBrowserViewController &browser)
{
    const FileItemList &items = browser.columnModel(0)->items();
    return std::all_of(items.cbegin(), items.cend(), hasStatus);
}

struct ShownColumns
{
    explicit ShownColumns(const QString &folder)
        : view(PathCodec::urlForPath(QDir(folder).absolutePath()))
    {
        view.resize(viewWidth, viewHeight);
        view.show();
    }
    ColumnBrowserViewController view;
};

std::optional<QString> folderArgument(const QStringList &arguments)
{
    if (arguments.size() != 2 || arguments.at(0) != QLatin1String("column")) {
        std::fprintf(stderr, "only the column view is measured here: column DIR\n");
        return std::nullopt;
    }
    return arguments.at(1);
}

int runView(const QStringList &arguments)
{
    const std::optional<QString> folder = folderArgument(arguments);
    if (!folder)
        return 2;
    const double ls = lsMilliseconds(*folder);

    QTemporaryDir empty;
    {
        ShownColumns shown(empty.path());
        waitUntil([&] { return !shown.view.columnModel(0)->isLoading(); });
        drawFrame(shown.view);
    }
    const double emptyPeak = benchPeakMemoryMiB();

    const double start = benchMilliseconds();
    ShownColumns shown(*folder);
    // Connected after the view: it hears of an update once the view has it.
    const AttributeReadingWatch reading(shown.view.columnModel(0)->folder());
    if (!waitUntil([&] { return shown.view.columnModel(0)->rowCount() > 0; }))
        return 1;
    const double rowsIn = benchMilliseconds() - start;
    drawFrame(shown.view);
    const double firstFrame = benchMilliseconds() - start;
    waitUntil([&] { return visibleRowsComplete(shown.view); });
    drawFrame(shown.view);
    const double visibleRows = benchMilliseconds() - start;
    waitUntil([&] { return reading.mayBeWhole() && allAttributesRead(shown.view); });
    const double attributes = benchMilliseconds() - start;
    const double peak = benchPeakMemoryMiB();

    std::printf("ls -l: %.1f ms; rows: %d, in the model after %.1f ms\n", ls, shown.view.columnModel(0)->rowCount(), rowsIn);
    std::printf("first frame / ls -l: %.2f\n", firstFrame / ls);
    std::printf("empty folder: peak %.1f MiB; this folder: %.1f MiB above it\n", emptyPeak, peak - emptyPeak);
    // The same folder again, its listing stored: what the column itself costs.
    const QUrl url = PathCodec::urlForPath(QDir(*folder).absolutePath());
    DirectoryListingCache::retain(url);
    const double hitStart = benchMilliseconds();
    {
        ShownColumns again(*folder);
        drawFrame(again.view);
        std::printf("from a stored listing: first frame %.1f ms\n", benchMilliseconds() - hitStart);
    }
    DirectoryListingCache::release(url);
    std::printf("view: first frame %.1f ms, visible rows %.1f ms, attributes %.1f ms, peak %.1f MiB\n", firstFrame,
                visibleRows, attributes, peak);
    return 0;
}

int runPaint(const QStringList &arguments)
{
    const std::optional<QString> folder = folderArgument(arguments);
    if (!folder)
        return 2;
    ShownColumns shown(*folder);
    // Rows drawn whole: names first would leave pictures and labels out.
    if (!waitUntil([&] { return shown.view.columnModel(0)->rowCount() > 0 && allAttributesRead(shown.view); }))
        return 1;
    BrowserColumnView *column = shown.view.browser()->column(0);
    QImage frame(shown.view.size(), QImage::Format_ARGB32_Premultiplied);
    shown.view.render(&frame); // fonts and icons loaded once, before timing
    QScrollBar *bar = column->verticalScrollBar();
    std::vector<double> frames;
    constexpr int places = 20;
    for (int place = 0; place < places; ++place) {
        bar->setValue(bar->minimum() + (bar->maximum() - bar->minimum()) * place / (places - 1));
        QCoreApplication::processEvents();
        const double start = benchMilliseconds();
        shown.view.render(&frame);
        frames.push_back(benchMilliseconds() - start);
    }
    std::sort(frames.begin(), frames.end());
    double total = 0;
    for (double ms : frames)
        total += ms;
    std::printf("rows: %d, view %dx%d\n", shown.view.columnModel(0)->rowCount(), shown.view.width(), shown.view.height());
    std::printf("paint: mean %.2f ms, median %.2f ms, max %.2f ms a frame\n", total / places, frames[places / 2],
                frames.back());
    return 0;
}

const BenchCommandRegistrar viewRegistrar({"view", "column DIR", runView, true});
const BenchCommandRegistrar paintRegistrar({"paint", "column DIR", runPaint, true});

} // namespace
