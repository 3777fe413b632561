#pragma once

#include "FileItem.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QUrl>

// Why a folder could not be listed. The listing cache still answers such a
// folder with an empty listing; views show this instead of looking empty.
enum class ListingFailure {
    permissionDenied,
    missing,
    notAFolder,
    other,
};

namespace ListingFailures {
// "The folder “X” can’t be opened because you don’t have permission to see its contents." and its kin.
QString localizedDescription(ListingFailure failure, const QString &folderName);
} // namespace ListingFailures

// One change of a folder's listing as the cache now holds it. Views apply the
// difference as inserted, removed and changed rows; only when `isWholeListing`
// is set is nothing known about what changed, and the view compares `items`
// with what it shows, by URL.
struct FolderListingUpdate
{
    QUrl folder;
    FileItemList items;   // the whole listing now, in natural name order
    FileItemList inserted;
    QList<QUrl> removed;
    FileItemList changed; // same URLs, attributes read again
    bool isWholeListing = false;
    // False while a names-first listing still reads its entries' attributes;
    // sorting by anything but the name waits for the update that sets it.
    bool hasAllAttributes = true;
    // The listing the difference was taken from (empty for a whole listing):
    // what a holder of a copy made from it can check that copy against.
    FileItemList previousItems;
};

Q_DECLARE_METATYPE(FolderListingUpdate)

// Broadcasts every change of a stored listing, on the main thread.
class FolderListingNotifier : public QObject
{
    Q_OBJECT
public:
    static FolderListingNotifier *instance();

Q_SIGNALS:
    void listingUpdated(const FolderListingUpdate &update);
    // The folder could not be listed (again); its stored listing, if any, is gone.
    void listingFailed(const QUrl &folder, ListingFailure failure);
};
