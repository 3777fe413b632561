#include "ListViewModel.h"

#include "FSPlatform/DisplayFormats.h"
#include "FSPlatform/NaturalOrder.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/DisplayNameText.h"
#include "FSUIKit/FilePasteboard.h"
#include "FSUIKit/IconCache.h"

#include <QMimeData>
#include <QSet>

#include <algorithm>
#include <limits>

// One row: the item and the keys it sorts by, taken once when the item arrives.
// A large folder has a hundred thousand of these: each field counts.
struct ListViewModel::Node
{
    FileItem item;                      // always with attributes and the key of its name
    Level *level = nullptr;             // the level that holds this row
    std::unique_ptr<Level> childLevel;  // a folder's rows, once asked for
    mutable int row = 0;                // valid unless level->isRowsDirty
    // The place in the level's name order: sorting compares these integers,
    // not the long natural-order keys.
    mutable quint32 nameRank = 0;
    qint64 size = 0;
    bool isFolder = false; // browsable, asked for every row by every layout

    const FileAttributes &attributes() const { return *item.attributeSnapshot(); }
    const QByteArray &nameKey() const { return attributes().nameSortKey; }
};

// The rows of one folder (or the search results), sorted.
struct ListViewModel::Level
{
    QUrl folder;
    Node *owner = nullptr; // the folder's row; none for the root and the search results
    std::vector<std::unique_ptr<Node>> children;
    std::vector<Node *> byName; // the same rows in name order

    // Found through the name order, by the key of the name: a hundred thousand
    // rows need no index of their own. Through the bytes for a URL, as a name
    // that is not UTF-8 would not come back the same from QUrl::toLocalFile().
    Node *find(const QUrl &url) const { return find(PathCodec::decode(PathCodec::encodePath(url))); }
    Node *find(const FileItem &item) const
    {
        const FileAttributes *attributes = item.attributeSnapshot();
        if (!attributes || attributes->nameSortKey.isEmpty())
            return find(item.path());
        return find(attributes->nameSortKey, item.path());
    }
    Node *find(const QString &path) const
    {
        return find(NaturalOrder::sortKey(PathCodec::displayForm(path.section(QLatin1Char('/'), -1))), path);
    }
    // The row after `previous` in name order when it shows `item`; ranks must be current.
    Node *findAfter(const Node &previous, const FileItem &item) const
    {
        const size_t next = size_t(previous.nameRank) + 1;
        if (next >= byName.size() || isRanksDirty)
            return nullptr;
        Node *candidate = byName[next];
        const FileAttributes *attributes = item.attributeSnapshot();
        if (!attributes || candidate->nameKey() != attributes->nameSortKey || candidate->item.path() != item.path())
            return nullptr;
        return candidate;
    }
    Node *find(const QByteArray &nameKey, const QString &path) const
    {
        auto it = std::lower_bound(byName.begin(), byName.end(), nameKey, [](const Node *node, const QByteArray &key) {
            return NaturalOrder::compareKeys(node->nameKey(), key) < 0;
        });
        for (; it != byName.end() && (*it)->nameKey() == nameKey; ++it) {
            if ((*it)->item.path() == path)
                return *it;
        }
        return nullptr;
    }

    bool isLoaded = false;
    mutable bool isRowsDirty = false;
    mutable bool isRanksDirty = false;
};

namespace {

constexpr qint64 noDate = std::numeric_limits<qint64>::min();

bool hasSameAttributes(const FileItem &a, const FileItem &b)
{
    const FileAttributes *x = a.attributeSnapshot();
    const FileAttributes *y = b.attributeSnapshot();
    if (!x || !y)
        return false;
    return x->name == y->name && x->contentType == y->contentType && x->fileSize == y->fileSize
        && x->modificationTimeNs == y->modificationTimeNs && x->inode == y->inode && x->device == y->device
        && x->labelColor == y->labelColor && x->exists == y->exists && x->isDirectory == y->isDirectory
        && x->hasFileSize == y->hasFileSize && x->hasModificationTime == y->hasModificationTime
        && x->hasStatus == y->hasStatus;
}

QString formattedDate(const FileItem &item)
{
    const std::optional<QDateTime> date = item.modificationDate();
    return date ? DisplayFormats::dateTime(*date) : QString();
}

QString formattedBytes(qint64 bytes)
{
    return DisplayFormats::byteCount(bytes);
}

// Runs of consecutive rows, as [first, last] pairs, from rows in ascending order.
std::vector<std::pair<int, int>> runsOf(const std::vector<int> &rows)
{
    std::vector<std::pair<int, int>> runs;
    for (int row : rows) {
        if (!runs.empty() && runs.back().second + 1 == row)
            runs.back().second = row;
        else
            runs.emplace_back(row, row);
    }
    return runs;
}

} // namespace

ListViewModel::ListViewModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_root(std::make_unique<Level>())
    , m_search(std::make_unique<Level>())
{
    m_search->isLoaded = true;
}

ListViewModel::~ListViewModel() = default;

FileSortField ListViewModel::sortField() const
{
    switch (m_sortKey) {
    case SortKey::name: return FileSortField::name;
    case SortKey::dateModified: return FileSortField::dateModified;
    case SortKey::size: return FileSortField::size;
    case SortKey::kind: return FileSortField::kind;
    }
    return FileSortField::name;
}

QString ListViewModel::rawValue(SortKey key)
{
    switch (key) {
    case SortKey::name: return QStringLiteral("Name");
    case SortKey::dateModified: return QStringLiteral("DateModified");
    case SortKey::size: return QStringLiteral("Size");
    case SortKey::kind: return QStringLiteral("Kind");
    }
    return {};
}

std::optional<ListViewModel::SortKey> ListViewModel::sortKeyFromRawValue(const QString &text)
{
    for (SortKey key : {SortKey::name, SortKey::dateModified, SortKey::size, SortKey::kind}) {
        if (rawValue(key) == text)
            return key;
    }
    return std::nullopt;
}

ListViewModel::SortKey ListViewModel::sortKeyForColumn(int column)
{
    switch (column) {
    case dateColumn: return SortKey::dateModified;
    case sizeColumn: return SortKey::size;
    case kindColumn: return SortKey::kind;
    default: return SortKey::name;
    }
}

// ---- the tree ----

ListViewModel::Node *ListViewModel::nodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Node *>(index.internalPointer()) : nullptr;
}

void ListViewModel::renumber(Level &level) const
{
    if (!level.isRowsDirty)
        return;
    for (size_t i = 0; i < level.children.size(); ++i)
        level.children[i]->row = int(i);
    level.isRowsDirty = false;
}

QModelIndex ListViewModel::indexOfNode(const Node *node, int column) const
{
    if (!node)
        return {};
    renumber(*node->level);
    return createIndex(node->row, column, const_cast<Node *>(node));
}

ListViewModel::Level *ListViewModel::levelOf(const QUrl &folder) const
{
    return m_levels.value(folder, nullptr);
}

bool ListViewModel::isShown(const Level *level) const
{
    while (level && level->owner)
        level = level->owner->level;
    return level == (m_isShowingSearch ? m_search.get() : m_root.get());
}

QModelIndex ListViewModel::parentIndexOf(const Level *level) const
{
    return level->owner ? indexOfNode(level->owner) : QModelIndex();
}

QModelIndex ListViewModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= columnCount_)
        return {};
    const Level *level = m_isShowingSearch ? m_search.get() : m_root.get();
    if (parent.isValid()) {
        const Node *node = nodeOf(parent);
        level = node->childLevel.get();
    }
    if (!level || row >= int(level->children.size()))
        return {};
    Node *child = level->children[size_t(row)].get();
    return createIndex(row, column, child);
}

QModelIndex ListViewModel::parent(const QModelIndex &child) const
{
    const Node *node = nodeOf(child);
    if (!node || !node->level->owner)
        return {};
    return indexOfNode(node->level->owner);
}

int ListViewModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    if (!parent.isValid())
        return int((m_isShowingSearch ? m_search : m_root)->children.size());
    const Node *node = nodeOf(parent);
    return node->childLevel ? int(node->childLevel->children.size()) : 0;
}

int ListViewModel::columnCount(const QModelIndex &parent) const
{
    return parent.column() > 0 ? 0 : columnCount_;
}

bool ListViewModel::hasChildren(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return rowCount() > 0;
    if (parent.column() > 0 || m_isShowingSearch)
        return false;
    const Node *node = nodeOf(parent);
    if (!node->isFolder)
        return false;
    return !node->childLevel || !node->childLevel->isLoaded || !node->childLevel->children.empty();
}

bool ListViewModel::canFetchMore(const QModelIndex &parent) const
{
    if (!parent.isValid() || m_isShowingSearch)
        return false;
    const Node *node = nodeOf(parent);
    return node->isFolder && !node->childLevel;
}

void ListViewModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    Node *node = nodeOf(parent);
    node->childLevel = std::make_unique<Level>();
    node->childLevel->folder = node->item.url();
    node->childLevel->owner = node;
    m_levels.insert(node->item.url(), node->childLevel.get());
    if (onFetchFolder)
        onFetchFolder(node->item.url());
}

QList<QUrl> ListViewModel::loadedFolders() const
{
    return m_levels.keys();
}

// ---- data ----

QVariant ListViewModel::data(const QModelIndex &index, int role) const
{
    const Node *node = nodeOf(index);
    if (!node)
        return {};
    const FileItem &item = node->item;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case nameColumn: return DisplayNameText::forDisplay(item.name());
        case dateColumn: return formattedDate(item);
        case sizeColumn:
            if (item.isBrowsable()) {
                const auto size = m_folderSizes.constFind(item.url());
                return size == m_folderSizes.cend() ? QStringLiteral("--") : formattedBytes(*size);
            }
            if (const std::optional<qint64> size = item.fileSize())
                return formattedBytes(*size);
            return QString();
        case kindColumn: return item.kindDescription().value_or(QString());
        }
        return {};
    case Qt::EditRole:
        return index.column() == nameColumn ? QVariant(item.name()) : QVariant();
    case Qt::ToolTipRole:
        return index.column() == nameColumn ? QVariant(DisplayNameText::forDisplay(item.name())) : QVariant();
    case Qt::DecorationRole:
        if (index.column() != nameColumn)
            return {};
        if (const auto thumbnail = m_thumbnails.constFind(item.path()); thumbnail != m_thumbnails.cend())
            return QIcon(*thumbnail);
        return IconCache::icon(item);
    case ItemRole: return QVariant::fromValue(item);
    case UrlRole: return item.url();
    case LabelColorRole: return LabelColors::rawValue(item.labelColor());
    case IsPendingSizeRole: return item.isBrowsable() && !m_folderSizes.contains(item.url());
    }
    return {};
}

QVariant ListViewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case nameColumn: return tr("Name");
    case dateColumn: return tr("Date Modified");
    case sizeColumn: return tr("Size");
    case kindColumn: return tr("Kind");
    }
    return {};
}

Qt::ItemFlags ListViewModel::flags(const QModelIndex &index) const
{
    const Node *node = nodeOf(index);
    if (!node)
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == nameColumn)
        flags |= Qt::ItemIsEditable;
    if (node->isFolder)
        flags |= Qt::ItemIsDropEnabled;
    else
        flags |= Qt::ItemNeverHasChildren;
    return flags;
}

QStringList ListViewModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *ListViewModel::mimeData(const QModelIndexList &indexes) const
{
    QList<QUrl> urls;
    QSet<QUrl> seen;
    for (const QModelIndex &index : indexes) {
        const Node *node = nodeOf(index);
        if (node && !seen.contains(node->item.url())) {
            seen.insert(node->item.url());
            urls.append(node->item.url());
        }
    }
    return urls.isEmpty() ? nullptr : FilePasteboard::mimeData(urls);
}

Qt::DropActions ListViewModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions ListViewModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

FileItem ListViewModel::itemAt(const QModelIndex &index) const
{
    const Node *node = nodeOf(index);
    return node ? node->item : FileItem();
}

FileItemList ListViewModel::rootItems() const
{
    const Level &top = m_isShowingSearch ? *m_search : *m_root;
    FileItemList items;
    items.reserve(qsizetype(top.children.size()));
    for (const auto &node : top.children)
        items.append(node->item);
    return items;
}

QModelIndex ListViewModel::indexOf(const QUrl &url) const
{
    const Level *top = m_isShowingSearch ? m_search.get() : m_root.get();
    if (const Node *node = top->find(url))
        return indexOfNode(node);
    for (const Level *level : m_levels) {
        if (level == top || !isShown(level))
            continue;
        if (const Node *node = level->find(url))
            return indexOfNode(node);
    }
    return {};
}

QUrl ListViewModel::folderOf(const QModelIndex &index) const
{
    const Node *node = nodeOf(index);
    if (!node || m_isShowingSearch)
        return m_root->folder;
    return node->level->folder;
}

QUrl ListViewModel::rootFolder() const
{
    return m_pendingRoot.value_or(m_root->folder);
}

QUrl ListViewModel::shownFolder() const
{
    return m_root->folder;
}

// ---- sorting ----

bool ListViewModel::isWaitingForAttributes() const
{
    return m_sortKey != SortKey::name && !m_rootHasAllAttributes && !m_isShowingSearch;
}

// A row's item carries its attributes and the key of its name: an item of a
// bare URL is read once here, not at every comparison.
void ListViewModel::fillKeys(Node &node) const
{
    const FileAttributes *attributes = node.item.attributeSnapshot();
    if (!attributes || attributes->nameSortKey.isEmpty()) {
        FileAttributes keyed = attributes ? *attributes : node.item.attributes();
        keyed.nameSortKey = NaturalOrder::sortKey(keyed.name);
        node.item = FileItem(node.item.url(), std::move(keyed));
        attributes = node.item.attributeSnapshot();
    }
    node.isFolder = node.item.isBrowsable();
    node.size = node.isFolder ? folderSize(node.item) : (attributes->hasFileSize ? attributes->fileSize : 0);
}

qint64 ListViewModel::dateOf(const Node &node)
{
    const FileAttributes &attributes = node.attributes();
    return attributes.hasModificationTime ? attributes.modificationTimeNs : noDate;
}

QByteArray ListViewModel::kindKeyOf(const Node &node) const
{
    const FileAttributes &attributes = node.attributes();
    auto kind = m_kindKeys.find(attributes.contentType);
    if (kind == m_kindKeys.end())
        kind = m_kindKeys.insert(attributes.contentType, NaturalOrder::sortKey(attributes.kindDescription()));
    return *kind;
}

// Folders not measured yet count as empty; most are, so most need no URL made.
qint64 ListViewModel::folderSize(const FileItem &folder) const
{
    return m_folderSizes.isEmpty() ? 0 : m_folderSizes.value(folder.url(), 0);
}

std::unique_ptr<ListViewModel::Node> ListViewModel::makeNode(const FileItem &item, Level *level) const
{
    auto node = std::make_unique<Node>();
    node->item = item;
    node->level = level;
    fillKeys(*node);
    return node;
}

bool ListViewModel::nameLess(const Node *a, const Node *b)
{
    if (const int order = NaturalOrder::compareKeys(a->nameKey(), b->nameKey()))
        return order < 0;
    // Names the order finds equal still have one place each.
    return a->item.url() < b->item.url();
}

void ListViewModel::ensureRanks(const Level &level) const
{
    if (!level.isRanksDirty)
        return;
    for (size_t i = 0; i < level.byName.size(); ++i)
        level.byName[i]->nameRank = quint32(i);
    level.isRanksDirty = false;
}

ListViewModel::SortKey ListViewModel::effectiveSortKey() const
{
    return isWaitingForAttributes() ? SortKey::name : m_sortKey;
}

// Both nodes are in one level whose ranks are current.
bool ListViewModel::lessThan(const Node &a, const Node &b) const
{
    int order = 0;
    switch (effectiveSortKey()) {
    case SortKey::name: break;
    case SortKey::dateModified: {
        const qint64 dateA = dateOf(a);
        const qint64 dateB = dateOf(b);
        order = dateA < dateB ? -1 : (dateA > dateB ? 1 : 0);
        break;
    }
    case SortKey::size: order = a.size < b.size ? -1 : (a.size > b.size ? 1 : 0); break;
    case SortKey::kind: order = NaturalOrder::compareKeys(kindKeyOf(a), kindKeyOf(b)); break;
    }
    if (order != 0)
        return m_sortAscending ? order < 0 : order > 0;
    // Ties keep name order in both directions, as the listing gave them.
    if (effectiveSortKey() == SortKey::name && !m_sortAscending)
        return a.nameRank > b.nameRank;
    return a.nameRank < b.nameRank;
}

void ListViewModel::sortNodes(std::vector<std::unique_ptr<Node>> &nodes) const
{
    if (nodes.empty())
        return;
    ensureRanks(*nodes.front()->level);
    // Sorted as plain numbers in one array: the nodes themselves lie all over the heap.
    struct Entry
    {
        qint64 key;
        quint32 rank;
        Node *node;
    };
    const SortKey key = effectiveSortKey();
    QHash<QByteArray, qint64> kindRanks;
    if (key == SortKey::kind) {
        QList<QByteArray> kinds;
        for (const auto &node : nodes) {
            const QByteArray kindKey = kindKeyOf(*node);
            if (!kindRanks.contains(kindKey)) {
                kindRanks.insert(kindKey, 0);
                kinds.append(kindKey);
            }
        }
        std::sort(kinds.begin(), kinds.end());
        for (qsizetype i = 0; i < kinds.size(); ++i)
            kindRanks[kinds.at(i)] = i;
    }
    // A listing comes in name order: sorted by name, it is in order already.
    if (key == SortKey::name) {
        const bool isInOrder = std::is_sorted(nodes.begin(), nodes.end(), [this](const auto &a, const auto &b) {
            return m_sortAscending ? a->nameRank < b->nameRank : a->nameRank > b->nameRank;
        });
        if (isInOrder)
            return;
    }
    std::vector<Entry> entries;
    entries.reserve(nodes.size());
    for (auto &node : nodes) {
        qint64 value = 0;
        switch (key) {
        case SortKey::name: break;
        case SortKey::dateModified: value = dateOf(*node); break;
        case SortKey::size: value = node->size; break;
        case SortKey::kind: value = kindRanks.value(kindKeyOf(*node)); break;
        }
        entries.push_back({value, node->nameRank, node.release()});
    }
    const bool ascending = m_sortAscending;
    const bool isByName = key == SortKey::name;
    std::sort(entries.begin(), entries.end(), [ascending, isByName](const Entry &a, const Entry &b) {
        if (a.key != b.key)
            return ascending ? a.key < b.key : a.key > b.key;
        return isByName && !ascending ? a.rank > b.rank : a.rank < b.rank;
    });
    for (size_t i = 0; i < entries.size(); ++i)
        nodes[i].reset(entries[i].node);
}

int ListViewModel::sortedPosition(const Level &level, const Node &node) const
{
    ensureRanks(level);
    const auto it = std::upper_bound(level.children.begin(), level.children.end(), &node,
                                     [this](const Node *a, const std::unique_ptr<Node> &b) { return lessThan(*a, *b); });
    return int(it - level.children.begin());
}

void ListViewModel::sortLevel(Level &level)
{
    sortNodes(level.children);
    level.isRowsDirty = true;
    renumber(level);
    for (const auto &node : level.children) {
        if (node->childLevel)
            sortLevel(*node->childLevel);
    }
}

void ListViewModel::setSort(SortKey key, bool ascending)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_sortKey = key;
    m_sortAscending = ascending;
    const QModelIndexList before = persistentIndexList();
    std::vector<Node *> nodes;
    nodes.reserve(size_t(before.size()));
    for (const QModelIndex &index : before)
        nodes.push_back(nodeOf(index));
    for (Level *level : std::as_const(m_levels)) {
        for (auto &node : level->children) {
            if (node->isFolder)
                node->size = folderSize(node->item);
        }
    }
    for (auto &node : m_search->children) {
        if (node->isFolder)
            node->size = folderSize(node->item);
    }
    sortLevel(*m_root);
    sortLevel(*m_search);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after.append(indexOfNode(nodes[size_t(i)], before.at(i).column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ListViewModel::sort(int column, Qt::SortOrder order)
{
    setSort(sortKeyForColumn(column), order == Qt::AscendingOrder);
}

void ListViewModel::setFolderSize(const QUrl &folder, qint64 bytes)
{
    m_folderSizes.insert(folder, bytes);
    for (const Level *level : {m_root.get(), m_search.get()}) {
        if (const Node *node = level->find(folder); node && isShown(level)) {
            const QModelIndex changed = indexOfNode(node, sizeColumn);
            Q_EMIT dataChanged(changed, changed);
        }
    }
    for (const Level *level : std::as_const(m_levels)) {
        if (level == m_root.get() || !isShown(level))
            continue;
        if (const Node *node = level->find(folder)) {
            const QModelIndex changed = indexOfNode(node, sizeColumn);
            Q_EMIT dataChanged(changed, changed);
        }
    }
}

void ListViewModel::setThumbnail(const QUrl &url, const QImage &image)
{
    const QString path = PathCodec::decode(PathCodec::encodePath(url));
    m_thumbnails.insert(path, QPixmap::fromImage(image));
    const QModelIndex row = indexOf(url);
    if (row.isValid())
        Q_EMIT dataChanged(row, row, {Qt::DecorationRole});
}

void ListViewModel::forgetThumbnail(const QUrl &url)
{
    m_thumbnails.remove(PathCodec::decode(PathCodec::encodePath(url)));
}

void ListViewModel::clearThumbnails()
{
    m_thumbnails.clear();
}

void ListViewModel::forgetFolderSize(const QUrl &folder)
{
    m_folderSizes.remove(folder);
}

void ListViewModel::clearFolderSizes()
{
    m_folderSizes.clear();
}

// ---- changes ----

void ListViewModel::dropLevelsBelow(Node &node)
{
    if (!node.childLevel)
        return;
    for (auto &child : node.childLevel->children)
        dropLevelsBelow(*child);
    m_levels.remove(node.childLevel->folder);
    node.childLevel.reset();
}

void ListViewModel::removeRows(Level &level, std::vector<int> rows)
{
    if (rows.empty())
        return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const bool shown = isShown(&level);
    const auto runs = runsOf(rows);
    // From the last run back, so the earlier runs keep their row numbers.
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        if (shown)
            beginRemoveRows(parentIndexOf(&level), run->first, run->second);
        const auto first = level.children.begin() + run->first;
        const auto last = level.children.begin() + run->second + 1;
        for (auto it = first; it != last; ++it) {
            dropLevelsBelow(**it);
            const auto named = std::lower_bound(level.byName.begin(), level.byName.end(), it->get(), nameLess);
            if (named != level.byName.end() && *named == it->get())
                level.byName.erase(named);
        }
        level.isRanksDirty = true;
        level.children.erase(first, last);
        level.isRowsDirty = true;
        if (shown)
            endRemoveRows();
    }
}

void ListViewModel::addToNameOrder(Level &level, std::vector<Node *> nodes)
{
    if (!std::is_sorted(nodes.begin(), nodes.end(), nameLess))
        std::sort(nodes.begin(), nodes.end(), nameLess);
    // A few new entries of a large folder: a search each, not a pass over all.
    if (nodes.size() * 64 < level.byName.size()) {
        for (Node *node : nodes)
            level.byName.insert(std::upper_bound(level.byName.begin(), level.byName.end(), node, nameLess), node);
        level.isRanksDirty = true;
        ensureRanks(level);
        return;
    }
    std::vector<Node *> merged;
    merged.reserve(level.byName.size() + nodes.size());
    std::merge(level.byName.begin(), level.byName.end(), nodes.begin(), nodes.end(), std::back_inserter(merged), nameLess);
    level.byName = std::move(merged);
    level.isRanksDirty = true;
    ensureRanks(level);
}

void ListViewModel::insertItems(Level &level, const FileItemList &items)
{
    std::vector<std::unique_ptr<Node>> fresh;
    fresh.reserve(size_t(items.size()));
    for (const FileItem &item : items) {
        if (!level.find(item))
            fresh.push_back(makeNode(item, &level));
    }
    if (fresh.empty())
        return;
    std::vector<Node *> named;
    named.reserve(fresh.size());
    for (const auto &node : fresh)
        named.push_back(node.get());
    addToNameOrder(level, std::move(named));
    sortNodes(fresh);
    const bool shown = isShown(&level);
    size_t next = 0;
    while (next < fresh.size()) {
        const int position = sortedPosition(level, *fresh[next]);
        // Every following new item that sorts before the row now at `position` lands there too.
        size_t end = next + 1;
        if (size_t(position) < level.children.size()) {
            const Node &following = *level.children[size_t(position)];
            while (end < fresh.size() && lessThan(*fresh[end], following))
                ++end;
        } else {
            end = fresh.size();
        }
        if (shown)
            beginInsertRows(parentIndexOf(&level), position, position + int(end - next) - 1);
        level.children.insert(level.children.begin() + position, std::make_move_iterator(fresh.begin() + qsizetype(next)),
                              std::make_move_iterator(fresh.begin() + qsizetype(end)));
        level.isRowsDirty = true;
        if (shown)
            endInsertRows();
        next = end;
    }
}

void ListViewModel::changeItems(Level &level, const FileItemList &items)
{
    const bool shown = isShown(&level);
    ensureRanks(level);
    std::vector<int> changedRows;
    bool hasFolderChanged = false;
    const Node *previous = nullptr;
    for (const FileItem &item : items) {
        // Changes come mostly in name order (a folder's attributes as they are
        // read): the row after the previous one is looked at first.
        Node *node = previous ? level.findAfter(*previous, item) : nullptr;
        if (!node)
            node = level.find(item);
        if (!node)
            continue;
        previous = node;
        renumber(level);
        const int oldRow = node->row;
        const bool wasFolder = node->item.isBrowsable();
        if (wasFolder && !item.isBrowsable() && node->childLevel) {
            // A folder replaced by a file of the same name: its rows go first.
            std::vector<int> all(node->childLevel->children.size());
            for (size_t i = 0; i < all.size(); ++i)
                all[i] = int(i);
            removeRows(*node->childLevel, all);
            dropLevelsBelow(*node);
        }
        node->item = item;
        fillKeys(*node);
        hasFolderChanged = hasFolderChanged || wasFolder != node->isFolder;
        // Still in sorted place when neither neighbour now sorts after/before it.
        const bool fitsBefore = oldRow == 0 || !lessThan(*node, *level.children[size_t(oldRow - 1)]);
        const bool fitsAfter = size_t(oldRow + 1) >= level.children.size()
            || !lessThan(*level.children[size_t(oldRow + 1)], *node);
        if (fitsBefore && fitsAfter) {
            changedRows.push_back(oldRow);
            continue;
        }
        std::unique_ptr<Node> moving = std::move(level.children[size_t(oldRow)]);
        level.children.erase(level.children.begin() + oldRow);
        const int newRow = sortedPosition(level, *moving);
        // beginMoveRows counts the destination in rows before the move.
        const int destination = newRow >= oldRow ? newRow + 1 : newRow;
        const bool isMoved = !shown || beginMoveRows(parentIndexOf(&level), oldRow, oldRow, parentIndexOf(&level), destination);
        level.children.insert(level.children.begin() + newRow, std::move(moving));
        level.isRowsDirty = true;
        if (shown && isMoved)
            endMoveRows();
        renumber(level);
        changedRows.push_back(newRow);
    }
    if (!shown || changedRows.empty())
        return;
    std::sort(changedRows.begin(), changedRows.end());
    changedRows.erase(std::unique(changedRows.begin(), changedRows.end()), changedRows.end());
    const QModelIndex parent = parentIndexOf(&level);
    for (const auto &[first, last] : runsOf(changedRows))
        Q_EMIT dataChanged(index(first, 0, parent), index(last, columnCount_ - 1, parent));
    // A row that became a folder or stopped being one (an entry whose type
    // readdir did not tell, a folder replaced by a file) gains or loses its
    // disclosure triangle, which a tree asks for only when it lays rows out.
    if (hasFolderChanged) {
        Q_EMIT layoutAboutToBeChanged({parent});
        Q_EMIT layoutChanged({parent});
    }
}

void ListViewModel::replaceItems(Level &level, const FileItemList &items)
{
    QSet<QString> incoming;
    incoming.reserve(items.size());
    for (const FileItem &item : items)
        incoming.insert(item.path());
    std::vector<int> removed;
    renumber(level);
    for (const auto &node : level.children) {
        if (!incoming.contains(node->item.path()))
            removed.push_back(node->row);
    }
    removeRows(level, removed);
    FileItemList inserted;
    FileItemList changed;
    for (const FileItem &item : items) {
        const Node *node = level.find(item);
        if (!node)
            inserted.append(item);
        else if (!hasSameAttributes(node->item, item))
            changed.append(item);
    }
    changeItems(level, changed);
    insertItems(level, inserted);
    level.isLoaded = true;
}

// An item listed twice gets one row. Items of one path compare the same by
// name order, so a duplicate lies next to its twin there.
void ListViewModel::dropDuplicates(Level &level, std::vector<std::unique_ptr<Node>> &nodes)
{
    QSet<const Node *> duplicates;
    for (size_t i = 1; i < level.byName.size(); ++i) {
        const Node *previous = level.byName[i - 1];
        const Node *node = level.byName[i];
        if (node->nameKey() == previous->nameKey() && node->item.path() == previous->item.path())
            duplicates.insert(node);
    }
    if (duplicates.isEmpty())
        return;
    std::erase_if(level.byName, [&](const Node *node) { return duplicates.contains(node); });
    std::erase_if(nodes, [&](const std::unique_ptr<Node> &node) { return duplicates.contains(node.get()); });
    level.isRanksDirty = true;
    ensureRanks(level);
}

void ListViewModel::replaceAll(Level &level, const FileItemList &items)
{
    std::vector<int> all(level.children.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    removeRows(level, all);
    level.byName.clear();
    if (items.isEmpty()) {
        level.isLoaded = true;
        return;
    }
    std::vector<std::unique_ptr<Node>> nodes;
    nodes.reserve(size_t(items.size()));
    for (const FileItem &item : items)
        nodes.push_back(makeNode(item, &level));
    std::vector<Node *> named;
    named.reserve(nodes.size());
    for (const auto &node : nodes)
        named.push_back(node.get());
    addToNameOrder(level, std::move(named));
    // A folder lists each entry once; search results may not.
    if (&level == m_search.get())
        dropDuplicates(level, nodes);
    sortNodes(nodes);
    const bool shown = isShown(&level);
    if (shown)
        beginInsertRows(parentIndexOf(&level), 0, int(nodes.size()) - 1);
    level.children = std::move(nodes);
    level.isRowsDirty = true;
    level.isLoaded = true;
    if (shown)
        endInsertRows();
}

void ListViewModel::setRootFolder(const QUrl &folder)
{
    m_pendingRoot = folder;
}

void ListViewModel::setRootItems(const FileItemList &items, bool hasAllAttributes)
{
    const bool wasWaiting = isWaitingForAttributes();
    if (m_pendingRoot && *m_pendingRoot != m_root->folder) {
        // Another folder: none of the old rows stays, nor any expanded folder.
        replaceAll(*m_root, {});
        m_levels.clear();
        m_root->folder = *m_pendingRoot;
        m_root->isLoaded = false;
        m_levels.insert(m_root->folder, m_root.get());
        m_rootHasAllAttributes = hasAllAttributes;
        replaceAll(*m_root, items);
    } else {
        m_levels.insert(m_root->folder, m_root.get());
        m_rootHasAllAttributes = hasAllAttributes;
        if (m_root->isLoaded && wasWaiting != isWaitingForAttributes())
            setSort(m_sortKey, m_sortAscending);
        replaceItems(*m_root, items);
    }
    m_pendingRoot.reset();
}

void ListViewModel::setFolderItems(const QUrl &folder, const FileItemList &items)
{
    Level *level = levelOf(folder);
    if (!level || level == m_root.get())
        return;
    if (!level->isLoaded)
        replaceAll(*level, items);
    else
        replaceItems(*level, items);
}

void ListViewModel::forgetFolder(const QUrl &folder)
{
    Level *level = levelOf(folder);
    if (!level || !level->owner)
        return;
    std::vector<int> all(level->children.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    removeRows(*level, all);
    dropLevelsBelow(*level->owner);
}

void ListViewModel::applyUpdate(const FolderListingUpdate &update)
{
    if (m_pendingRoot && update.folder == m_root->folder)
        return; // the old root, about to go
    Level *level = levelOf(update.folder);
    if (!level || !level->isLoaded)
        return;
    const bool wasWaiting = isWaitingForAttributes();
    if (level == m_root.get())
        m_rootHasAllAttributes = update.hasAllAttributes;
    if (wasWaiting && !isWaitingForAttributes()) {
        // The attributes the sort waited for are here: changed items first, then one re-sort.
        if (update.isWholeListing)
            replaceItems(*level, update.items);
        else {
            std::vector<int> removed;
            renumber(*level);
            for (const QUrl &url : update.removed) {
                if (const Node *node = level->find(url))
                    removed.push_back(node->row);
            }
            removeRows(*level, removed);
            for (const FileItem &item : update.changed) {
                if (Node *node = level->find(item)) {
                    node->item = item;
                    fillKeys(*node);
                }
            }
            insertItems(*level, update.inserted);
        }
        setSort(m_sortKey, m_sortAscending);
        return;
    }
    if (update.isWholeListing) {
        replaceItems(*level, update.items);
        return;
    }
    std::vector<int> removed;
    renumber(*level);
    for (const QUrl &url : update.removed) {
        if (const Node *node = level->find(url))
            removed.push_back(node->row);
    }
    removeRows(*level, removed);
    changeItems(*level, update.changed);
    // An "inserted" item already shown is a change.
    FileItemList inserted;
    FileItemList alreadyShown;
    for (const FileItem &item : update.inserted)
        (level->find(item) ? alreadyShown : inserted).append(item);
    changeItems(*level, alreadyShown);
    insertItems(*level, inserted);
}

void ListViewModel::showSearchResults(const FileItemList &items)
{
    if (m_isShowingSearch) {
        // A later delivery of the same search: rows come and go, the
        // selection stays where it was.
        replaceItems(*m_search, items);
        return;
    }
    if (!m_root->children.empty()) {
        beginRemoveRows({}, 0, int(m_root->children.size()) - 1);
        m_isShowingSearch = true;
        endRemoveRows();
    }
    m_isShowingSearch = true;
    replaceAll(*m_search, items);
}

void ListViewModel::clearSearchResults()
{
    if (!m_isShowingSearch)
        return;
    replaceAll(*m_search, {});
    if (m_root->children.empty()) {
        m_isShowingSearch = false;
        return;
    }
    beginInsertRows({}, 0, int(m_root->children.size()) - 1);
    m_isShowingSearch = false;
    endInsertRows();
}
