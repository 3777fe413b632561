#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

class AppDelegate;

// Tidewright on the session bus: the freedesktop.org file manager interface,
// through which other programs show folders and items ("Show in folder") and
// item properties, and through which a second launch hands its arguments to
// the running process. The interface is served under two names: the desktop's
// "org.freedesktop.FileManager1", which another file manager may own, and our
// own, which only a running Tidewright owns.
class FileManagerService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    static const QString serviceName;         // "org.tidewright.Tidewright"
    static const QString fileManagerName;     // "org.freedesktop.FileManager1"
    static const QString objectPath;          // "/org/freedesktop/FileManager1"
    static const QString interfaceName;       // "org.freedesktop.FileManager1"

    enum class Registration {
        // This process now serves both names (or ours, when another file manager has the desktop's).
        registered,
        // Another Tidewright owns our name: hand it the arguments instead.
        alreadyRunning,
        // No session bus, or it refused: go on alone.
        unavailable,
    };

    FileManagerService(AppDelegate *delegate, QObject *parent = nullptr);

    Registration registerOn(QDBusConnection bus);

    // Asks the Tidewright that owns our name on `bus` to show `uris`; false
    // when it does not answer.
    static bool forwardToRunningInstance(QDBusConnection bus, const QStringList &uris, const QString &startupId,
                                         QString *error);

public Q_SLOTS:
    Q_SCRIPTABLE void ShowFolders(const QStringList &uris, const QString &startupId);
    Q_SCRIPTABLE void ShowItems(const QStringList &uris, const QString &startupId);
    Q_SCRIPTABLE void ShowItemProperties(const QStringList &uris, const QString &startupId);

private:
    AppDelegate *m_delegate;
};
