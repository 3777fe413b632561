#include "BenchCommand.h"
#include "BrowserBenches.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSListView/ListViewController.h"
#include "FSPlatform/PathCodec.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <functional>
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

// `ls -l` of the same folder, in the same run, as the yardstick.
double lsMilliseconds(const QString &folder)
{
    QProcess ls;
    ls.setStandardOutputFile(QProcess::nullDevice());
    const double start = benchMilliseconds();
    ls.start(QStringLiteral("ls"), {QStringLiteral("-l"), folder});
    ls.waitForFinished(-1);
    return benchMilliseconds() - start;
}

void drawFrame(ListViewController &view)
{
    QImage frame(view.size(), QImage::Format_ARGB32_Premultiplied);
    view.render(&frame);
}

// Whether every row on screen shows all it will show: attributes read and,
// for folders, the size walked.
bool visibleRowsComplete(const ListViewController &view)
{
    QTreeView *outline = view.outlineView();
    const int height = outline->viewport()->height();
    for (QModelIndex row = outline->indexAt(QPoint(1, 1)); row.isValid(); row = outline->indexBelow(row)) {
        if (outline->visualRect(row).top() >= height)
            break;
        const FileItem item = view.model()->itemAt(row);
        if (item.attributeSnapshot() && !item.attributeSnapshot()->hasStatus)
            return false;
        if (item.isBrowsable() && !view.folderSizeCache().contains(item.url()))
            return false;
    }
    return true;
}

// Row by row, stopping at the first row still unread: the wait asks this
// often, and a copy of every row each time would take the main thread's time
// from the view it measures.
bool allAttributesRead(const ListViewController &view)
{
    const ListViewModel *model = view.model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const FileItem item = model->itemAt(model->index(row, 0));
        if (item.attributeSnapshot() && !item.attributeSnapshot()->hasStatus)
            return false;
    }
    return true;
}

struct ShownList
{
    explicit ShownList(const QString &folder)
        : view(PathCodec::urlForPath(QDir(folder).absolutePath()))
    {
        view.resize(viewWidth, viewHeight);
        view.show();
    }
    ListViewController view;
};

std::optional<QString> folderArgument(const QStringList &arguments)
{
    if (arguments.size() != 2 || arguments.at(0) != QLatin1String("list")) {
        std::fprintf(stderr, "list DIR or icon DIR\n");
        return std::nullopt;
    }
    return arguments.at(1);
}

int runView(const QStringList &arguments)
{
    if (arguments.size() == 2 && arguments.at(0) == QLatin1String("icon"))
        return BrowserBenches::iconView(arguments.at(1));
    const std::optional<QString> folder = folderArgument(arguments);
    if (!folder)
        return 2;
    const double ls = lsMilliseconds(*folder);

    QTemporaryDir empty;
    {
        ShownList shown(empty.path());
        waitUntil([&] { return !shown.view.model()->shownFolder().isEmpty(); });
        drawFrame(shown.view);
    }
    const double emptyPeak = benchPeakMemoryMiB();

    // Connected before the view, so it runs before the view's handler.
    double updateArrived = 0;
    QObject::connect(FolderListingNotifier::instance(), &FolderListingNotifier::listingUpdated,
                     [&](const FolderListingUpdate &) { updateArrived = benchMilliseconds(); });
    const double start = benchMilliseconds();
    ShownList shown(*folder);
    // Connected after the view: it hears of an update once the view has it.
    const AttributeReadingWatch reading(shown.view.rootURL());
    double delivered = 0;
    double inserted = 0;
    QObject::connect(shown.view.model(), &QAbstractItemModel::rowsAboutToBeInserted, [&] {
        if (delivered == 0)
            delivered = benchMilliseconds() - start;
    });
    QObject::connect(shown.view.model(), &QAbstractItemModel::rowsInserted, [&] {
        if (inserted == 0)
            inserted = benchMilliseconds() - start;
    });
    if (!waitUntil([&] { return shown.view.model()->rowCount() > 0; }))
        return 1;
    drawFrame(shown.view);
    const double firstFrame = benchMilliseconds() - start;
    std::printf("listing delivered after %.1f ms, rows in the model after %.1f ms\n", delivered, inserted);
    waitUntil([&] { return visibleRowsComplete(shown.view); });
    drawFrame(shown.view);
    const double visibleRows = benchMilliseconds() - start;
    waitUntil([&] { return reading.mayBeWhole() && allAttributesRead(shown.view); });
    const double attributes = benchMilliseconds() - start;
    const double peak = benchPeakMemoryMiB();
    const int rows = shown.view.model()->rowCount();

    // One file created in the shown folder until its row is in the view.
    double viewHandled = 0;
    QObject::connect(FolderListingNotifier::instance(), &FolderListingNotifier::listingUpdated,
                     [&](const FolderListingUpdate &) { viewHandled = benchMilliseconds(); });
    const QString created = QDir(*folder).absoluteFilePath(QStringLiteral("tidewright-bench change.txt"));
    const QUrl createdUrl = PathCodec::urlForPath(created);
    const double changeStart = benchMilliseconds();
    QFile(created).open(QIODevice::WriteOnly);
    const bool isShown = waitUntil([&] { return shown.view.model()->indexOf(createdUrl).isValid(); }, 10000);
    const double changeEndToEnd = benchMilliseconds() - changeStart;
    QFile::remove(created);
    if (isShown)
        std::printf("change: row shown %.1f ms after the file was made; the view's handling took %.2f ms\n",
                    changeEndToEnd, viewHandled - updateArrived);
    else
        std::printf("change: the new file's row did not come within 10 s\n");

    std::printf("ls -l: %.1f ms; rows: %d\n", ls, rows);
    std::printf("first frame / ls -l: %.2f\n", firstFrame / ls);
    std::printf("empty folder: peak %.1f MiB; this folder: %.1f MiB above it\n", emptyPeak, peak - emptyPeak);
    std::printf("view: first frame %.1f ms, visible rows %.1f ms, attributes %.1f ms, peak %.1f MiB\n", firstFrame,
                visibleRows, attributes, peak);
    return 0;
}

int runPaint(const QStringList &arguments)
{
    if (arguments.size() == 2 && arguments.at(0) == QLatin1String("icon"))
        return BrowserBenches::iconPaint(arguments.at(1));
    const std::optional<QString> folder = folderArgument(arguments);
    if (!folder)
        return 2;
    ShownList shown(*folder);
    // Rows drawn whole: names first would leave dates, sizes and kinds out.
    if (!waitUntil([&] { return shown.view.model()->rowCount() > 0 && allAttributesRead(shown.view); }))
        return 1;
    QTreeView *outline = shown.view.outlineView();
    QWidget *viewport = outline->viewport();
    QImage frame(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    viewport->render(&frame); // fonts and icons loaded once, before timing
    QScrollBar *bar = outline->verticalScrollBar();
    std::vector<double> frames;
    constexpr int places = 20;
    for (int place = 0; place < places; ++place) {
        bar->setValue(bar->minimum() + (bar->maximum() - bar->minimum()) * place / (places - 1));
        QCoreApplication::processEvents();
        const double start = benchMilliseconds();
        viewport->render(&frame);
        frames.push_back(benchMilliseconds() - start);
    }
    std::sort(frames.begin(), frames.end());
    double total = 0;
    for (double ms : frames)
        total += ms;
    std::printf("rows: %d, viewport %dx%d\n", shown.view.model()->rowCount(), viewport->width(), viewport->height());
    std::printf("paint: mean %.2f ms, median %.2f ms, max %.2f ms a frame\n", total / places, frames[places / 2],
                frames.back());
    return 0;
}

int runResort(const QStringList &arguments)
{
    if (arguments.size() != 1)
        return 2;
    ShownList shown(arguments.at(0));
    // A sort of a folder whose attributes are read: before that, a sort by size only waits.
    if (!waitUntil([&] { return shown.view.model()->rowCount() > 0 && allAttributesRead(shown.view); }))
        return 1;
    QHeaderView *header = shown.view.outlineView()->header();
    drawFrame(shown.view);
    // As a click on a header does: the indicator moves and the model sorts; then the frame.
    double start = benchMilliseconds();
    header->setSortIndicator(ListViewModel::sizeColumn, Qt::AscendingOrder);
    const double sizeSorted = benchMilliseconds() - start;
    drawFrame(shown.view);
    const double bySize = benchMilliseconds() - start;
    start = benchMilliseconds();
    header->setSortIndicator(ListViewModel::nameColumn, Qt::AscendingOrder);
    const double nameSorted = benchMilliseconds() - start;
    drawFrame(shown.view);
    const double byName = benchMilliseconds() - start;
    std::printf("rows: %d; sorted and laid out by size in %.1f ms, by name in %.1f ms, before the frame\n",
                shown.view.model()->rowCount(), sizeSorted, nameSorted);
    std::printf("resort: size %.1f ms, name %.1f ms\n", bySize, byName);
    return 0;
}

const BenchCommandRegistrar viewRegistrar({"view", "list|icon DIR", runView, true});
const BenchCommandRegistrar paintRegistrar({"paint", "list|icon DIR", runPaint, true});
const BenchCommandRegistrar resortRegistrar({"resort", "DIR", runResort, true});

} // namespace
