#include "TestHome.h"

#include "FSGetInfo/GetInfoWindowRegistry.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/SelectionProviding.h"
#include "FSWindow/MainWindowController.h"
#include "TidewrightApp/AppDelegate.h"
#include "TidewrightApp/FileManagerService.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>

namespace {

QList<QUrl> shownFolders(const AppDelegate &delegate)
{
    QList<QUrl> folders;
    for (const MainWindowController *window : delegate.windows())
        folders.append(window->currentRootUrl());
    return folders;
}

QUrl currentItem(MainWindowController *window)
{
    const QList<QUrl> selection = window->activeBrowser()->selectedURLs();
    return selection.size() == 1 ? selection.first() : QUrl();
}

QString uri(const QString &path)
{
    return QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
}

void closeAll(AppDelegate &delegate)
{
    for (MainWindowController *window : delegate.windows())
        window->close();
    QTRY_VERIFY(delegate.windows().isEmpty());
}

} // namespace

class DesktopIntegrationTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void otherProgramsShowFoldersAndItemsOverTheBus();
    void aSecondLaunchHandsItsArgumentsToTheRunningOne();

private:
    QProcess m_bus;
    QString m_busAddress;
    QTemporaryDir m_dir;
    AppDelegate *m_delegate = nullptr;
    FileManagerService *m_service = nullptr;
};

void DesktopIntegrationTest::initTestCase()
{
    // A bus of our own with no services to start: nothing here may reach the
    // user's session or start another file manager.
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QVERIFY(tw::test::writeFile(config, "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                                        "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                        "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>"));
    m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config,
                                                QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QVERIFY2(m_bus.waitForStarted(), "dbus-daemon is missing");
    while (!m_bus.canReadLine())
        QVERIFY(m_bus.waitForReadyRead(10'000));
    m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress.toUtf8());
    QVERIFY(QDBusConnection::sessionBus().isConnected());

    m_delegate = new AppDelegate(this);
    m_service = new FileManagerService(m_delegate, this);
    QCOMPARE(m_service->registerOn(QDBusConnection::sessionBus()), FileManagerService::Registration::registered);
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("Photos/2024")));
    QVERIFY(tw::test::writeFile(m_dir.filePath(QStringLiteral("Photos/beach.jpg"))));
    QVERIFY(tw::test::writeFile(m_dir.filePath(QStringLiteral("Photos/dunes.jpg"))));
    QVERIFY(tw::test::writeFile(m_dir.filePath(QStringLiteral("my notes.txt"))));
}

void DesktopIntegrationTest::cleanupTestCase()
{
    closeAll(*m_delegate);
    m_bus.terminate();
    m_bus.waitForFinished();
}

void DesktopIntegrationTest::otherProgramsShowFoldersAndItemsOverTheBus()
{
    const QUrl photos = PathCodec::urlForPath(m_dir.filePath(QStringLiteral("Photos")));
    const QUrl beach = PathCodec::urlForPath(m_dir.filePath(QStringLiteral("Photos/beach.jpg")));
    QDBusConnection client = QDBusConnection::connectToBus(m_busAddress, QStringLiteral("client"));
    // Calls that do not wait: this thread is the one that answers them.
    const auto call = [&client](const QString &method, const QStringList &uris, const QString &startupId) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            FileManagerService::fileManagerName, FileManagerService::objectPath, FileManagerService::interfaceName, method);
        message << uris << startupId;
        client.asyncCall(message);
    };

    // A folder, a file in it (its folder opens with the file selected), and
    // addresses that are not local files, which are passed over.
    call(QStringLiteral("ShowFolders"),
         QStringList{uri(photos.toLocalFile()), uri(beach.toLocalFile()), QStringLiteral("https://example.org/")},
         QString());
    QTRY_COMPARE(shownFolders(*m_delegate), (QList<QUrl>{photos, photos}));
    QTRY_COMPARE(currentItem(m_delegate->windows().last()), beach);
    closeAll(*m_delegate);

    // Two items of one folder: one window.
    call(QStringLiteral("ShowItems"),
         QStringList{uri(m_dir.filePath(QStringLiteral("Photos/dunes.jpg"))), uri(beach.toLocalFile())},
         QStringLiteral("startup-id"));
    QTRY_COMPARE(shownFolders(*m_delegate), QList<QUrl>{photos});
    QTRY_COMPARE(currentItem(m_delegate->windows().first()),
                 PathCodec::urlForPath(m_dir.filePath(QStringLiteral("Photos/dunes.jpg"))));
    closeAll(*m_delegate);

    // Properties are an item's info window, and no browser window.
    call(QStringLiteral("ShowItemProperties"), QStringList{uri(beach.toLocalFile())}, QString());
    QTRY_VERIFY(GetInfoWindowRegistry::shared().window(beach));
    QVERIFY(m_delegate->windows().isEmpty());
    GetInfoWindowRegistry::shared().closeAll();
}

void DesktopIntegrationTest::aSecondLaunchHandsItsArgumentsToTheRunningOne()
{
    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(environment);
    second.setWorkingDirectory(m_dir.path());
    // A relative path, and a file as launchers pass it, by URI.
    second.start(QStringLiteral(TIDEWRIGHT_BINARY),
                 {QStringLiteral("Photos/2024"), uri(m_dir.filePath(QStringLiteral("my notes.txt")))});
    // This process answers the call, so it must keep its event loop running meanwhile.
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 20'000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    const QUrl folder = PathCodec::urlForPath(m_dir.path());
    QTRY_COMPARE(shownFolders(*m_delegate),
                 (QList<QUrl>{PathCodec::urlForPath(m_dir.filePath(QStringLiteral("Photos/2024"))), folder}));
    QTRY_COMPARE(currentItem(m_delegate->windows().last()),
                 PathCodec::urlForPath(m_dir.filePath(QStringLiteral("my notes.txt"))));
    closeAll(*m_delegate);

    // Nothing that exists or is local: an error, and no window here.
    second.start(QStringLiteral(TIDEWRIGHT_BINARY), {QStringLiteral("no such folder"), QStringLiteral("smb://server/share")});
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 20'000);
    QCOMPARE(second.exitCode(), 1);
    const QByteArray errors = second.readAllStandardError();
    QVERIFY(errors.contains("no such folder") && errors.contains("smb://server/share"));
    QTest::qWait(100);
    QVERIFY(m_delegate->windows().isEmpty());
}

TW_GUI_TEST_MAIN(DesktopIntegrationTest)
#include "tst_DesktopIntegration.moc"
