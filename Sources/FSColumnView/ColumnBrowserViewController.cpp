#include "ColumnBrowserViewController.h"

#include "BrowserColumnView.h"
#include "ContextMenuBrowser.h"
#include "FileBrowserCell.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/FileJob.h"
#include "FSCore/FileJobQueue.h"
#include "FSCore/FileOperations.h"
#include "FSCore/MainThread.h"
#include "FSCore/WorkQueues.h"
#include "FSPlatform/OperationError.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/FileContextMenu.h"
#include "FSUIKit/SortedFolderModel.h"

#include <QDesktopServices>
#include <QDir>
#include <QMenu>
#include <QPointer>
#include <QThreadPool>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QStringList pathComponents(const QString &path)
{
    return QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

QUrl parentUrl(const QUrl &url)
{
    const QString path = url.toLocalFile();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return PathCodec::urlForPath(slash <= 0 ? QStringLiteral("/") : path.left(slash));
}

ColumnBrowserViewController::FileOpener &fileOpener()
{
    static ColumnBrowserViewController::FileOpener opener = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    return opener;
}

} // namespace

// One selectItem(at:) on its way down the path, one listing at a time.
struct ColumnBrowserViewController::PathWalk
{
    quint64 generation;
    QUrl target;
    QStringList components;
    bool reRootWhenUnreachable;
    QUrl folder;
    QList<QUrl> folders;
    QList<FileItemList> listings;
    FileItemList found;
};

ColumnBrowserViewController::ColumnBrowserViewController(const QUrl &rootUrl, QWidget *parent)
    : QWidget(parent)
    , m_currentRoot(rootUrl)
{
    m_browser = new ContextMenuBrowser(this);
    m_cell = new FileBrowserCell(this);
    m_browser->setCellDelegate(m_cell);
    m_browser->setCellFont(FileBrowserCell::font());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);

    QPointer<ColumnBrowserViewController> self(this);
    m_browser->menuProvider = [self](int row, int column) -> QMenu * {
        return self ? self->contextMenu(row, column) : nullptr;
    };
    m_cell->setRenameHandler([self](const QUrl &url, const QString &newName) {
        if (self)
            self->commitRename(url, newName);
    });
    connect(m_browser, &ContextMenuBrowser::columnSelectionChanged, this, &ColumnBrowserViewController::columnSelectionChanged);
    connect(m_browser, &ContextMenuBrowser::columnDoubleClicked, this, &ColumnBrowserViewController::openItem);
    connect(m_browser, &ContextMenuBrowser::moveToPreviousColumnRequested, this, &ColumnBrowserViewController::moveToPreviousColumn);
    connect(m_browser, &ContextMenuBrowser::moveToNextColumnRequested, this, &ColumnBrowserViewController::moveToNextColumn);
    connect(m_browser, &ContextMenuBrowser::springLoaded, this, &ColumnBrowserViewController::springLoad);
    connect(m_browser, &ContextMenuBrowser::filesDropped, this, &ColumnBrowserViewController::filesDropped);

    openColumn(m_currentRoot.url());
}

ColumnBrowserViewController::~ColumnBrowserViewController()
{
    dropColumnsFrom(0);
}

FileItem ColumnBrowserViewController::ancestorRoot(const QUrl &url)
{
    const QString home = QDir::homePath();
    const QStringList homeComponents = pathComponents(home);
    const QStringList components = pathComponents(url.toLocalFile());
    if (homeComponents.size() < components.size()
        && std::equal(homeComponents.cbegin(), homeComponents.cend(), components.cbegin()))
        return FileItem(PathCodec::urlForPath(home));
    return FileItem(url);
}

void ColumnBrowserViewController::setFileOpener(FileOpener opener)
{
    fileOpener() = std::move(opener);
}

QList<QUrl> ColumnBrowserViewController::columnFolders() const
{
    QList<QUrl> folders;
    for (const Column &column : m_columns)
        folders.append(column.folder);
    return folders;
}

SortedFolderModel *ColumnBrowserViewController::columnModel(int index) const
{
    return index >= 0 && index < int(m_columns.size()) ? m_columns[size_t(index)].model : nullptr;
}

void ColumnBrowserViewController::setRoot(const QUrl &url)
{
    ++m_generation;
    m_currentRoot = ancestorRoot(url);
    m_lastSelectedItem.reset();
    m_pendingSelection.reset();
    dropColumnsFrom(0);
    if (m_searchResults)
        openSearchColumn();
    else
        openColumn(m_currentRoot.url());
    if (m_currentRoot.url() != url)
        selectPath(url, true);
}

void ColumnBrowserViewController::applySortField(FileSortField field)
{
    m_sortField = field;
    for (const Column &column : m_columns)
        column.model->setSortField(field);
}

void ColumnBrowserViewController::applyTextSize(TextSize size)
{
    FileBrowserCell::applyTextSize(size);
    m_browser->setCellFont(FileBrowserCell::font());
}

void ColumnBrowserViewController::showSearchResults(const FileItemList &items)
{
    const bool isShowingResults = m_searchResults && !m_columns.empty() && m_columns.front().folder.isEmpty();
    m_searchResults = items;
    if (isShowingResults) {
        // A later delivery of the same search: rows come and go, the
        // selection stays where it was.
        m_columns.front().model->showSearchResults(items);
        return;
    }
    ++m_generation;
    m_lastSelectedItem.reset();
    dropColumnsFrom(0);
    openSearchColumn();
}

void ColumnBrowserViewController::clearSearchResults()
{
    ++m_generation;
    m_searchResults.reset();
    m_lastSelectedItem.reset();
    dropColumnsFrom(0);
    openColumn(m_currentRoot.url());
}

QList<QUrl> ColumnBrowserViewController::selectedURLs() const
{
    const int index = selectedColumn();
    if (index < 0)
        return {};
    QModelIndexList selected = m_browser->column(index)->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QList<QUrl> urls;
    for (const QModelIndex &row : selected)
        urls.append(m_columns[size_t(index)].model->itemAt(row.row()).url());
    return urls;
}

QUrl ColumnBrowserViewController::currentDirectoryURL() const
{
    if (!m_lastSelectedItem)
        return m_currentRoot.url();
    if (m_lastSelectedItem->isBrowsable())
        return m_lastSelectedItem->url();
    return parentUrl(m_lastSelectedItem->url());
}

QList<FileItem> ColumnBrowserViewController::currentSortedItems() const
{
    // The column that holds the selection, so that the selected item is among
    // them: a selected folder's own contents would not hold it. The results
    // of a search are one column, whichever of them is selected.
    if (m_searchResults && !m_columns.empty())
        return m_columns.front().model->items();
    if (const int selected = selectedColumn(); selected >= 0)
        return m_columns[size_t(selected)].model->items();
    const QUrl folder = currentDirectoryURL();
    for (const Column &column : m_columns) {
        if (column.folder == folder)
            return column.model->items();
    }
    // Not shown: the main thread does not list it to answer, but a stored listing will do.
    return FileSorting::sorted(DirectoryListingCache::cachedContents(folder).value_or(FileItemList()), m_sortField, {});
}

void ColumnBrowserViewController::refresh()
{
    for (const Column &column : m_columns) {
        if (!column.folder.isEmpty())
            column.model->reload();
    }
}

void ColumnBrowserViewController::beginRename()
{
    const int index = selectedColumn();
    if (index < 0)
        return;
    BrowserColumnView *view = m_browser->column(index);
    QModelIndex item = view->currentIndex();
    if (!view->selectionModel()->isSelected(item))
        item = view->selectionModel()->selectedRows().value(0);
    if (item.isValid())
        view->edit(item);
}

void ColumnBrowserViewController::selectItem(const QUrl &url)
{
    selectPath(url, false);
}

QMenu *ColumnBrowserViewController::contextMenu(int row, int column)
{
    SortedFolderModel *model = columnModel(column);
    if (!model || row < 0 || row >= model->rowCount())
        return nullptr;
    const FileItem item = model->itemAt(row);
    // A right-click acts on the item under the pointer alone, even inside a larger selection.
    ++m_quietSelection;
    m_browser->column(column)->selectionModel()->setCurrentIndex(model->index(row), QItemSelectionModel::ClearAndSelect);
    for (int later = column + 1; later < m_browser->columnCount(); ++later)
        m_browser->column(later)->selectionModel()->clearSelection();
    --m_quietSelection;
    updateActiveColumn();
    m_lastSelectedItem = item;
    if (onSelectionChange)
        onSelectionChange(item);

    QPointer<ColumnBrowserViewController> self(this);
    const QUrl folder = parentUrl(item.url());
    FileContextMenu::Handlers handlers;
    handlers.onGetInfo = [self, item] {
        if (self && self->onShowInfo)
            self->onShowInfo(item);
    };
    handlers.onOpenInNewWindow = [self, item] {
        if (self && self->onOpenInNewWindow)
            self->onOpenInNewWindow(item);
    };
    handlers.onRename = [self] {
        if (self)
            self->beginRename();
    };
    handlers.onMoveToEnclosingFolder = [self] {
        if (self && self->onMoveToEnclosingFolder)
            self->onMoveToEnclosingFolder();
    };
    const QUrl url = item.url();
    handlers.onDuplicate = [self, url, folder] {
        if (self)
            self->runFileJob(FileJob::duplicate({url}), folder);
    };
    handlers.onCompress = [self, url, folder] {
        if (self)
            self->runFileJob(FileJob::compress({url}), folder);
    };
    handlers.onMoveToTrash = [self, url, folder] {
        if (self)
            self->runFileJob(FileJob::moveToTrash({url}), folder);
    };
    handlers.onSetLabelColor = [self, item, folder](LabelColor color) {
        if (self)
            self->writeLabelColor(item, color, folder);
    };
    auto *menu = new QMenu(this);
    menu->addActions(FileContextMenu::items(item, handlers, menu));
    return menu;
}

void ColumnBrowserViewController::openColumn(const QUrl &folder)
{
    SortedFolderModel *model = addColumnModel(folder);
    // On a hit the rows are there before this returns; on a miss they come
    // with the background listing. The model follows the folder from then on.
    model->setFolder(folder);
}

void ColumnBrowserViewController::openSearchColumn()
{
    addColumnModel(QUrl())->showSearchResults(*m_searchResults);
}

SortedFolderModel *ColumnBrowserViewController::addColumnModel(const QUrl &folder)
{
    auto *model = new SortedFolderModel(this);
    model->setSortField(m_sortField);
    m_columns.push_back({folder, model});
    // Rows the folder lost take their selection with them; that is not the
    // user choosing. Connected before the view is, so the guard is up before
    // the selection model hears of it, and down only after.
    const auto quiet = [this, model] { m_changingModels.insert(model); };
    const auto loud = [this, model] { m_changingModels.remove(model); };
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, quiet);
    connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, quiet);
    m_browser->addColumn(model);
    connect(model, &QAbstractItemModel::rowsRemoved, this, loud);
    connect(model, &QAbstractItemModel::layoutChanged, this, loud);

    connect(model, &QAbstractItemModel::rowsRemoved, this, &ColumnBrowserViewController::forgetVanishedSelection);
    connect(model, &QAbstractItemModel::rowsInserted, this, [this, model] { selectPendingItem(indexOfModel(model)); });
    connect(model, &SortedFolderModel::stateChanged, this, [this, model] { columnStateChanged(model); });
    return model;
}

void ColumnBrowserViewController::dropColumnsFrom(int index)
{
    m_browser->removeColumnsFrom(index);
    while (int(m_columns.size()) > qMax(0, index)) {
        SortedFolderModel *model = m_columns.back().model;
        m_columns.pop_back();
        disconnect(model, nullptr, this, nullptr);
        m_changingModels.remove(model);
        // Later: the column may be dropped from inside one of its model's signals.
        model->deleteLater();
    }
}

int ColumnBrowserViewController::indexOfModel(const SortedFolderModel *model) const
{
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].model == model)
            return int(i);
    }
    return -1;
}

void ColumnBrowserViewController::columnStateChanged(SortedFolderModel *model)
{
    const int index = indexOfModel(model);
    if (index < 0)
        return;
    m_browser->column(index)->viewport()->update();
    const std::optional<ListingFailure> failure = model->failure();
    if (!failure)
        return;
    const bool isGone = *failure == ListingFailure::missing || *failure == ListingFailure::notAFolder;
    if (!isGone || index == 0) {
        // The column stays to say why it is empty.
        dropColumnsFrom(index + 1);
        updateActiveColumn();
        forgetVanishedSelection();
        return;
    }
    // The folder goes with its column, and so does its row's selection in the
    // column before, which may not have heard of it yet.
    const QString gonePath = m_columns[size_t(index)].folder.toLocalFile();
    dropColumnsFrom(index);
    ++m_quietSelection;
    m_browser->column(index - 1)->selectionModel()->clearSelection();
    --m_quietSelection;
    updateActiveColumn();
    if (m_lastSelectedItem) {
        const QString path = m_lastSelectedItem->path();
        if (path == gonePath || path.startsWith(gonePath + QLatin1Char('/'))) {
            const int selected = selectedColumn();
            m_lastSelectedItem = selected < 0 ? std::nullopt : chosenItem(selected);
        }
    }
}

void ColumnBrowserViewController::columnSelectionChanged(int index)
{
    if (index < 0 || index >= int(m_columns.size()))
        return;
    const bool byUser = m_quietSelection == 0 && m_changingModels.isEmpty();
    if (byUser) {
        // What the columns after this one had selected is no longer the selection.
        ++m_quietSelection;
        for (int later = index + 1; later < m_browser->columnCount(); ++later)
            m_browser->column(later)->selectionModel()->clearSelection();
        --m_quietSelection;
    }
    followSelection(index);
    updateActiveColumn();
    if (!byUser)
        return;
    if (const std::optional<FileItem> item = chosenItem(index)) {
        m_lastSelectedItem = *item;
        if (onSelectionChange)
            onSelectionChange(*item);
    }
}

void ColumnBrowserViewController::followSelection(int index)
{
    SortedFolderModel *model = m_columns[size_t(index)].model;
    const QModelIndexList selected = m_browser->column(index)->selectionModel()->selectedRows();
    const FileItem item = selected.size() == 1 ? model->itemAt(selected.first().row()) : FileItem();
    // Search results are all leaves: they form a single column.
    const bool opensColumn = !model->folder().isEmpty() && selected.size() == 1 && item.isBrowsable();
    if (!opensColumn) {
        dropColumnsFrom(index + 1);
        return;
    }
    if (index + 1 < int(m_columns.size()) && m_columns[size_t(index) + 1].folder == item.url())
        return;
    dropColumnsFrom(index + 1);
    openColumn(item.url());
    m_browser->scrollColumnToVisible(index + 1);
}

void ColumnBrowserViewController::updateActiveColumn()
{
    const int active = selectedColumn();
    for (int index = 0; index < m_browser->columnCount(); ++index)
        m_browser->column(index)->setActiveColumn(index == active);
}

int ColumnBrowserViewController::selectedColumn() const
{
    for (int index = m_browser->columnCount() - 1; index >= 0; --index) {
        if (m_browser->column(index)->selectionModel()->hasSelection())
            return index;
    }
    return -1;
}

std::optional<FileItem> ColumnBrowserViewController::chosenItem(int index) const
{
    const BrowserColumnView *view = m_browser->column(index);
    QModelIndex item = view->currentIndex();
    if (!item.isValid() || !view->selectionModel()->isSelected(item))
        item = view->selectionModel()->selectedRows().value(0);
    if (!item.isValid())
        return std::nullopt;
    return m_columns[size_t(index)].model->itemAt(item.row());
}

void ColumnBrowserViewController::moveToPreviousColumn(int index)
{
    if (index <= 0)
        return;
    m_browser->column(index)->selectionModel()->clearSelection();
    BrowserColumnView *previous = m_browser->column(index - 1);
    previous->setFocus();
    updateActiveColumn();
    if (const std::optional<FileItem> item = chosenItem(index - 1)) {
        m_lastSelectedItem = *item;
        if (onSelectionChange)
            onSelectionChange(*item);
    }
}

void ColumnBrowserViewController::moveToNextColumn(int index)
{
    BrowserColumnView *next = m_browser->column(index + 1);
    if (!next || next->model()->rowCount() == 0)
        return;
    next->setFocus();
    next->selectionModel()->setCurrentIndex(next->model()->index(0, 0), QItemSelectionModel::ClearAndSelect);
}

void ColumnBrowserViewController::openItem(int index, const QModelIndex &item)
{
    const SortedFolderModel *model = columnModel(index);
    if (!model || !item.isValid())
        return;
    const FileItem file = model->itemAt(item.row());
    // A folder is open already, in the next column.
    if (file.isBrowsable())
        return;
    fileOpener()(file.url());
}

void ColumnBrowserViewController::springLoad(int index, int row)
{
    SortedFolderModel *model = columnModel(index);
    if (!model || row < 0 || row >= model->rowCount())
        return;
    // As a click would: the folder opens in the next column.
    m_browser->column(index)->selectionModel()->setCurrentIndex(model->index(row), QItemSelectionModel::ClearAndSelect);
}

void ColumnBrowserViewController::filesDropped(const QUrl &folder, const QList<QUrl> &sources)
{
    QList<QUrl> changed{folder};
    for (const QUrl &source : sources) {
        const QUrl sourceFolder = parentUrl(source);
        if (!changed.contains(sourceFolder))
            changed.append(sourceFolder);
    }
    for (const QUrl &changedFolder : std::as_const(changed))
        DirectoryListingCache::refresh(changedFolder);
    if (onFileSystemChange)
        onFileSystemChange();
}

void ColumnBrowserViewController::selectPath(const QUrl &url, bool reRootWhenUnreachable)
{
    const QStringList rootComponents = pathComponents(m_currentRoot.url().toLocalFile());
    const QStringList components = pathComponents(url.toLocalFile());
    if (rootComponents.size() >= components.size()
        || !std::equal(rootComponents.cbegin(), rootComponents.cend(), components.cbegin()))
        return;
    auto walk = std::make_shared<PathWalk>();
    walk->generation = m_generation;
    walk->target = url;
    walk->components = components.mid(rootComponents.size());
    walk->reRootWhenUnreachable = reRootWhenUnreachable;
    walk->folder = m_currentRoot.url();
    walkPath(walk);
}

void ColumnBrowserViewController::walkPath(const std::shared_ptr<PathWalk> &walk)
{
    DirectoryListingCache::contents(walk->folder, this, [this, walk](const FileItemList &items) {
        if (walk->generation != m_generation)
            return;
        const QString wanted = PathCodec::childUrl(walk->folder, walk->components.at(walk->found.size())).toLocalFile();
        const auto it = std::find_if(items.cbegin(), items.cend(), [&](const FileItem &item) { return item.path() == wanted; });
        if (it == items.cend()) {
            // A hidden folder, or one gone meanwhile, has no row to show the
            // path through; rather than show home while the window is inside
            // it, the folder becomes its own root.
            if (walk->reRootWhenUnreachable) {
                ++m_generation;
                m_currentRoot = FileItem(walk->target);
                dropColumnsFrom(0);
                openColumn(walk->target);
            }
            return;
        }
        walk->folders.append(walk->folder);
        walk->listings.append(items);
        walk->found.append(*it);
        if (walk->found.size() == walk->components.size()) {
            finishWalk(*walk);
            return;
        }
        walk->folder = it->url();
        walkPath(walk);
    });
}

void ColumnBrowserViewController::finishWalk(const PathWalk &walk)
{
    ++m_quietSelection;
    for (int depth = 0; depth < walk.found.size(); ++depth) {
        if (depth >= int(m_columns.size()) || m_columns[size_t(depth)].folder != walk.folders.at(depth)) {
            dropColumnsFrom(depth);
            openColumn(walk.folders.at(depth));
        }
        SortedFolderModel *model = m_columns[size_t(depth)].model;
        if (model->isLoading())
            model->setItems(walk.folders.at(depth), walk.listings.at(depth));
        const int row = model->rowOf(walk.found.at(depth).url());
        if (row < 0)
            break;
        // Selecting a folder opens the next column (followSelection).
        m_browser->column(depth)->selectionModel()->setCurrentIndex(model->index(row), QItemSelectionModel::ClearAndSelect);
    }
    --m_quietSelection;
    m_lastSelectedItem = walk.found.last();
    updateActiveColumn();
    m_browser->scrollColumnToVisible(m_browser->columnCount() - 1);
}

void ColumnBrowserViewController::selectPendingItem(int index)
{
    if (!m_pendingSelection || index >= int(m_columns.size()))
        return;
    SortedFolderModel *model = m_columns[size_t(index)].model;
    if (model->folder() != parentUrl(*m_pendingSelection))
        return;
    const int row = model->rowOf(*m_pendingSelection);
    if (row < 0)
        return;
    m_pendingSelection.reset();
    ++m_quietSelection;
    m_browser->column(index)->selectionModel()->setCurrentIndex(model->index(row), QItemSelectionModel::ClearAndSelect);
    --m_quietSelection;
    m_lastSelectedItem = model->itemAt(row);
    updateActiveColumn();
}

void ColumnBrowserViewController::forgetVanishedSelection()
{
    // Without this, a vanished folder would still be where new folders are made.
    if (!m_lastSelectedItem || m_pendingSelection == m_lastSelectedItem->url())
        return;
    const QUrl url = m_lastSelectedItem->url();
    const QUrl folder = parentUrl(url);
    for (const Column &column : m_columns) {
        const bool holdsIt = column.folder == folder || (column.folder.isEmpty() && m_searchResults);
        if (holdsIt && ((column.model->isLoading() && column.model->rowCount() == 0) || column.model->rowOf(url) >= 0))
            return;
    }
    const int index = selectedColumn();
    m_lastSelectedItem = index < 0 ? std::nullopt : chosenItem(index);
}

void ColumnBrowserViewController::commitRename(const QUrl &url, const QString &newName)
{
    std::optional<FileItem> item;
    for (const Column &column : m_columns) {
        const int row = column.model->rowOf(url);
        if (row >= 0) {
            item = column.model->itemAt(row);
            break;
        }
    }
    if (!item || newName.isEmpty() || newName == item->name())
        return;
    const QUrl folder = parentUrl(url);
    QPointer<ColumnBrowserViewController> self(this);
    WorkQueues::fileJobs()->start([self, edited = *item, newName, folder, attributes = item->attributes()]() mutable {
        QUrl renamed;
        try {
            renamed = FileOperations::renameFromDisplayName(edited, newName);
        } catch (const OperationError &) {
            // The old name stays; the view says nothing.
            return;
        }
        attributes.name = edited.fileNameForEditedName(newName);
        MainThread::post([self, renamed, folder, attributes] {
            if (!self)
                return;
            self->m_lastSelectedItem = FileItem(renamed, attributes);
            self->m_pendingSelection = renamed;
            self->fileSystemChanged(folder);
        });
    });
}

void ColumnBrowserViewController::writeLabelColor(const FileItem &item, LabelColor color, const QUrl &changedFolder)
{
    QPointer<ColumnBrowserViewController> self(this);
    WorkQueues::fileJobs()->start([self, item, color, changedFolder] {
        FileItem(item).setLabelColorOrLog(color);
        MainThread::post([self, changedFolder] {
            if (self)
                self->fileSystemChanged(changedFolder);
        });
    });
}

void ColumnBrowserViewController::runFileJob(FileJob *job, const QUrl &changedFolder)
{
    // Failures are silent in the views' menus; the folder is read again either way.
    FileJobQueue::shared()->add(job, this, [this, changedFolder](const FileJobResult &) { fileSystemChanged(changedFolder); });
}

void ColumnBrowserViewController::fileSystemChanged(const QUrl &changedFolder)
{
    DirectoryListingCache::refresh(changedFolder);
    if (onFileSystemChange)
        onFileSystemChange();
}
