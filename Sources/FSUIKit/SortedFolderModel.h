#pragma once

#include "FSCore/FileItem.h"
#include "FSCore/FileSorting.h"
#include "FSCore/FolderListingUpdate.h"

#include <QAbstractListModel>
#include <QHash>
#include <QUrl>

#include <optional>

// One folder's items, or a list of search results, as a flat list in one sort
// order. Changes arrive as inserted, removed, changed and moved rows in sorted
// position, never as a reset, so a view's selection, current item, scroll
// position and open editor survive every change that does not touch them.
//
// The model follows its folder by itself: it keeps the folder retained in the
// listing cache while it shows it, applies the cache's broadcast updates and
// shows why a folder cannot be listed instead of an empty folder.
//
// Items sort by the chosen field, then by name, then by path, so every item
// has exactly one place. Sorting by anything but the name waits for the
// attributes of a names-first listing; until they come the rows stay in name
// order and isWaitingForAttributes() says so.
class SortedFolderModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        FileItemRole = Qt::UserRole + 1,
        UrlRole,
    };

    explicit SortedFolderModel(QObject *parent = nullptr);
    ~SortedFolderModel() override;

    // Shows `folder`: its listing is asked of the cache and replaces the rows
    // when it arrives (at once on a hit). Until then the previous rows stay.
    // A completion for a folder shown before is dropped.
    void setFolder(const QUrl &folder);
    QUrl folder() const { return m_folder; }
    // Asks the cache for the folder again and applies the difference. The
    // folder's names come first; its attributes follow as changed rows.
    void reload();
    // Asks that the attributes of rows `firstRow` to `lastRow` (those on
    // screen) be read before the others' while they are being read.
    void readFirst(int firstRow, int lastRow) const;
    // The folder's listing as the caller has it, applied as a difference when
    // it is the folder shown, replacing the rows otherwise.
    void setItems(const QUrl &folder, const FileItemList &items);
    // A change of the shown folder; one for another folder is ignored.
    void applyUpdate(const FolderListingUpdate &update);
    // The folder cannot be listed: the rows go and failureMessage() says why.
    void setFailure(ListingFailure failure);

    // While set, the rows are these results instead of the folder's items, and
    // the folder's changes wait until the results are cleared.
    void showSearchResults(const FileItemList &results);
    void clearSearchResults();
    bool isShowingSearchResults() const { return m_isShowingSearchResults; }

    void setSortField(FileSortField field);
    FileSortField sortField() const { return m_sortField; }

    bool isLoading() const { return m_isLoading; }
    bool isWaitingForAttributes() const;
    std::optional<ListingFailure> failure() const { return m_failure; }
    // Empty unless the folder cannot be listed.
    QString failureMessage() const;

    const FileItemList &items() const { return m_items; }
    FileItem itemAt(int row) const;
    FileItem itemAt(const QModelIndex &index) const { return itemAt(index.row()); }
    // -1 when no row shows `url`.
    int rowOf(const QUrl &url) const;
    QModelIndex indexOf(const QUrl &url) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;

Q_SIGNALS:
    // Loading, waiting for attributes, or the failure changed.
    void stateChanged();
    // The rows now show the listing asked for by setFolder() or reload(), in
    // the order asked for: a sort by anything but the name waits for the
    // attributes of a folder listed names first.
    void loaded();

private:
    bool lessThan(const FileItem &a, const FileItem &b) const;
    FileSortField effectiveSortField() const;
    void sortItems(FileItemList &items) const;
    int rowOfItem(const FileItem &item) const;
    int rowOfPath(const QString &path) const;
    int rowOfEntry(const FileItem &item) const;
    void ensurePathIndex() const;

    void replaceRows(FileItemList sortedItems);
    void applyDifference(const FileItemList &items);
    void removePaths(const QList<QString> &paths);
    void insertItems(FileItemList items);
    void changeItems(const FileItemList &items);
    void resort();
    void setHasAllAttributes(bool hasAll);
    void setLoading(bool loading);
    void announceLoadedWhenSorted();
    void switchFolder(const QUrl &folder);
    const QByteArray &kindKey(const FileAttributes &attributes) const;

    void onListingUpdated(const FolderListingUpdate &update);
    void onListingFailed(const QUrl &folder, ListingFailure failure);

    QUrl m_folder;
    bool m_isRetained = false;
    // The folder whose listing the rows show; empty for search results.
    QUrl m_rowsFolder;
    FileItemList m_items;
    // Path to item, made when a change first needs it and kept up to date after.
    mutable QHash<QString, FileItem> m_byPath;
    mutable bool m_hasPathIndex = false;
    FileSortField m_sortField = FileSortField::name;
    bool m_hasAllAttributes = true;
    bool m_isShowingSearchResults = false;
    bool m_isLoading = false;
    std::optional<ListingFailure> m_failure;
    quint64 m_loadGeneration = 0;
    bool m_isLoadedPending = false; // loaded, to be announced once sorted as asked
    mutable QHash<const void *, QByteArray> m_kindKeys;
};
