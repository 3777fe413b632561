#include "BrowserColumnModel.h"

#include "FSPlatform/NaturalOrder.h"
#include "FSUIKit/FilePasteboard.h"
#include "FSUIKit/IconCache.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace {

// Paths, not URLs: a listed item makes its URL only when asked, and the
// difference of two 100,000-item listings would make 200,000 of them.
QSet<QString> pathsOf(const FileItemList &items)
{
    QSet<QString> paths;
    paths.reserve(items.size());
    for (const FileItem &item : items)
        paths.insert(item.path());
    return paths;
}

bool startsWithNaturally(const QString &name, const QString &typed)
{
    return NaturalOrder::compare(name.left(typed.size()), typed) == 0;
}

} // namespace

BrowserColumnModel::BrowserColumnModel(const QUrl &folder, FileSortField field, QObject *parent)
    : QAbstractListModel(parent)
    , m_folder(folder)
    , m_sortField(field)
{
}

void BrowserColumnModel::setItems(const FileItemList &items, bool isInNameOrder, bool hasAllAttributes)
{
    m_isLoaded = true;
    m_hasAllAttributes = hasAllAttributes;
    const FileSortField field = effectiveField();
    const FileItemList target = field == FileSortField::name && isInNameOrder ? items : FileSorting::sorted(items, field, {});

    if (m_items.isEmpty()) {
        if (target.isEmpty())
            return;
        beginInsertRows({}, 0, int(target.size()) - 1);
        m_items = target;
        endInsertRows();
        return;
    }

    const QSet<QString> targetPaths = pathsOf(target);
    QList<int> gone;
    for (int row = 0; row < m_items.size(); ++row) {
        if (!targetPaths.contains(m_items.at(row).path()))
            gone.append(row);
    }
    removeRows(gone);

    const QSet<QString> keptPaths = pathsOf(m_items);
    FileItemList keptInTargetOrder;
    keptInTargetOrder.reserve(m_items.size());
    for (const FileItem &item : target) {
        if (keptPaths.contains(item.path()))
            keptInTargetOrder.append(item);
    }
    const bool sameOrder = std::equal(m_items.cbegin(), m_items.cend(), keptInTargetOrder.cbegin(), keptInTargetOrder.cend(),
                                      [](const FileItem &a, const FileItem &b) { return a.path() == b.path(); });
    if (sameOrder) {
        // The same entries read again: their attributes may have changed.
        m_items = keptInTargetOrder;
        if (!m_items.isEmpty())
            Q_EMIT dataChanged(index(0), index(int(m_items.size()) - 1));
    } else {
        reorder(keptInTargetOrder);
    }

    // Runs of new entries go in where the target order has them; everything
    // before a run already matches the target.
    for (int row = 0; row < target.size();) {
        if (keptPaths.contains(target.at(row).path())) {
            ++row;
            continue;
        }
        int end = row;
        while (end < target.size() && !keptPaths.contains(target.at(end).path()))
            ++end;
        beginInsertRows({}, row, end - 1);
        m_items = m_items.mid(0, row) + target.mid(row, end - row) + m_items.mid(row);
        endInsertRows();
        row = end;
    }
}

void BrowserColumnModel::apply(const FolderListingUpdate &update)
{
    if (update.folder != m_folder)
        return;
    if (update.isWholeListing || !m_isLoaded) {
        setItems(update.items, true, update.hasAllAttributes);
        return;
    }
    if (!update.removed.isEmpty()) {
        QSet<QUrl> removed(update.removed.cbegin(), update.removed.cend());
        QList<int> rows;
        for (int row = 0; row < m_items.size(); ++row) {
            if (removed.contains(m_items.at(row).url()))
                rows.append(row);
        }
        removeRows(rows);
    }
    changeInPlace(update.changed);
    if (!update.inserted.isEmpty()) {
        const QSet<QString> present = pathsOf(m_items);
        FileItemList fresh;
        FileItemList alreadyShown;
        for (const FileItem &item : update.inserted)
            (present.contains(item.path()) ? alreadyShown : fresh).append(item);
        changeInPlace(alreadyShown);
        insertSorted(FileSorting::sorted(fresh, effectiveField(), {}));
    }
    if (update.hasAllAttributes != m_hasAllAttributes) {
        m_hasAllAttributes = update.hasAllAttributes;
        if (m_sortField != FileSortField::name)
            reorder(FileSorting::sorted(m_items, effectiveField(), {}));
    }
}

void BrowserColumnModel::setSortField(FileSortField field)
{
    if (field == m_sortField)
        return;
    m_sortField = field;
    reorder(FileSorting::sorted(m_items, effectiveField(), {}));
}

FileItem BrowserColumnModel::itemAt(int row) const
{
    return row >= 0 && row < m_items.size() ? m_items.at(row) : FileItem();
}

int BrowserColumnModel::rowOf(const QUrl &url) const
{
    const QString path = url.toLocalFile();
    for (int row = 0; row < m_items.size(); ++row) {
        if (m_items.at(row).path() == path)
            return row;
    }
    return -1;
}

int BrowserColumnModel::rowForTypeAhead(const QString &typed) const
{
    if (typed.isEmpty() || m_items.isEmpty())
        return -1;
    if (effectiveField() == FileSortField::name) {
        const auto it = std::lower_bound(m_items.cbegin(), m_items.cend(), typed, [](const FileItem &item, const QString &text) {
            return NaturalOrder::compare(item.name(), text) < 0;
        });
        if (it != m_items.cend() && startsWithNaturally(it->name(), typed))
            return int(it - m_items.cbegin());
    }
    // Numbers compare by value, so "File 10" starts with "File 1" yet sorts
    // after "File 2": look further than the place the text would sort at.
    for (int row = 0; row < m_items.size(); ++row) {
        if (startsWithNaturally(m_items.at(row).name(), typed))
            return row;
    }
    return -1;
}

void BrowserColumnModel::setMessage(const QString &message)
{
    if (message == m_message)
        return;
    m_message = message;
    Q_EMIT messageChanged();
}

int BrowserColumnModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant BrowserColumnModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const FileItem &item = m_items.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return item.name();
    case Qt::DecorationRole:
        return IconCache::icon(item);
    case UrlRole:
        return item.url();
    case IsFolderRole:
        return item.isBrowsable();
    default:
        return {};
    }
}

Qt::ItemFlags BrowserColumnModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList BrowserColumnModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *BrowserColumnModel::mimeData(const QModelIndexList &indexes) const
{
    QList<int> rows;
    for (const QModelIndex &index : indexes)
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QList<QUrl> urls;
    for (int row : rows)
        urls.append(m_items.at(row).url());
    return FilePasteboard::mimeData(urls);
}

Qt::DropActions BrowserColumnModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

bool BrowserColumnModel::isBefore(const FileItem &a, const FileItem &b) const
{
    return FileSorting::compare(a, b, effectiveField(), {}) < 0;
}

int BrowserColumnModel::insertionRow(const FileItem &item) const
{
    // After any equal items: a new entry goes where a fresh listing's stable sort would put it.
    const auto it = std::upper_bound(m_items.cbegin(), m_items.cend(), item,
                                     [this](const FileItem &a, const FileItem &b) { return isBefore(a, b); });
    return int(it - m_items.cbegin());
}

void BrowserColumnModel::removeRows(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    // From the end, in contiguous ranges, so the rows still to go keep their numbers.
    int end = int(rows.size()) - 1;
    while (end >= 0) {
        int start = end;
        while (start > 0 && rows.at(start - 1) == rows.at(start) - 1)
            --start;
        const int first = rows.at(start);
        const int last = rows.at(end);
        beginRemoveRows({}, first, last);
        m_items.remove(first, last - first + 1);
        endRemoveRows();
        end = start - 1;
    }
}

void BrowserColumnModel::insertSorted(const FileItemList &sortedNewItems)
{
    for (const FileItem &item : sortedNewItems) {
        const int row = insertionRow(item);
        beginInsertRows({}, row, row);
        m_items.insert(row, item);
        endInsertRows();
    }
}

void BrowserColumnModel::reorder(const FileItemList &target)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QHash<QString, int> newRows;
    newRows.reserve(target.size());
    for (int row = 0; row < target.size(); ++row)
        newRows.insert(target.at(row).path(), row);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before) {
        const int row = newRows.value(m_items.at(old.row()).path(), -1);
        after.append(row < 0 ? QModelIndex() : index(row, old.column()));
    }
    m_items = target;
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void BrowserColumnModel::changeInPlace(const FileItemList &changed)
{
    for (const FileItem &item : changed) {
        const int row = rowOf(item.url());
        if (row < 0)
            continue;
        m_items.removeAt(row);
        const int destination = insertionRow(item);
        m_items.insert(row, item);
        if (destination == row) {
            m_items[row] = item;
            Q_EMIT dataChanged(index(row), index(row));
            continue;
        }
        // A changed date or size moves the row when the column sorts by it.
        beginMoveRows({}, row, row, {}, destination > row ? destination + 1 : destination);
        m_items.move(row, destination);
        endMoveRows();
        m_items[destination] = item;
        Q_EMIT dataChanged(index(destination), index(destination));
    }
}
