#pragma once

#include "FSCore/FileItem.h"
#include "FSCore/FileSorting.h"
#include "FSCore/FolderListingUpdate.h"

#include <QAbstractListModel>
#include <QUrl>

// The items of one folder in one column, in the column's sort order. Every
// change arrives as inserted, removed, moved and changed rows, never as a
// reset, so the selection, the current row and an open editor stay on their
// items.
class BrowserColumnModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { UrlRole = Qt::UserRole + 1, IsFolderRole };

    // `folder` is empty for a column of search results.
    BrowserColumnModel(const QUrl &folder, FileSortField field, QObject *parent = nullptr);

    const QUrl &folder() const { return m_folder; }
    // A listing (or a first set of results) has arrived.
    bool isLoaded() const { return m_isLoaded; }

    // Shows `items`, applying the difference from what is shown by URL.
    // `isInNameOrder` says the items come as a listing does, in natural name
    // order, which spares sorting them by name again.
    void setItems(const FileItemList &items, bool isInNameOrder = true, bool hasAllAttributes = true);
    void apply(const FolderListingUpdate &update);

    FileSortField sortField() const { return m_sortField; }
    void setSortField(FileSortField field);

    const FileItemList &items() const { return m_items; }
    FileItem itemAt(int row) const;
    int rowOf(const QUrl &url) const;
    // The first row whose name starts with `typed` as the natural order
    // compares names; -1 when none does.
    int rowForTypeAhead(const QString &typed) const;

    // Why the folder shows nothing ("can't be opened…"); empty when it lists.
    const QString &message() const { return m_message; }
    void setMessage(const QString &message);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;

Q_SIGNALS:
    void messageChanged();

private:
    // Attributes a names-first listing has not read yet cannot order a column.
    FileSortField effectiveField() const { return m_hasAllAttributes ? m_sortField : FileSortField::name; }
    bool isBefore(const FileItem &a, const FileItem &b) const;
    int insertionRow(const FileItem &item) const;
    void removeRows(QList<int> rows);
    void insertSorted(const FileItemList &sortedNewItems);
    void reorder(const FileItemList &target);
    void changeInPlace(const FileItemList &changed);

    QUrl m_folder;
    FileSortField m_sortField;
    FileItemList m_items;
    QString m_message;
    bool m_isLoaded = false;
    bool m_hasAllAttributes = true;
};
