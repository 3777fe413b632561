#include "SortedFolderModel.h"

#include "FilePasteboard.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSPlatform/NaturalOrder.h"
#include "FSPlatform/PathCodec.h"

#include <QMimeData>
#include <QSet>

#include <algorithm>
#include <limits>
#include <numeric>
#include <vector>

namespace {

// Past this many changed rows at once, the rows are sorted again as a whole
// instead of being moved one by one.
constexpr qsizetype moveOneByOneLimit = 32;

// Every row answers from an attribute snapshot, so that sorting never asks the
// disk. Search results and other bare items get the last attributes read for
// their URL, or their name alone.
FileItem withSnapshot(const FileItem &item)
{
    if (item.hasAttributeSnapshot())
        return item;
    FileItem known = FileItem::lastKnown(item.url());
    if (known.hasAttributeSnapshot())
        return known;
    FileAttributes attributes;
    attributes.name = item.name();
    attributes.nameSortKey = NaturalOrder::sortKey(attributes.name);
    attributes.exists = true;
    attributes.hasStatus = false;
    return FileItem(item.url(), std::move(attributes));
}

const FileAttributes &attributesOf(const FileItem &item)
{
    return *item.attributeSnapshot();
}

bool hasStatus(const FileItemList &items)
{
    return std::all_of(items.cbegin(), items.cend(), [](const FileItem &item) {
        const FileAttributes *attributes = item.attributeSnapshot();
        return !attributes || attributes->hasStatus;
    });
}

bool attributesDiffer(const FileAttributes &a, const FileAttributes &b)
{
    return a.name != b.name || a.contentType != b.contentType || a.fileSize != b.fileSize
        || a.modificationTimeNs != b.modificationTimeNs || a.labelColor != b.labelColor
        || a.exists != b.exists || a.isDirectory != b.isDirectory || a.isSymbolicLink != b.isSymbolicLink
        || a.hasFileSize != b.hasFileSize || a.hasModificationTime != b.hasModificationTime
        || a.hasStatus != b.hasStatus || a.inode != b.inode;
}

qint64 dateKey(const FileAttributes &attributes)
{
    return attributes.hasModificationTime ? attributes.modificationTimeNs : std::numeric_limits<qint64>::min();
}

// Folder sizes are not known here; folders sort as items of no size.
qint64 sizeKey(const FileAttributes &attributes)
{
    if (attributes.isDirectory || !attributes.hasFileSize)
        return 0;
    return attributes.fileSize;
}

} // namespace

SortedFolderModel::SortedFolderModel(QObject *parent)
    : QAbstractListModel(parent)
{
    FolderListingNotifier *notifier = FolderListingNotifier::instance();
    connect(notifier, &FolderListingNotifier::listingUpdated, this, &SortedFolderModel::onListingUpdated);
    connect(notifier, &FolderListingNotifier::listingFailed, this, &SortedFolderModel::onListingFailed);
}

SortedFolderModel::~SortedFolderModel()
{
    if (m_isRetained)
        DirectoryListingCache::release(m_folder);
}

void SortedFolderModel::setFolder(const QUrl &folder)
{
    switchFolder(folder);
    reload();
}

void SortedFolderModel::switchFolder(const QUrl &folder)
{
    if (folder == m_folder && (m_isRetained || folder.isEmpty()))
        return;
    if (m_isRetained)
        DirectoryListingCache::release(m_folder);
    m_folder = folder;
    m_isRetained = !folder.isEmpty();
    if (m_isRetained)
        DirectoryListingCache::retain(folder);
}

void SortedFolderModel::reload()
{
    if (m_isShowingSearchResults || m_folder.isEmpty())
        return;
    const quint64 generation = ++m_loadGeneration;
    m_isLoadedPending = false;
    const QUrl folder = m_folder;
    setLoading(true);
    DirectoryListingCache::contents(
        folder, this,
        [this, folder, generation](const FileItemList &items) {
            if (generation != m_loadGeneration || folder != m_folder || m_isShowingSearchResults)
                return;
            if (const std::optional<ListingFailure> failure = DirectoryListingCache::failure(folder)) {
                setLoading(false);
                setFailure(*failure);
                Q_EMIT loaded();
                return;
            }
            setItems(folder, items);
            m_isLoadedPending = true;
            announceLoadedWhenSorted();
        },
        DirectoryListingCache::ListingDetail::namesFirst);
}

void SortedFolderModel::readFirst(int firstRow, int lastRow) const
{
    if (m_hasAllAttributes || m_isShowingSearchResults || m_rowsFolder.isEmpty())
        return;
    FileItemList unread;
    for (int row = qMax(0, firstRow); row <= lastRow && row < m_items.size(); ++row) {
        if (!attributesOf(m_items.at(row)).hasStatus)
            unread.append(m_items.at(row));
    }
    if (!unread.isEmpty())
        DirectoryListingCache::readFirst(m_rowsFolder, unread);
}

void SortedFolderModel::setItems(const QUrl &folder, const FileItemList &items)
{
    switchFolder(folder);
    // A listing handed in directly is newer than any request still under way.
    ++m_loadGeneration;
    const bool hadFailure = m_failure.has_value();
    m_failure.reset();
    if (m_isShowingSearchResults) {
        setLoading(false);
        return;
    }
    const bool hasAll = hasStatus(items);
    if (m_rowsFolder == folder && !hadFailure) {
        applyDifference(items);
        setHasAllAttributes(hasAll);
    } else {
        m_hasAllAttributes = hasAll;
        // The copy every view of this folder in this order shares.
        const FileSortField field = effectiveSortField();
        FileItemList sorted =
            field == FileSortField::name ? items : FileSorting::sortedItems(folder, items, field, true);
        sortItems(sorted);
        replaceRows(std::move(sorted));
        m_rowsFolder = folder;
    }
    m_isLoading = false;
    Q_EMIT stateChanged();
}

void SortedFolderModel::applyUpdate(const FolderListingUpdate &update)
{
    if (update.folder != m_folder || m_folder.isEmpty())
        return;
    // Search results are shown instead; clearing them lists the folder again.
    if (m_isShowingSearchResults)
        return;
    if (update.isWholeListing || m_failure || m_rowsFolder != m_folder) {
        setItems(update.folder, update.items);
        return;
    }
    QList<QString> removed;
    removed.reserve(update.removed.size());
    for (const QUrl &url : update.removed)
        removed.append(url.toLocalFile());
    removePaths(removed);
    changeItems(update.changed);
    insertItems(update.inserted);
    setHasAllAttributes(update.hasAllAttributes);
}

void SortedFolderModel::setFailure(ListingFailure failure)
{
    ++m_loadGeneration;
    m_isLoading = false;
    m_failure = failure;
    if (!m_isShowingSearchResults) {
        replaceRows({});
        m_rowsFolder = m_folder;
    }
    Q_EMIT stateChanged();
}

void SortedFolderModel::showSearchResults(const FileItemList &results)
{
    m_isLoadedPending = false;
    const bool wasShowingResults = m_isShowingSearchResults;
    m_isShowingSearchResults = true;
    ++m_loadGeneration;
    m_isLoading = false;
    if (wasShowingResults) {
        applyDifference(results);
        setHasAllAttributes(hasStatus(results));
    } else {
        m_hasAllAttributes = hasStatus(results);
        FileItemList sorted = results;
        sortItems(sorted);
        replaceRows(std::move(sorted));
        m_rowsFolder = QUrl();
    }
    Q_EMIT stateChanged();
}

void SortedFolderModel::clearSearchResults()
{
    if (!m_isShowingSearchResults)
        return;
    m_isShowingSearchResults = false;
    reload();
}

void SortedFolderModel::setSortField(FileSortField field)
{
    if (field == m_sortField)
        return;
    const FileSortField before = effectiveSortField();
    const bool wasWaiting = isWaitingForAttributes();
    m_sortField = field;
    if (effectiveSortField() != before)
        resort();
    if (wasWaiting != isWaitingForAttributes())
        Q_EMIT stateChanged();
    announceLoadedWhenSorted();
}

bool SortedFolderModel::isWaitingForAttributes() const
{
    return m_sortField != FileSortField::name && !m_hasAllAttributes;
}

QString SortedFolderModel::failureMessage() const
{
    if (!m_failure || m_isShowingSearchResults)
        return {};
    QString name = m_folder.toLocalFile().section(QLatin1Char('/'), -1);
    if (name.isEmpty())
        name = m_folder.toLocalFile();
    return ListingFailures::localizedDescription(*m_failure, name);
}

FileItem SortedFolderModel::itemAt(int row) const
{
    if (row < 0 || row >= m_items.size())
        return {};
    return m_items.at(row);
}

int SortedFolderModel::rowOf(const QUrl &url) const
{
    if (!url.isLocalFile())
        return -1;
    return rowOfPath(url.toLocalFile());
}

QModelIndex SortedFolderModel::indexOf(const QUrl &url) const
{
    const int row = rowOf(url);
    return row < 0 ? QModelIndex() : index(row, 0);
}

int SortedFolderModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant SortedFolderModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const FileItem &item = m_items.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return attributesOf(item).name;
    case FileItemRole:
        return QVariant::fromValue(item);
    case UrlRole:
        return item.url();
    default:
        return {};
    }
}

Qt::ItemFlags SortedFolderModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return m_isShowingSearchResults ? Qt::NoItemFlags : Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
    if (index.row() < m_items.size() && attributesOf(m_items.at(index.row())).isDirectory)
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

QStringList SortedFolderModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *SortedFolderModel::mimeData(const QModelIndexList &indexes) const
{
    QList<QUrl> urls;
    urls.reserve(indexes.size());
    for (const QModelIndex &index : indexes) {
        if (index.isValid() && index.row() < m_items.size())
            urls.append(m_items.at(index.row()).url());
    }
    if (urls.isEmpty())
        return nullptr;
    return FilePasteboard::mimeData(urls);
}

Qt::DropActions SortedFolderModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions SortedFolderModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

FileSortField SortedFolderModel::effectiveSortField() const
{
    return m_hasAllAttributes ? m_sortField : FileSortField::name;
}

bool SortedFolderModel::lessThan(const FileItem &a, const FileItem &b) const
{
    const FileAttributes &x = attributesOf(a);
    const FileAttributes &y = attributesOf(b);
    switch (effectiveSortField()) {
    case FileSortField::name:
        break;
    case FileSortField::dateModified:
        if (dateKey(x) != dateKey(y))
            return dateKey(x) < dateKey(y);
        break;
    case FileSortField::size:
        if (sizeKey(x) != sizeKey(y))
            return sizeKey(x) < sizeKey(y);
        break;
    case FileSortField::kind: {
        const int order = NaturalOrder::compareKeys(kindKey(x), kindKey(y));
        if (order != 0)
            return order < 0;
        break;
    }
    }
    const int order = NaturalOrder::compareKeys(x.nameSortKey, y.nameSortKey);
    if (order != 0)
        return order < 0;
    return a.path() < b.path();
}

const QByteArray &SortedFolderModel::kindKey(const FileAttributes &attributes) const
{
    auto it = m_kindKeys.find(attributes.contentType);
    if (it == m_kindKeys.end())
        it = m_kindKeys.insert(attributes.contentType, NaturalOrder::sortKey(attributes.kindDescription()));
    return *it;
}

void SortedFolderModel::sortItems(FileItemList &items) const
{
    // Only a list holding bare items is copied: a listing's is shared as it is.
    const bool hasBareItems = std::any_of(items.cbegin(), items.cend(),
                                          [](const FileItem &item) { return !item.hasAttributeSnapshot(); });
    if (hasBareItems) {
        for (FileItem &item : items) {
            if (!item.hasAttributeSnapshot())
                item = withSnapshot(item);
        }
    }
    const auto before = [this](const FileItem &a, const FileItem &b) { return lessThan(a, b); };
    // Listings come in name order already.
    if (!std::is_sorted(items.cbegin(), items.cend(), before))
        std::stable_sort(items.begin(), items.end(), before);
}

void SortedFolderModel::ensurePathIndex() const
{
    if (m_hasPathIndex)
        return;
    m_byPath.clear();
    m_byPath.reserve(m_items.size());
    for (const FileItem &item : m_items)
        m_byPath.insert(item.path(), item);
    m_hasPathIndex = true;
}

int SortedFolderModel::rowOfEntry(const FileItem &item) const
{
    // In name order an item's own key finds its row: nothing is made again,
    // which matters when a large folder's attributes arrive.
    const FileAttributes *attributes = item.attributeSnapshot();
    if (effectiveSortField() != FileSortField::name || !attributes || attributes->nameSortKey.isEmpty())
        return rowOfPath(item.path());
    const auto before = [this](const FileItem &a, const FileItem &b) { return lessThan(a, b); };
    const auto it = std::lower_bound(m_items.cbegin(), m_items.cend(), item, before);
    return it != m_items.cend() && it->path() == item.path() ? int(it - m_items.cbegin()) : -1;
}

int SortedFolderModel::rowOfPath(const QString &path) const
{
    // In name order a row's place follows from its path alone, so the rows of
    // a large folder need no index of paths for the changes of a few entries.
    if (effectiveSortField() == FileSortField::name && !m_hasPathIndex) {
        FileAttributes probe;
        probe.name = PathCodec::displayForm(path.section(QLatin1Char('/'), -1));
        probe.nameSortKey = NaturalOrder::sortKey(probe.name);
        const FileItem item(path, std::move(probe));
        const auto before = [this](const FileItem &a, const FileItem &b) { return lessThan(a, b); };
        const auto it = std::lower_bound(m_items.cbegin(), m_items.cend(), item, before);
        return it != m_items.cend() && it->path() == path ? int(it - m_items.cbegin()) : -1;
    }
    ensurePathIndex();
    const auto it = m_byPath.constFind(path);
    return it == m_byPath.constEnd() ? -1 : rowOfItem(*it);
}

int SortedFolderModel::rowOfItem(const FileItem &item) const
{
    const auto before = [this](const FileItem &a, const FileItem &b) { return lessThan(a, b); };
    const auto it = std::lower_bound(m_items.cbegin(), m_items.cend(), item, before);
    if (it != m_items.cend() && it->path() == item.path())
        return int(it - m_items.cbegin());
    // The rows are always sorted; this only guards against a broken invariant.
    for (qsizetype row = 0; row < m_items.size(); ++row) {
        if (m_items.at(row).path() == item.path())
            return int(row);
    }
    return -1;
}

void SortedFolderModel::replaceRows(FileItemList sortedItems)
{
    m_byPath.clear();
    m_hasPathIndex = false;
    if (!m_items.isEmpty()) {
        beginRemoveRows({}, 0, int(m_items.size()) - 1);
        m_items.clear();
        endRemoveRows();
    }
    if (!sortedItems.isEmpty()) {
        beginInsertRows({}, 0, int(sortedItems.size()) - 1);
        m_items = std::move(sortedItems);
        endInsertRows();
    }
}

void SortedFolderModel::applyDifference(const FileItemList &items)
{
    QHash<QString, qsizetype> incoming;
    incoming.reserve(items.size());
    for (qsizetype i = 0; i < items.size(); ++i)
        incoming.insert(items.at(i).path(), i);

    QList<QString> removed;
    FileItemList changed;
    QSet<QString> kept;
    for (const FileItem &shown : std::as_const(m_items)) {
        const auto it = incoming.constFind(shown.path());
        if (it == incoming.constEnd()) {
            removed.append(shown.path());
            continue;
        }
        kept.insert(shown.path());
        const FileItem &fresh = items.at(*it);
        const FileAttributes *freshAttributes = fresh.attributeSnapshot();
        if (freshAttributes && attributesDiffer(attributesOf(shown), *freshAttributes))
            changed.append(fresh);
    }
    FileItemList inserted;
    for (const FileItem &item : items) {
        if (!kept.contains(item.path()))
            inserted.append(item);
    }
    removePaths(removed);
    changeItems(changed);
    insertItems(inserted);
}

void SortedFolderModel::removePaths(const QList<QString> &paths)
{
    std::vector<int> rows;
    rows.reserve(size_t(paths.size()));
    for (const QString &path : paths) {
        const int row = rowOfPath(path);
        if (row >= 0)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the bottom up, one range at a time, so the rows above stay where they are.
    size_t end = rows.size();
    while (end > 0) {
        size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        const int first = rows[begin];
        const int last = rows[end - 1];
        beginRemoveRows({}, first, last);
        for (int row = first; row <= last; ++row)
            m_byPath.remove(m_items.at(row).path());
        m_items.remove(first, last - first + 1);
        endRemoveRows();
        end = begin;
    }
}

void SortedFolderModel::insertItems(FileItemList items)
{
    FileItemList present;
    FileItemList fresh;
    for (const FileItem &item : std::as_const(items)) {
        if (rowOfEntry(item) >= 0)
            present.append(item);
        else
            fresh.append(item);
    }
    if (!present.isEmpty())
        changeItems(present);
    if (fresh.isEmpty())
        return;
    sortItems(fresh);
    fresh.erase(std::unique(fresh.begin(), fresh.end(),
                            [](const FileItem &a, const FileItem &b) { return a.path() == b.path(); }),
                fresh.end());

    // Each run of new items that lands between the same two rows goes in as one range.
    struct Run
    {
        qsizetype position;
        qsizetype first;
        qsizetype count;
    };
    std::vector<Run> runs;
    const auto before = [this](const FileItem &a, const FileItem &b) { return lessThan(a, b); };
    auto from = m_items.cbegin();
    for (qsizetype i = 0; i < fresh.size(); ++i) {
        from = std::lower_bound(from, m_items.cend(), fresh.at(i), before);
        const qsizetype position = from - m_items.cbegin();
        if (!runs.empty() && runs.back().position == position)
            ++runs.back().count;
        else
            runs.push_back({position, i, 1});
    }
    // Last run first: the positions of the earlier runs stay right.
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        const int firstRow = int(run->position);
        beginInsertRows({}, firstRow, firstRow + int(run->count) - 1);
        m_items.insert(run->position, run->count, FileItem());
        for (qsizetype k = 0; k < run->count; ++k) {
            const FileItem &item = fresh.at(run->first + k);
            m_items[run->position + k] = item;
            if (m_hasPathIndex)
                m_byPath.insert(item.path(), item);
        }
        endInsertRows();
    }
}

void SortedFolderModel::changeItems(const FileItemList &items)
{
    if (items.isEmpty())
        return;
    FileItemList absent;
    // Every row is found before any changes: a changed row may be out of order
    // until the rows are sorted again.
    std::vector<std::pair<int, FileItem>> found;
    found.reserve(size_t(items.size()));
    for (const FileItem &changed : items) {
        FileItem item = withSnapshot(changed);
        const int row = rowOfEntry(item);
        if (row < 0)
            absent.append(item);
        else
            found.emplace_back(row, std::move(item));
    }
    const bool oneByOne = found.size() <= size_t(moveOneByOneLimit);
    std::vector<int> changedRows;
    for (auto &[foundRow, item] : found) {
        if (!oneByOne) {
            if (m_hasPathIndex)
                m_byPath.insert(item.path(), item);
            m_items[foundRow] = item;
            changedRows.push_back(foundRow);
            continue;
        }
        // Found again: an earlier move may have shifted it.
        const int row = rowOfEntry(item);
        if (m_hasPathIndex)
            m_byPath.insert(item.path(), item);
        const bool fitsAbove = row == 0 || !lessThan(item, m_items.at(row - 1));
        const bool fitsBelow = row + 1 >= m_items.size() || !lessThan(m_items.at(row + 1), item);
        if (fitsAbove && fitsBelow) {
            m_items[row] = item;
            Q_EMIT dataChanged(index(row, 0), index(row, 0));
            continue;
        }
        // Its place among the other rows, the row itself left out: above it
        // when it sorts before its upper neighbour, below it otherwise.
        const auto before = [this](const FileItem &a, const FileItem &b) { return lessThan(a, b); };
        const auto rowIt = m_items.cbegin() + row;
        int destination;
        qsizetype target;
        if (!fitsAbove) {
            target = std::lower_bound(m_items.cbegin(), rowIt, item, before) - m_items.cbegin();
            destination = int(target);
        } else {
            destination = int(std::lower_bound(rowIt + 1, m_items.cend(), item, before) - m_items.cbegin());
            target = destination - 1;
        }
        beginMoveRows({}, row, row, {}, destination);
        m_items.move(row, target);
        m_items[target] = item;
        endMoveRows();
        Q_EMIT dataChanged(index(int(target), 0), index(int(target), 0));
    }
    if (!changedRows.empty()) {
        // Rows that did not change keep their order among themselves: the rows
        // are in order when every changed one is with its neighbours.
        const bool isInOrder = std::all_of(changedRows.cbegin(), changedRows.cend(), [this](int row) {
            return (row == 0 || !lessThan(m_items.at(row), m_items.at(row - 1)))
                && (row + 1 >= m_items.size() || !lessThan(m_items.at(row + 1), m_items.at(row)));
        });
        if (!isInOrder) {
            resort();
        } else {
            std::sort(changedRows.begin(), changedRows.end());
            size_t begin = 0;
            while (begin < changedRows.size()) {
                size_t end = begin + 1;
                while (end < changedRows.size() && changedRows[end] <= changedRows[end - 1] + 1)
                    ++end;
                Q_EMIT dataChanged(index(changedRows[begin], 0), index(changedRows[end - 1], 0));
                begin = end;
            }
        }
    }
    if (!absent.isEmpty())
        insertItems(absent);
}

void SortedFolderModel::resort()
{
    if (m_items.size() < 2)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(size_t(m_items.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return lessThan(m_items.at(a), m_items.at(b)); });
    std::vector<int> newRowOf(order.size());
    FileItemList sorted;
    sorted.reserve(m_items.size());
    for (size_t newRow = 0; newRow < order.size(); ++newRow) {
        newRowOf[size_t(order[newRow])] = int(newRow);
        sorted.append(m_items.at(order[newRow]));
    }
    m_items = std::move(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &index : from)
        to.append(this->index(newRowOf[size_t(index.row())], index.column()));
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void SortedFolderModel::setHasAllAttributes(bool hasAll)
{
    if (hasAll == m_hasAllAttributes)
        return;
    const FileSortField before = effectiveSortField();
    m_hasAllAttributes = hasAll;
    if (effectiveSortField() != before)
        resort();
    if (m_sortField != FileSortField::name)
        Q_EMIT stateChanged();
    announceLoadedWhenSorted();
}

void SortedFolderModel::announceLoadedWhenSorted()
{
    if (!m_isLoadedPending || isWaitingForAttributes())
        return;
    m_isLoadedPending = false;
    Q_EMIT loaded();
}

void SortedFolderModel::setLoading(bool loading)
{
    if (loading == m_isLoading)
        return;
    m_isLoading = loading;
    Q_EMIT stateChanged();
}

void SortedFolderModel::onListingUpdated(const FolderListingUpdate &update)
{
    applyUpdate(update);
}

void SortedFolderModel::onListingFailed(const QUrl &folder, ListingFailure failure)
{
    if (folder != m_folder || m_folder.isEmpty() || m_isShowingSearchResults)
        return;
    setFailure(failure);
}
