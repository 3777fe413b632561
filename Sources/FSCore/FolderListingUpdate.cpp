#include "FolderListingUpdate.h"

#include <QCoreApplication>

namespace ListingFailures {

QString localizedDescription(ListingFailure failure, const QString &folderName)
{
    switch (failure) {
    case ListingFailure::permissionDenied:
        return QCoreApplication::translate(
                   "ListingFailure",
                   "The folder “%1” can’t be opened because you don’t have permission to see its contents.")
            .arg(folderName);
    case ListingFailure::missing:
        return QCoreApplication::translate("ListingFailure", "The folder “%1” can’t be found.").arg(folderName);
    case ListingFailure::notAFolder:
        return QCoreApplication::translate("ListingFailure", "“%1” is no longer a folder.").arg(folderName);
    case ListingFailure::other:
        break;
    }
    return QCoreApplication::translate("ListingFailure", "The folder “%1” can’t be opened.").arg(folderName);
}

} // namespace ListingFailures

FolderListingNotifier *FolderListingNotifier::instance()
{
    static FolderListingNotifier *notifier = [] {
        auto *created = new FolderListingNotifier;
        if (QCoreApplication *application = QCoreApplication::instance())
            created->moveToThread(application->thread());
        return created;
    }();
    return notifier;
}
