#pragma once

#include "FileItem.h"

#include <QHash>
#include <QString>
#include <QUrl>

#include <array>
#include <optional>
#include <span>

// The orders a folder can be shown in; the raw values are the stored form.
enum class FileSortField {
    name,
    dateModified,
    size,
    kind,
};

namespace FileSortFields {

inline constexpr std::array<FileSortField, 4> allCases = {
    FileSortField::name, FileSortField::dateModified, FileSortField::size, FileSortField::kind,
};

QString rawValue(FileSortField field);
// Exactly the four raw values, case-sensitive.
std::optional<FileSortField> fromRawValue(const QString &rawValue);
QString displayName(FileSortField field);
// What a view says while it waits for its items' attributes to sort by `field`.
QString waitingNote(FileSortField field);

} // namespace FileSortFields

// Folder sizes computed so far, by folder URL; owned by the caller.
using FolderSizeMap = QHash<QUrl, qint64>;

// Ascending, stable sorts with no secondary key: items that compare the same
// keep their order from the input (listings come in name order, so ties stay in
// name order). Every key is taken once per item before sorting; no comparison
// touches the disk.
namespace FileSorting {

FileItemList sorted(const FileItemList &items, FileSortField field, const FolderSizeMap &folderSizeCache);
// Descending too: larger, later or further in the alphabet first, items that
// compare the same still in input order.
FileItemList sorted(const FileItemList &items, FileSortField field, const FolderSizeMap &folderSizeCache,
                    bool ascending);

// `listing` of `folder` sorted, from one copy kept per (folder, field,
// direction) for as long as `listing` is what the folder's listing is. Updates
// of the listing cache bring the copies up to date in place before any view
// hears of them, so a view asking again from its update handler gets the new
// order without a sort. A few dozen copies are kept, the most recently used.
// Main thread.
FileItemList sortedItems(const QUrl &folder, const FileItemList &listing, FileSortField field, bool ascending,
                         const FolderSizeMap &folderSizeCache = {});

// The position of the item at `path` in a list in name order, or -1.
qsizetype indexInNameOrder(const FileItemList &nameOrdered, const QString &path);
// The same for an item that carries its name's key, found without making the key again.
qsizetype indexInNameOrder(std::span<const FileItem> nameOrdered, const FileItem &item);

// Three-way comparison of two items by one field: <0, 0 or >0.
int compare(const FileItem &a, const FileItem &b, FileSortField field, const FolderSizeMap &folderSizeCache);

// A folder's size from the map (0 when not computed yet); a file's own size (0
// when unknown).
qint64 size(const FileItem &item, const FolderSizeMap &folderSizeCache);

} // namespace FileSorting
