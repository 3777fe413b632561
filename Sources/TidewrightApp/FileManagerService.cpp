#include "FileManagerService.h"

#include "AppDelegate.h"

#include "FSPlatform/PathCodec.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QUrl>

const QString FileManagerService::serviceName = QStringLiteral("org.tidewright.Tidewright");
const QString FileManagerService::fileManagerName = QStringLiteral("org.freedesktop.FileManager1");
const QString FileManagerService::objectPath = QStringLiteral("/org/freedesktop/FileManager1");
const QString FileManagerService::interfaceName = QStringLiteral("org.freedesktop.FileManager1");

namespace {

// Other programs send URIs of any scheme; only local files can be shown, and
// each in the one URL form the windows compare with.
QList<QUrl> localUrls(const QStringList &uris)
{
    QList<QUrl> urls;
    for (const QString &uri : uris) {
        const QUrl url(uri);
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            urls.append(PathCodec::urlForPath(url.toLocalFile()));
    }
    return urls;
}

} // namespace

FileManagerService::FileManagerService(AppDelegate *delegate, QObject *parent)
    : QObject(parent)
    , m_delegate(delegate)
{
}

FileManagerService::Registration FileManagerService::registerOn(QDBusConnection bus)
{
    if (!bus.isConnected())
        return Registration::unavailable;
    // The object first: a call that arrives as soon as the name is ours must find it.
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots))
        return Registration::unavailable;
    if (!bus.registerService(serviceName)) {
        bus.unregisterObject(objectPath);
        const bool isTaken = bus.interface() && bus.interface()->isServiceRegistered(serviceName);
        return isTaken ? Registration::alreadyRunning : Registration::unavailable;
    }
    // Another file manager may hold the desktop's name; it keeps it.
    bus.registerService(fileManagerName);
    return Registration::registered;
}

bool FileManagerService::forwardToRunningInstance(QDBusConnection bus, const QStringList &uris,
                                                  const QString &startupId, QString *error)
{
    // A plain message rather than an interface object, which would first ask the
    // running process to describe itself, waiting 25 seconds for a hung one.
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName, objectPath, interfaceName,
                                                       QStringLiteral("ShowFolders"));
    call << uris << startupId;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10'000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    if (error)
        *error = reply.errorMessage();
    return false;
}

void FileManagerService::ShowFolders(const QStringList &uris, const QString &)
{
    const QList<QUrl> urls = localUrls(uris);
    if (uris.isEmpty())
        m_delegate->newWindow();
    else
        m_delegate->showFolders(urls);
}

void FileManagerService::ShowItems(const QStringList &uris, const QString &)
{
    m_delegate->showItems(localUrls(uris));
}

void FileManagerService::ShowItemProperties(const QStringList &uris, const QString &)
{
    m_delegate->showItemProperties(localUrls(uris));
}
