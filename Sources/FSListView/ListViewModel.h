#pragma once

#include "FSCore/FileItem.h"
#include "FSCore/FileSorting.h"
#include "FSCore/FolderListingUpdate.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QPixmap>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The list view's outline: the root folder's items, and those of every folder
// expanded below it, each level kept as its own sorted copy. Changes of a
// listing arrive as inserted, removed, moved and changed rows, in sorted
// position, so the view keeps its selection, current row, scroll position,
// expanded folders and open editor. Search results replace the folder's rows
// while shown; the folder's own items are kept meanwhile.
class ListViewModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Column { nameColumn = 0, dateColumn = 1, sizeColumn = 2, kindColumn = 3, columnCount_ = 4 };
    enum Role {
        ItemRole = Qt::UserRole + 1,   // the FileItem
        UrlRole,
        LabelColorRole,                // int raw value
        IsPendingSizeRole,             // a folder whose size is not known yet
    };
    // The keys of the list view's own sort, also its columns' identifiers.
    enum class SortKey { name, dateModified, size, kind };

    explicit ListViewModel(QObject *parent = nullptr);
    ~ListViewModel() override;

    // Forgets every row and shows `folder`'s items once setRootItems() brings them.
    void setRootFolder(const QUrl &folder);
    QUrl rootFolder() const;
    // The folder whose rows are shown now: until the new root's listing
    // arrives, the old one's.
    QUrl shownFolder() const;
    // The root's whole listing: the rows change by difference from what is shown.
    void setRootItems(const FileItemList &items, bool hasAllAttributes = true);
    // Sub-folder listings arrive through this after fetchMore() asked for them.
    std::function<void(const QUrl &folder)> onFetchFolder;
    void setFolderItems(const QUrl &folder, const FileItemList &items);
    // Applies one change of a listing to the folder it concerns, when shown.
    void applyUpdate(const FolderListingUpdate &update);
    // Folders whose rows are loaded (the root and expanded ones, even collapsed again).
    QList<QUrl> loadedFolders() const;
    // Forgets the rows of a sub-folder that failed or vanished.
    void forgetFolder(const QUrl &folder);

    void showSearchResults(const FileItemList &items);
    void clearSearchResults();
    bool isShowingSearchResults() const { return m_isShowingSearch; }

    // Sorts every level again; persistent indexes (selection, editor) follow their items.
    void setSort(SortKey key, bool ascending);
    SortKey sortKey() const { return m_sortKey; }
    // The same, as the other views name it.
    FileSortField sortField() const;
    bool isSortAscending() const { return m_sortAscending; }
    // Sorting by anything but the name waits until the root's attributes are read.
    bool isWaitingForAttributes() const;

    // Folder sizes computed so far; a new size redraws its rows, a sort by
    // size takes it at the next sort.
    const FolderSizeMap &folderSizes() const { return m_folderSizes; }
    void setFolderSize(const QUrl &folder, qint64 bytes);
    void forgetFolderSize(const QUrl &folder);
    void clearFolderSizes();

    // Pictures of the files' contents, shown instead of their icons; dropped
    // with the rows' folder.
    void setThumbnail(const QUrl &url, const QImage &image);
    void forgetThumbnail(const QUrl &url);
    void clearThumbnails();

    // The top-level rows' items in shown order: the root folder's, or the
    // search results while they are shown.
    FileItemList rootItems() const;
    FileItem itemAt(const QModelIndex &index) const;
    // The first row showing `url` in the shown tree, depth first; invalid when none.
    QModelIndex indexOf(const QUrl &url) const;
    // The folder that holds `index`'s item (the root for top-level rows).
    QUrl folderOf(const QModelIndex &index) const;

    static QString rawValue(SortKey key);
    static std::optional<SortKey> sortKeyFromRawValue(const QString &rawValue);
    static SortKey sortKeyForColumn(int column);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    void sort(int column, Qt::SortOrder order) override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;

private:
    struct Node;
    struct Level;

    Node *nodeOf(const QModelIndex &index) const;
    QModelIndex indexOfNode(const Node *node, int column = 0) const;
    Level *levelOf(const QUrl &folder) const;
    bool isShown(const Level *level) const;
    QModelIndex parentIndexOf(const Level *level) const;
    bool lessThan(const Node &a, const Node &b) const;
    static bool nameLess(const Node *a, const Node *b);
    void ensureRanks(const Level &level) const;
    SortKey effectiveSortKey() const;
    void addToNameOrder(Level &level, std::vector<Node *> nodes);
    std::unique_ptr<Node> makeNode(const FileItem &item, Level *level) const;
    void fillKeys(Node &node) const;
    qint64 folderSize(const FileItem &folder) const;
    static qint64 dateOf(const Node &node);
    QByteArray kindKeyOf(const Node &node) const;
    void dropDuplicates(Level &level, std::vector<std::unique_ptr<Node>> &nodes);
    void sortLevel(Level &level);
    void sortNodes(std::vector<std::unique_ptr<Node>> &nodes) const;
    void renumber(Level &level) const;
    int sortedPosition(const Level &level, const Node &node) const;
    void removeRows(Level &level, std::vector<int> rows);
    void insertItems(Level &level, const FileItemList &items);
    void changeItems(Level &level, const FileItemList &items);
    void replaceItems(Level &level, const FileItemList &items);
    void replaceAll(Level &level, const FileItemList &items);
    void dropLevelsBelow(Node &node);

    std::unique_ptr<Level> m_root;
    std::unique_ptr<Level> m_search;
    QHash<QUrl, Level *> m_levels; // loaded folders, the root included
    std::optional<QUrl> m_pendingRoot;
    bool m_isShowingSearch = false;
    SortKey m_sortKey = SortKey::name;
    bool m_sortAscending = true;
    bool m_rootHasAllAttributes = true;
    FolderSizeMap m_folderSizes;
    QHash<QString, QPixmap> m_thumbnails; // by path
    mutable QHash<const void *, QByteArray> m_kindKeys;
};
