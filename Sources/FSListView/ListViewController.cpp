#include "ListViewController.h"

#include "ListNameCell.h"
#include "ListOutlineView.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/FileJob.h"
#include "FSCore/FileJobQueue.h"
#include "FSCore/FolderSizeCalculator.h"
#include "FSQuickLook/ThumbnailLoader.h"
#include "FSPlatform/DisplayFormats.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSUIKit/FileContextMenu.h"
#include "FSUIKit/FileDropHandler.h"

#include <QBoxLayout>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// At the small text size. The name column grows a little with the text, and
// the kind column, the last, takes what is left.
constexpr int columnWidths[] = {260, 150, 80, 120};
constexpr int nameGrowthPerPixel = 10;

// The widest texts the date and size columns show: the longest month name,
// two-digit days and hours, and the longest number of each unit.
QStringList widestDates()
{
    QStringList dates;
    for (int month = 1; month <= 12; ++month) {
        for (const QTime time : {QTime(12, 58), QTime(23, 58)})
            dates.append(DisplayFormats::dateTime(QDateTime(QDate(2028, month, 28), time)));
    }
    return dates;
}

QStringList widestSizes()
{
    QStringList sizes{QStringLiteral("--")};
    for (const qint64 bytes : {Q_INT64_C(999), Q_INT64_C(999000), Q_INT64_C(999400000), Q_INT64_C(999440000000),
                               Q_INT64_C(999440000000000)})
        sizes.append(DisplayFormats::byteCount(bytes));
    return sizes;
}

bool hasUnreadAttributes(const FileItemList &items)
{
    return std::any_of(items.cbegin(), items.cend(), [](const FileItem &item) {
        const FileAttributes *attributes = item.attributeSnapshot();
        return attributes && !attributes->hasStatus;
    });
}

// Of a row's height, the part at its top and bottom edges where a drop goes
// between rows (into the row's folder) rather than onto the row.
constexpr double betweenRowsFraction = 0.25;

} // namespace

ListViewController::ListViewController(const QUrl &rootUrl, QWidget *parent)
    : QWidget(parent)
    , m_rootUrl(rootUrl)
    , m_textSize(AppearancePreferenceStore::textSize())
{
    m_model = new ListViewModel(this);
    m_outline = new ListOutlineView(this, this);
    m_nameCell = new ListNameCell(this);
    m_textCell = new ListTextCell(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_outline);

    m_outline->setModel(m_model);
    m_outline->setUniformRowHeights(true);
    m_outline->setItemDelegate(m_textCell);
    m_outline->setItemDelegateForColumn(ListViewModel::nameColumn, m_nameCell);
    m_outline->setAlternatingRowColors(true);
    m_outline->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_outline->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_outline->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    m_outline->setAllColumnsShowFocus(true);
    m_outline->setSortingEnabled(true);
    m_outline->header()->setSortIndicator(ListViewModel::nameColumn, Qt::AscendingOrder);
    m_outline->header()->setSectionsMovable(false);
    m_outline->header()->setStretchLastSection(true);
    m_outline->setDragEnabled(true);
    m_outline->setAcceptDrops(true);
    m_outline->setDropIndicatorShown(false);
    m_outline->setDragDropMode(QAbstractItemView::DragDrop);
    m_outline->setDefaultDropAction(Qt::MoveAction);
    m_outline->setContextMenuPolicy(Qt::CustomContextMenu);
    m_outline->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_outline->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_outline->setFrameShape(QFrame::NoFrame);

    m_message = new QLabel(m_outline->viewport());
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_message->setForegroundRole(QPalette::PlaceholderText);
    m_message->hide();
    auto *messageLayout = new QVBoxLayout(m_outline->viewport());
    messageLayout->setContentsMargins(24, 24, 24, 24);
    messageLayout->addWidget(m_message);

    setUpDrops();
    onOpenFile = [](const QUrl &url) { QDesktopServices::openUrl(url); };

    m_nameCell->onCommitRename = [this](const QUrl &url, const QString &name) { commitRename(url, name); };
    m_model->onFetchFolder = [this](const QUrl &folder) { loadFolder(folder); };

    m_visibleWork.setSingleShot(true);
    m_visibleWork.setInterval(0);
    connect(&m_visibleWork, &QTimer::timeout, this, &ListViewController::updateVisibleFolderSizes);

    connect(m_outline, &QTreeView::doubleClicked, this, &ListViewController::openIndex);
    connect(m_outline, &QWidget::customContextMenuRequested, this, &ListViewController::showContextMenu);
    connect(m_outline, &QTreeView::collapsed, this, &ListViewController::scheduleVisibleWork);
    connect(m_outline, &QTreeView::expanded, this, &ListViewController::scheduleVisibleWork);
    connect(m_outline->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (onSelectionChange)
            onSelectionChange();
    });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int, int) {
        scheduleVisibleWork();
        if (m_urlToSelect) {
            if (m_model->indexOf(*m_urlToSelect).isValid()) {
                selectItem(*m_urlToSelect);
                m_urlToSelect.reset();
            }
        }
    });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] {
        scheduleVisibleWork();
        releaseUnloadedFolders();
    });
    // Attributes that arrive may make a row's picture or a folder's size worth asking for.
    connect(m_model, &QAbstractItemModel::dataChanged, this, &ListViewController::scheduleVisibleWork);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, [this] {
        // A sort by date, size or kind may now wait for the attributes, or stop waiting.
        updateMessage();
        scheduleVisibleWork();
    });

    auto *notifier = FolderListingNotifier::instance();
    connect(notifier, &FolderListingNotifier::listingUpdated, this, &ListViewController::applyUpdate);
    connect(notifier, &FolderListingNotifier::listingFailed, this, &ListViewController::listingFailed);

    applyTextSize(m_textSize);
    setRoot(rootUrl);
}

ListViewController::~ListViewController()
{
    // Taking the focus from an open editor while the view goes commits it:
    // nothing is renamed by a view that is being destroyed.
    m_nameCell->onCommitRename = nullptr;
    for (auto &[url, calculator] : m_pendingSizeCalculators)
        calculator->cancel();
    releaseAll();
}

QTreeView *ListViewController::outlineView() const
{
    return m_outline;
}

// ---- the folder ----

void ListViewController::setRoot(const QUrl &url)
{
    m_rootUrl = url;
    resetFolderSizes();
    for (auto &[asked, request] : m_thumbnailRequests)
        ThumbnailLoader::cancel(request);
    m_thumbnailRequests.clear();
    m_thumbnailsAsked.clear();
    m_model->clearThumbnails();
    releaseAll();
    retainFolder(url);
    m_model->setRootFolder(url);
    m_failureMessage.clear();
    loadRootItems();
}

void ListViewController::retainFolder(const QUrl &folder)
{
    if (m_retainedFolders.contains(folder))
        return;
    m_retainedFolders.insert(folder);
    DirectoryListingCache::retain(folder);
}

void ListViewController::releaseAll()
{
    for (const QUrl &folder : std::as_const(m_retainedFolders))
        DirectoryListingCache::release(folder);
    m_retainedFolders.clear();
}

void ListViewController::loadRootItems()
{
    const QUrl requested = m_rootUrl;
    const quint64 generation = ++m_loadGeneration;
    DirectoryListingCache::contents(
        requested, this,
        [this, requested, generation](const FileItemList &items) {
            // A listing for a root the view has left, or older than a newer
            // request for the same root, is stale.
            if (requested != m_rootUrl || generation != m_loadGeneration)
                return;
            showListing(requested, items);
        },
        DirectoryListingCache::ListingDetail::namesFirst);
    updateMessage();
}

void ListViewController::showListing(const QUrl &folder, const FileItemList &items)
{
    const std::optional<ListingFailure> failure = items.isEmpty() ? DirectoryListingCache::failure(folder)
                                                                  : std::nullopt;
    m_failureMessage = failure ? ListingFailures::localizedDescription(*failure, FileItem::lastKnown(folder).name())
                               : QString();
    m_model->setRootItems(items, !hasUnreadAttributes(items));
    updateMessage();
    scheduleVisibleWork();
}

void ListViewController::loadFolder(const QUrl &folder)
{
    retainFolder(folder);
    DirectoryListingCache::contents(
        folder, this,
        [this, folder](const FileItemList &items) {
            if (items.isEmpty() && DirectoryListingCache::failure(folder)) {
                forgetFolder(folder);
                return;
            }
            m_model->setFolderItems(folder, items);
        },
        DirectoryListingCache::ListingDetail::namesFirst);
}

void ListViewController::forgetFolder(const QUrl &folder)
{
    m_model->forgetFolder(folder);
    releaseUnloadedFolders();
}

// Folders whose rows are gone (forgotten, or removed with a folder above them)
// need their listings kept and watched no longer.
void ListViewController::releaseUnloadedFolders()
{
    if (m_retainedFolders.size() <= 1)
        return;
    const QList<QUrl> loaded = m_model->loadedFolders();
    for (auto it = m_retainedFolders.begin(); it != m_retainedFolders.end();) {
        if (*it == m_rootUrl || loaded.contains(*it)) {
            ++it;
            continue;
        }
        DirectoryListingCache::release(*it);
        it = m_retainedFolders.erase(it);
    }
}

void ListViewController::refresh()
{
    resetFolderSizes();
    if (m_model->isShowingSearchResults()) {
        m_outline->viewport()->update();
        return;
    }
    loadRootItems();
    for (const QUrl &folder : m_model->loadedFolders()) {
        if (folder == m_rootUrl)
            continue;
        DirectoryListingCache::contents(
            folder, this,
            [this, folder](const FileItemList &items) {
                if (items.isEmpty() && DirectoryListingCache::failure(folder))
                    forgetFolder(folder);
                else
                    m_model->setFolderItems(folder, items);
            },
            DirectoryListingCache::ListingDetail::namesFirst);
    }
}

void ListViewController::applyUpdate(const FolderListingUpdate &update)
{
    if (update.folder != m_rootUrl && !m_model->loadedFolders().contains(update.folder))
        return;
    forgetWhatChanged(update);
    if (update.folder == m_rootUrl)
        m_failureMessage.clear();
    // The model leaves alone a folder it has no rows of yet, and the old root
    // while a new one is being listed.
    m_model->applyUpdate(update);
    updateMessage();
}

// Folders whose entries changed may have changed inside: their sizes are
// walked again, and pictures of changed files drawn again. Only rows on
// screen have either, so those few are looked for among the changes, not the
// changes (all of a large folder's entries, as their attributes first arrive)
// among them.
void ListViewController::forgetWhatChanged(const FolderListingUpdate &update)
{
    for (const QUrl &url : update.removed)
        forgetFolderSize(url);
    if (update.changed.isEmpty())
        return;
    // The few rows measured or pictured, by path, looked for among the changes.
    QHash<QString, QUrl> shown;
    for (const QUrl &url : pendingFolderSizeURLs())
        shown.insert(PathCodec::decode(PathCodec::encodePath(url)), url);
    for (auto it = m_model->folderSizes().cbegin(); it != m_model->folderSizes().cend(); ++it)
        shown.insert(PathCodec::decode(PathCodec::encodePath(it.key())), it.key());
    for (const QUrl &url : std::as_const(m_thumbnailsAsked))
        shown.insert(PathCodec::decode(PathCodec::encodePath(url)), url);
    if (shown.isEmpty())
        return;
    for (const FileItem &item : update.changed) {
        const auto found = shown.constFind(item.path());
        if (found == shown.cend())
            continue;
        const QUrl url = *found;
        // An entry whose attributes are read for the first time did not change.
        const FileAttributes *before = m_model->itemAt(m_model->indexOf(url)).attributeSnapshot();
        if (before && !before->hasStatus)
            continue;
        forgetFolderSize(url);
        if (m_thumbnailsAsked.remove(url))
            m_model->forgetThumbnail(url);
    }
}

void ListViewController::listingFailed(const QUrl &folder, ListingFailure failure)
{
    if (folder != m_rootUrl) {
        forgetFolder(folder);
        return;
    }
    m_model->setRootItems({});
    m_failureMessage = ListingFailures::localizedDescription(failure, FileItem::lastKnown(folder).name());
    updateMessage();
}

QString ListViewController::statusMessage() const
{
    return m_message->isHidden() ? QString() : m_message->text();
}

void ListViewController::showMessage(const QString &text)
{
    // Over rows it sits at the bottom, on the view's background, so it hides
    // as few of them as it can.
    const bool isOverRows = m_model->rowCount() > 0;
    m_message->setAlignment(isOverRows ? Qt::AlignHCenter | Qt::AlignBottom : Qt::AlignCenter);
    m_message->setSizePolicy(QSizePolicy::Preferred, isOverRows ? QSizePolicy::Maximum : QSizePolicy::Preferred);
    m_message->setAutoFillBackground(isOverRows);
    m_message->setBackgroundRole(QPalette::Base);
    if (auto *layout = qobject_cast<QBoxLayout *>(m_outline->viewport()->layout()))
        layout->setAlignment(m_message, isOverRows ? Qt::AlignBottom : Qt::Alignment());
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

void ListViewController::updateMessage()
{
    if (m_model->isShowingSearchResults())
        showMessage(m_model->rowCount() == 0 ? tr("No items match the search.") : QString());
    else if (!m_failureMessage.isEmpty())
        showMessage(m_failureMessage);
    else if (m_model->isWaitingForAttributes())
        showMessage(FileSortFields::waitingNote(m_model->sortField()));
    else
        showMessage({});
}

void ListViewController::applyTextSize(TextSize size)
{
    m_textSize = size;
    m_nameCell->setTextSize(size);
    m_textCell->setTextSize(size);
    m_message->setFont(TextSizes::font(size));
    m_thumbnailsAsked.clear();
    m_model->clearThumbnails();
    const int iconSize = int(TextSizes::rowIconSize(size));
    m_outline->setIconSize(QSize(iconSize, iconSize));
    sizeColumns();
    // Uniform row heights take the first row's height: make the layout ask again.
    m_outline->doItemsLayout();
    m_outline->viewport()->update();
    scheduleVisibleWork();
}

// Wide enough at every text size that no date or size is cut, nor any title.
void ListViewController::sizeColumns()
{
    QHeaderView *header = m_outline->header();
    const QFontMetrics headerMetrics(header->font());
    const int headerMargins = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header)
        + header->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header) + 8;
    const int growth = int(TextSizes::baseFontSize(m_textSize) - TextSizes::baseFontSize(TextSize::small));
    const int room = 8;
    for (int column = 0; column < ListViewModel::columnCount_; ++column) {
        int width = columnWidths[column];
        if (column == ListViewModel::nameColumn)
            width += growth * nameGrowthPerPixel;
        else if (column == ListViewModel::dateColumn)
            width = m_textCell->widthToShow(widestDates()) + room;
        else if (column == ListViewModel::sizeColumn)
            width = m_textCell->widthToShow(widestSizes()) + room;
        const QString title = m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        width = std::max({width, columnWidths[column], headerMetrics.horizontalAdvance(title) + headerMargins});
        header->resizeSection(column, width);
    }
}

void ListViewController::showSearchResults(const FileItemList &items)
{
    m_model->showSearchResults(items);
    updateMessage();
}

void ListViewController::clearSearchResults()
{
    m_model->clearSearchResults();
    updateMessage();
}

// ---- SelectionProviding ----

QList<QUrl> ListViewController::selectedURLs() const
{
    QModelIndexList rows = m_outline->selectionModel()->selectedRows(ListViewModel::nameColumn);
    // Rows in the order shown, expanded folders' rows among them.
    std::sort(rows.begin(), rows.end(), [this](const QModelIndex &a, const QModelIndex &b) {
        return m_outline->visualRect(a).top() < m_outline->visualRect(b).top();
    });
    QList<QUrl> urls;
    for (const QModelIndex &row : std::as_const(rows))
        urls.append(m_model->itemAt(row).url());
    return urls;
}

QList<FileItem> ListViewController::currentSortedItems() const
{
    return m_model->rootItems();
}

void ListViewController::beginRename()
{
    QModelIndex row = m_outline->currentIndex();
    if (!row.isValid() || !m_outline->selectionModel()->isRowSelected(row.row(), row.parent())) {
        const QModelIndexList selected = m_outline->selectionModel()->selectedRows();
        if (selected.isEmpty())
            return;
        row = selected.last();
    }
    const QModelIndex name = row.siblingAtColumn(ListViewModel::nameColumn);
    // The editor opens on the current row; the selection stays as it is.
    m_outline->selectionModel()->setCurrentIndex(name, QItemSelectionModel::NoUpdate);
    m_outline->scrollTo(name);
    m_outline->edit(name);
}

void ListViewController::selectItem(const QUrl &url)
{
    const QModelIndex index = m_model->indexOf(url);
    if (!index.isValid())
        return;
    m_outline->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_outline->scrollTo(index);
}

// ---- folder sizes ----

void ListViewController::resetFolderSizes()
{
    for (auto &[url, calculator] : m_pendingSizeCalculators)
        calculator->cancel();
    m_pendingSizeCalculators.clear();
    m_model->clearFolderSizes();
}

void ListViewController::forgetFolderSize(const QUrl &folder)
{
    const auto pending = m_pendingSizeCalculators.find(folder);
    if (pending != m_pendingSizeCalculators.end()) {
        pending->second->cancel();
        m_pendingSizeCalculators.erase(pending);
    }
    m_model->forgetFolderSize(folder);
    scheduleVisibleWork();
}

QList<QUrl> ListViewController::pendingFolderSizeURLs() const
{
    QList<QUrl> urls;
    for (const auto &[url, calculator] : m_pendingSizeCalculators)
        urls.append(url);
    return urls;
}

void ListViewController::scheduleVisibleWork()
{
    if (!m_visibleWork.isActive())
        m_visibleWork.start();
}

// Sizes are walked for the folder rows on screen only, two at a time; a walk
// for a row that left the screen (scrolled away, collapsed, another folder
// shown) is stopped. The attributes of the rows on screen are read first.
void ListViewController::updateVisibleFolderSizes()
{
    QList<QUrl> visibleFolders;
    FileItemList visibleFiles;
    // The rows on screen whose attributes are still to be read, by folder: read first.
    QHash<QUrl, FileItemList> unread;
    // The rows of a folder the view has left are no longer worth a walk.
    const bool isShowingRoot = m_model->shownFolder() == m_rootUrl || m_model->isShowingSearchResults();
    if (isShowingRoot && !m_outline->isColumnHidden(ListViewModel::sizeColumn) && m_outline->isVisible()) {
        const int height = m_outline->viewport()->height();
        for (QModelIndex row = m_outline->indexAt(QPoint(1, 1)); row.isValid(); row = m_outline->indexBelow(row)) {
            if (m_outline->visualRect(row).top() >= height)
                break;
            const FileItem item = m_model->itemAt(row);
            if (item.isBrowsable() && !m_model->folderSizes().contains(item.url()))
                visibleFolders.append(item.url());
            else if (!item.isBrowsable())
                visibleFiles.append(item);
            if (const FileAttributes *attributes = item.attributeSnapshot(); attributes && !attributes->hasStatus)
                unread[m_model->folderOf(row)].append(item);
        }
    }
    for (auto it = unread.cbegin(); it != unread.cend(); ++it)
        DirectoryListingCache::readFirst(it.key(), it.value());
    for (auto it = m_pendingSizeCalculators.begin(); it != m_pendingSizeCalculators.end();) {
        if (visibleFolders.contains(it->first)) {
            ++it;
            continue;
        }
        it->second->cancel();
        it = m_pendingSizeCalculators.erase(it);
    }
    for (const QUrl &folder : std::as_const(visibleFolders)) {
        if (int(m_pendingSizeCalculators.size()) >= maximumSizeWalks)
            break;
        startFolderSizeCalculation(folder);
    }
    updateVisibleThumbnails(visibleFiles);
}

// Thumbnails are asked for the files on screen only; a request for a row
// that scrolled away is dropped.
void ListViewController::updateVisibleThumbnails(const FileItemList &visibleFiles)
{
    QSet<QUrl> visible;
    for (const FileItem &item : visibleFiles) {
        if (ThumbnailLoader::mayHaveThumbnail(item))
            visible.insert(item.url());
    }
    for (auto it = m_thumbnailRequests.begin(); it != m_thumbnailRequests.end();) {
        if (visible.contains(it->first)) {
            ++it;
            continue;
        }
        ThumbnailLoader::cancel(it->second);
        m_thumbnailsAsked.remove(it->first);
        it = m_thumbnailRequests.erase(it);
    }
    const qreal edge = TextSizes::rowIconSize(m_textSize);
    const qreal scale = m_outline->devicePixelRatioF();
    for (const QUrl &url : std::as_const(visible)) {
        if (m_thumbnailsAsked.contains(url))
            continue;
        m_thumbnailsAsked.insert(url);
        const QUrl rootWhenAsked = m_rootUrl;
        auto request = ThumbnailLoader::thumbnail(url, QSizeF(edge, edge), scale, this,
                                                  [this, url, rootWhenAsked](const QImage &image) {
            m_thumbnailRequests.erase(url);
            if (rootWhenAsked == m_rootUrl && !image.isNull())
                m_model->setThumbnail(url, image);
        });
        if (request)
            m_thumbnailRequests.emplace(url, request);
    }
}

void ListViewController::startFolderSizeCalculation(const QUrl &folder)
{
    if (m_pendingSizeCalculators.count(folder))
        return;
    auto calculator = std::make_shared<FolderSizeCalculator>();
    const FolderSizeCalculator *stored = calculator.get();
    m_pendingSizeCalculators.emplace(folder, calculator);
    calculator->calculate(folder, this, [this, folder, stored](qint64 bytes) {
        // Only the calculator stored for the folder may answer: one that was
        // replaced or cancelled meanwhile is stale.
        const auto it = m_pendingSizeCalculators.find(folder);
        if (it == m_pendingSizeCalculators.end() || it->second.get() != stored)
            return;
        const std::shared_ptr<FolderSizeCalculator> finished = it->second;
        m_pendingSizeCalculators.erase(it);
        m_model->setFolderSize(folder, bytes);
        scheduleVisibleWork();
    });
}

// ---- input ----

void ListViewController::openIndex(const QModelIndex &index)
{
    const FileItem item = m_model->itemAt(index);
    if (item.url().isEmpty())
        return;
    if (item.isBrowsable()) {
        if (onOpen)
            onOpen(item.url());
    } else if (onOpenFile) {
        onOpenFile(item.url());
    }
}

void ListViewController::reportFailure(const QString &message)
{
    auto *box = new QMessageBox(QMessageBox::Warning, tr("The operation can’t be completed."),
                                tr("The operation can’t be completed."), QMessageBox::Ok, this);
    box->setInformativeText(message);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

void ListViewController::runFileJob(FileJob *job, bool selectsResult)
{
    FileJobQueue::shared()->add(job, this, [this, selectsResult](const FileJobResult &result) {
        for (const FileJobFailure &failure : result.failures)
            reportFailure(failure.message);
        if (selectsResult && !result.succeeded.isEmpty())
            m_urlToSelect = result.succeeded.first().result;
        refresh();
        if (onFileSystemChange)
            onFileSystemChange();
    });
}

void ListViewController::commitRename(const QUrl &url, const QString &newName)
{
    const QString path = url.toLocalFile();
    const QModelIndex shown = m_model->indexOf(url);
    // The row holds the attributes the listing read, among them whether the
    // extension is hidden: the edited name is the shown one, not the file's.
    const FileItem item = shown.isValid() ? m_model->itemAt(shown) : FileItem::lastKnown(url);
    if (newName == path.mid(path.lastIndexOf(QLatin1Char('/')) + 1) || newName == item.name())
        return;
    runFileJob(FileJob::rename(url, item.fileNameForEditedName(newName)), true);
}

void ListViewController::showContextMenu(const QPoint &position)
{
    const QModelIndex clicked = m_outline->indexAt(position);
    const FileItem item = m_model->itemAt(clicked);
    if (!clicked.isValid() || item.url().isEmpty())
        return;
    if (!m_outline->selectionModel()->isRowSelected(clicked.row(), clicked.parent()))
        m_outline->selectionModel()->setCurrentIndex(clicked, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QPointer<ListViewController> self(this);
    FileContextMenu::Handlers handlers;
    handlers.onGetInfo = [self, item] {
        if (self && self->onShowInfo)
            self->onShowInfo(item);
    };
    handlers.onRename = [self] {
        if (self)
            self->beginRename();
    };
    handlers.onDuplicate = [self, item] {
        if (self)
            self->runFileJob(FileJob::duplicate({item.url()}), true);
    };
    handlers.onCompress = [self, item] {
        if (self)
            self->runFileJob(FileJob::compress({item.url()}), true);
    };
    handlers.onMoveToTrash = [self, item] {
        if (self)
            self->runFileJob(FileJob::moveToTrash({item.url()}), false);
    };
    handlers.onSetLabelColor = [self, item](LabelColor color) {
        if (!self)
            return;
        FileItem(item.url()).setLabelColorOrLog(color);
        self->refresh();
        if (self->onFileSystemChange)
            self->onFileSystemChange();
    };
    handlers.onOpenInNewWindow = [self, item] {
        if (self && self->onOpenInNewWindow)
            self->onOpenInNewWindow(item);
    };
    handlers.onMoveToEnclosingFolder = [self] {
        if (self && self->onMoveToEnclosingFolder)
            self->onMoveToEnclosingFolder();
    };
    menu->addActions(FileContextMenu::items(item, handlers, menu));
    menu->popup(m_outline->viewport()->mapToGlobal(position));
}

// ---- drops ----

void ListViewController::setUpDrops()
{
    FileDropHandler *drops = m_outline->dropHandler();
    // Onto a folder's row, or between rows into the folder that holds them
    // (the shown folder below the last row); a file's row refuses it.
    drops->targetAt = [this](const QPoint &position) -> std::optional<FileDropHandler::Target> {
        const QModelIndex row = m_outline->indexAt(position);
        if (!row.isValid())
            return FileDropHandler::Target{m_rootUrl, {}, true};
        const FileItem item = m_model->itemAt(row);
        const QRect rect = m_outline->visualRect(row);
        const int edge = int(rect.height() * betweenRowsFraction);
        const bool isBetweenRows = position.y() < rect.top() + edge || position.y() >= rect.bottom() - edge;
        if (item.isBrowsable() && !isBetweenRows)
            return FileDropHandler::Target{item.url(), row.siblingAtColumn(ListViewModel::nameColumn), false};
        if (m_model->isShowingSearchResults() || !isBetweenRows)
            return std::nullopt;
        const QUrl folder = m_model->folderOf(row);
        return FileDropHandler::Target{folder, {}, folder == m_rootUrl};
    };
    drops->onSpringLoad = [this](const QUrl &folder, const QModelIndex &) {
        if (onOpen)
            onOpen(folder);
    };
    drops->onDropped = [this](const QUrl &, const QList<QUrl> &, const QList<QUrl> &) {
        refresh();
        if (onFileSystemChange)
            onFileSystemChange();
    };
}
