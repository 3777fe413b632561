#include "IconViewController.h"

#include "ContextMenuCollectionView.h"
#include "IconCollectionViewItem.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/FileJob.h"
#include "FSCore/FileJobQueue.h"
#include "FSQuickLook/ThumbnailLoader.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSUIKit/FileContextMenu.h"
#include "FSUIKit/FileDropHandler.h"
#include "FSUIKit/SortedFolderModel.h"

#include <QDesktopServices>
#include <QMenu>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSet>
#include <QVBoxLayout>

namespace {

QString fileNameOf(const QUrl &url)
{
    return url.toLocalFile().section(QLatin1Char('/'), -1);
}

QUrl folderOf(const QUrl &url)
{
    const QString path = url.toLocalFile();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return QUrl::fromLocalFile(slash <= 0 ? QStringLiteral("/") : path.left(slash));
}

} // namespace

IconViewController::IconViewController(const QUrl &rootUrl, QWidget *parent)
    : QWidget(parent)
    , openFile([](const QUrl &url) { QDesktopServices::openUrl(url); })
    , m_rootUrl(rootUrl)
    , m_textSize(AppearancePreferenceStore::textSize())
{
    m_model = new SortedFolderModel(this);
    m_item = new IconCollectionViewItem(this);
    m_item->setTextSize(m_textSize);
    m_view = new ContextMenuCollectionView(this);
    m_view->setItemDelegate(m_item);
    m_view->setModel(m_model);
    m_view->setCellSize(IconCollectionViewItem::cellSize(m_textSize));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    // Every handler below lives in an object this controller owns, so none
    // outlives it.
    m_item->onCommitRename = [this](const FileItem &item, const QString &name) { commitRename(item, name); };
    m_item->thumbnailFor = [this](const FileItem &item) { return thumbnailFor(item); };
    m_item->isDropTarget = [this](const QModelIndex &index) { return m_view->isDropTarget(index); };
    m_view->menuProvider = [this](const QModelIndex &index) { return contextMenu(index); };
    setUpDrops();

    connect(m_view, &QAbstractItemView::activated, this, &IconViewController::handleActivation);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_isSelectingForTheUser && onSelectionChange)
            onSelectionChange();
    });
    connect(m_model, &SortedFolderModel::stateChanged, this, &IconViewController::updateState);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!m_selectWhenShown.isEmpty() && m_model->rowOf(m_selectWhenShown) >= 0) {
            const QUrl url = std::exchange(m_selectWhenShown, QUrl());
            selectItem(url);
        }
    });

    m_thumbnailTimer.setSingleShot(true);
    m_thumbnailTimer.setInterval(0);
    connect(&m_thumbnailTimer, &QTimer::timeout, this, &IconViewController::updateThumbnails);
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, &IconViewController::scheduleThumbnails);
    connect(m_view->verticalScrollBar(), &QScrollBar::rangeChanged, this, &IconViewController::scheduleThumbnails);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &IconViewController::scheduleThumbnails);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &IconViewController::scheduleThumbnails);
    connect(m_model, &QAbstractItemModel::rowsMoved, this, &IconViewController::scheduleThumbnails);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, &IconViewController::scheduleThumbnails);
    connect(m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                // A changed file may have a new picture.
                forgetThumbnails(topLeft.row(), bottomRight.row());
                scheduleThumbnails();
            });
}

IconViewController::~IconViewController()
{
    for (const auto &request : std::as_const(m_thumbnailRequests))
        ThumbnailLoader::cancel(request);
}

void IconViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_hasBeenShown)
        return;
    // A browser that is never shown never lists its folder.
    m_hasBeenShown = true;
    reload();
}

void IconViewController::setRoot(const QUrl &url)
{
    m_rootUrl = url;
    m_selectWhenShown.clear();
    reload();
}

void IconViewController::applyTextSize(TextSize size)
{
    m_textSize = size;
    m_item->setTextSize(size);
    m_view->setCellSize(IconCollectionViewItem::cellSize(size));
    // Thumbnails are asked for at the icon's size.
    forgetThumbnails(0, m_model->rowCount() - 1);
    m_view->viewport()->update();
    scheduleThumbnails();
}

void IconViewController::applySortField(FileSortField field)
{
    m_sortField = field;
    m_model->setSortField(field);
}

void IconViewController::showSearchResults(const FileItemList &results)
{
    m_model->showSearchResults(results);
}

void IconViewController::clearSearchResults()
{
    m_model->clearSearchResults();
}

int IconViewController::itemsPerRow() const
{
    return m_view->itemsPerRow();
}

QList<QUrl> IconViewController::selectedURLs() const
{
    QList<QUrl> urls;
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    urls.reserve(selected.size());
    for (const QModelIndex &index : selected)
        urls.append(m_model->itemAt(index).url());
    return urls;
}

QUrl IconViewController::currentDirectoryURL() const
{
    return m_rootUrl;
}

QList<FileItem> IconViewController::currentSortedItems() const
{
    return m_model->items();
}

void IconViewController::refresh()
{
    reload();
}

void IconViewController::reload()
{
    if (!m_hasBeenShown)
        return;
    if (m_model->folder() != m_rootUrl)
        m_model->setFolder(m_rootUrl);
    else
        m_model->reload();
}

void IconViewController::beginRename()
{
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return;
    const QModelIndex current = m_view->currentIndex();
    const QModelIndex index = selected.contains(current) ? current : selected.first();
    m_view->scrollTo(index);
    m_view->edit(index);
}

void IconViewController::selectItem(const QUrl &url)
{
    const QModelIndex index = m_model->indexOf(url);
    if (!index.isValid())
        return;
    const QScopedValueRollback<bool> quiet(m_isSelectingForTheUser, false);
    m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_view->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void IconViewController::handleActivation(const QModelIndex &index)
{
    const FileItem item = m_model->itemAt(index);
    if (item.url().isEmpty())
        return;
    if (item.isBrowsable()) {
        if (onOpen)
            onOpen(item.url());
        return;
    }
    if (openFile)
        openFile(item.url());
}

QMenu *IconViewController::contextMenu(const QModelIndex &index)
{
    if (!index.isValid() || index.row() >= m_model->rowCount())
        return nullptr;
    const FileItem item = m_model->itemAt(index);
    if (!m_view->selectionModel()->isSelected(index)) {
        const QScopedValueRollback<bool> quiet(m_isSelectingForTheUser, false);
        m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }

    auto *menu = new QMenu(this);
    QPointer<IconViewController> self(this);
    // These act on the clicked item only, even in a larger selection.
    auto fileOperation = [self, item](FileJob *(*makeJob)(const QList<QUrl> &, QObject *)) {
        return [self, item, makeJob] {
            if (self)
                self->runFileJob(makeJob({item.url()}, nullptr), item.url());
        };
    };
    FileContextMenu::Handlers handlers;
    handlers.onGetInfo = [self, item] {
        if (self && self->onShowInfo)
            self->onShowInfo(item);
    };
    handlers.onRename = [self] {
        if (self)
            self->beginRename();
    };
    handlers.onDuplicate = fileOperation(&FileJob::duplicate);
    handlers.onCompress = fileOperation(&FileJob::compress);
    handlers.onMoveToTrash = fileOperation(&FileJob::moveToTrash);
    handlers.onSetLabelColor = [self, item](LabelColor colour) {
        FileItem target = item;
        target.setLabelColorOrLog(colour);
        if (self)
            self->afterChange({item.url()});
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
    return menu;
}

void IconViewController::commitRename(const FileItem &item, const QString &newName)
{
    if (newName == item.name())
        return;
    // A refused name shows nothing; the old name stays.
    runFileJob(FileJob::rename(item.url(), item.fileNameForEditedName(newName)), item.url(), true);
}

// Failures are silent, as every context-menu action is; the view shows what happened.
void IconViewController::runFileJob(FileJob *job, const QUrl &item, bool selectsResult)
{
    FileJobQueue::shared()->add(job, this, [this, item, selectsResult](const FileJobResult &result) {
        QList<QUrl> touched{item};
        for (const FileJobSuccess &success : result.succeeded)
            touched.append(success.result);
        if (selectsResult && touched.size() > 1)
            m_selectWhenShown = touched.last();
        afterChange(touched);
    });
}

// The listing reads again only the entries that changed, in each folder this
// view shows that they lie in; the window then hears that files changed.
void IconViewController::afterChange(const QList<QUrl> &touched)
{
    QStringList names;
    for (const QUrl &url : touched) {
        if (folderOf(url) == m_rootUrl)
            names.append(fileNameOf(url));
    }
    if (!names.isEmpty())
        DirectoryListingCache::refresh(m_rootUrl, names);
    if (m_model->isShowingSearchResults())
        reload();
    if (onFileSystemChange)
        onFileSystemChange();
}

void IconViewController::setUpDrops()
{
    FileDropHandler *drops = m_view->dropHandler();
    // Onto a folder's icon or the background; a file's icon refuses it.
    drops->targetAt = [this](const QPoint &position) -> std::optional<FileDropHandler::Target> {
        const QModelIndex index = m_view->indexAt(position);
        if (!index.isValid())
            return FileDropHandler::Target{m_rootUrl, {}, true};
        const FileItem item = m_model->itemAt(index);
        if (!item.isBrowsable())
            return std::nullopt;
        return FileDropHandler::Target{item.url(), index, false};
    };
    drops->onSpringLoad = [this](const QUrl &folder, const QModelIndex &) {
        if (onOpen)
            onOpen(folder);
    };
    drops->onDropped = [this](const QUrl &folder, const QList<QUrl> &sources, const QList<QUrl> &placed) {
        afterChange(sources + placed + QList<QUrl>{folder});
    };
}

void IconViewController::updateState()
{
    const QString failure = m_model->failureMessage();
    m_view->setPlaceholderText(failure);
    if (m_model->isWaitingForAttributes()) {
        m_view->setNoteText(FileSortFields::waitingNote(m_model->sortField()));
    } else {
        m_view->setNoteText({});
    }
}

void IconViewController::scheduleThumbnails()
{
    if (!m_thumbnailTimer.isActive())
        m_thumbnailTimer.start();
}

// Thumbnails are made for the items on screen only; a request for an item
// that scrolled away is cancelled, and its picture let go.
void IconViewController::updateThumbnails()
{
    if (!isVisible())
        return;
    const auto [first, last] = m_view->visibleRows();
    m_model->readFirst(first, last);
    QSet<QString> onScreen;
    const int edge = IconCollectionViewItem::iconSize(m_textSize);
    for (int row = first; row <= last; ++row) {
        const FileItem item = m_model->itemAt(row);
        const QString path = item.path();
        onScreen.insert(path);
        if (m_thumbnails.contains(path) || m_thumbnailRequests.contains(path) || !ThumbnailLoader::mayHaveThumbnail(item))
            continue;
        QPointer<IconViewController> self(this);
        auto request = ThumbnailLoader::thumbnail(
            item.url(), QSizeF(edge, edge), 2.0, this, [self, item, path](const QImage &image) {
                if (!self)
                    return;
                self->m_thumbnailRequests.remove(path);
                // Only while the item is still shown as it was asked for.
                const int shownRow = self->m_model->rowOf(item.url());
                if (shownRow < 0 || self->m_model->itemAt(shownRow).attributeSnapshot() != item.attributeSnapshot())
                    return;
                self->m_thumbnails.insert(path, image);
                self->m_view->update(self->m_model->index(shownRow, 0));
            });
        if (request)
            m_thumbnailRequests.insert(path, request);
    }
    ThumbnailLoader::keepOnlyOnScreen(onScreen, m_thumbnails, m_thumbnailRequests);
}

void IconViewController::forgetThumbnails(int firstRow, int lastRow)
{
    if (m_thumbnails.isEmpty() && m_thumbnailRequests.isEmpty())
        return;
    for (int row = qMax(0, firstRow); row <= lastRow && row < m_model->rowCount(); ++row) {
        const QString path = m_model->itemAt(row).path();
        m_thumbnails.remove(path);
        if (const auto request = m_thumbnailRequests.take(path))
            ThumbnailLoader::cancel(request);
    }
}

QImage IconViewController::thumbnailFor(const FileItem &item) const
{
    if (m_thumbnails.isEmpty())
        return {};
    return m_thumbnails.value(item.path());
}
