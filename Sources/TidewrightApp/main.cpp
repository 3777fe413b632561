#include "AppDelegate.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSUIKit/ClassicStyle.h"
#include "FSUIKit/IconCache.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tidewright"));
    QApplication::setOrganizationName(QStringLiteral("Tidewright"));
    QApplication::setQuitOnLastWindowClosed(true);

    ClassicStyle::apply(application);
    // Icons of every listing handed out are fetched before the views ask for them.
    DirectoryListingCache::setOnNewListing([](const FileItemList &items) { IconCache::prefetch(items); });

    AppDelegate delegate;
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return application.exec();
}
