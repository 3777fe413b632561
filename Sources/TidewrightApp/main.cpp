#include "AppDelegate.h"
#include "CommandLine.h"
#include "FileManagerService.h"
#include "StartupMeasurement.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/WorkQueues.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/ClassicStyle.h"
#include "FSUIKit/IconCache.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

QStringList uriStrings(const QList<QUrl> &urls)
{
    QStringList uris;
    for (const QUrl &url : urls)
        uris.append(QString::fromUtf8(url.toEncoded()));
    return uris;
}

QString startupId()
{
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    return QString::fromUtf8(token.isEmpty() ? qgetenv("DESKTOP_STARTUP_ID") : token);
}

} // namespace

int main(int argc, char **argv)
{
    StartupMeasurement::markLaunch();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tidewright"));
    QApplication::setOrganizationName(QStringLiteral("Tidewright"));
    QApplication::setDesktopFileName(QStringLiteral("tidewright"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tidewright")));
    QApplication::setQuitOnLastWindowClosed(true);

    const CommandLine::Arguments arguments =
        CommandLine::parse(QApplication::arguments().mid(1), QDir::currentPath());
    for (const QString &error : arguments.errors)
        std::fprintf(stderr, "tidewright: %s\n", qPrintable(error));
    const bool askedForNothingThatExists = !arguments.errors.isEmpty() && arguments.urls.isEmpty();

    AppDelegate delegate;
    FileManagerService service(&delegate);
    // A measurement stays off the bus, so a running Tidewright cannot take its window.
    const QDBusConnection bus = arguments.measuresStartup ? QDBusConnection(QString()) : QDBusConnection::sessionBus();
    const FileManagerService::Registration registration = service.registerOn(bus);
    switch (registration) {
    case FileManagerService::Registration::alreadyRunning: {
        if (askedForNothingThatExists)
            return 1;
        QString error;
        if (FileManagerService::forwardToRunningInstance(bus, uriStrings(arguments.urls), startupId(), &error))
            return 0;
        std::fprintf(stderr, "tidewright: the running Tidewright did not answer: %s\n", qPrintable(error));
        return 1;
    }
    case FileManagerService::Registration::registered:
    case FileManagerService::Registration::unavailable:
        break;
    }
    if (askedForNothingThatExists && !arguments.isService)
        return 1;

    ClassicStyle::apply(application);
    IconCache::indexThemeInBackground();
    // Icons of every listing handed out are fetched before the views ask for them.
    DirectoryListingCache::setOnNewListing([](const FileItemList &items) { IconCache::prefetch(items); });

    if (arguments.isService) {
        // Started only to answer a call; a process that never opened a window goes away.
        QTimer::singleShot(30'000, &delegate, [&delegate] {
            if (delegate.windows().isEmpty())
                QApplication::quit();
        });
    } else if (arguments.measuresStartup) {
        auto *measurement = new StartupMeasurement(&delegate);
        QTimer::singleShot(0, &delegate, [&delegate, measurement, urls = arguments.urls] {
            const QUrl folder = urls.isEmpty() ? PathCodec::urlForPath(QDir::homePath()) : urls.first();
            measurement->watch(delegate.openWindow(folder));
        });
    } else {
        QTimer::singleShot(0, &delegate, [&delegate, urls = arguments.urls] {
            delegate.applicationDidFinishLaunching(urls);
        });
    }
    const int status = application.exec();
    if (!WorkQueues::finishAll(3000)) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
