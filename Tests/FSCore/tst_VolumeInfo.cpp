#include "TestHome.h"

#include "FSCore/ServerConnection.h"
#include "FSCore/VolumeInfo.h"
#include "FSCore/WellKnownLocations.h"
#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/GvfsMounts.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

namespace {

QString homePath(const QString &relative = {})
{
    return relative.isEmpty() ? tw::test::privateHome() : QDir(tw::test::privateHome()).filePath(relative);
}

QStringList pathsOf(const FileItemList &items)
{
    QStringList paths;
    for (const FileItem &item : items)
        paths << item.path();
    return paths;
}

const QString invalidAddressMessage
    = QStringLiteral("That doesn\u2019t look like a server address (e.g. smb://server/share).");

QString mountFailedMessage(int status)
{
    return QStringLiteral("Couldn\u2019t connect to the server (error %1).").arg(status);
}

// GIO's G_IO_ERROR_NOT_SUPPORTED: what a scheme no backend serves fails with.
constexpr int notSupportedStatus = 15;

// The folders places() looks at, gone before each row sets up its own.
void clearUserFolders()
{
    for (const char *name : {"Desktop", "Documents", "Downloads", "Music", "Schreibtisch", "Dokumente", "Elsewhere"}) {
        const QString path = homePath(QString::fromUtf8(name));
        if (!QFile::remove(path))
            QDir(path).removeRecursively();
    }
    QFile::remove(homePath(QStringLiteral(".config/user-dirs.dirs")));
}

} // namespace

class VolumeInfoTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();

    void placesAreHomeDesktopDocumentsInOrder_data();
    void placesAreHomeDesktopDocumentsInOrder();

    void gvfsSharesAreSharedVolumesAndDevicesAreLocal();
    void remoteHostNamesTheServerOfAShareOnly_data();
    void remoteHostNamesTheServerOfAShareOnly();

    void addressesThatCannotBeMountedFailWithTheirReason_data();
    void addressesThatCannotBeMountedFailWithTheirReason();

private:
    QTemporaryDir m_runtimeDir;
    QString m_fuseFolder;
};

void VolumeInfoTest::initTestCase()
{
    // gvfs shares are found through the session's runtime folder; a private
    // one (set before GLib first reads it) holds stand-ins for mounted shares.
    QVERIFY(m_runtimeDir.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtimeDir.path()));
    m_fuseFolder = GvfsMounts::fuseFolder();
    QCOMPARE(m_fuseFolder, m_runtimeDir.filePath(QStringLiteral("gvfs")));
    for (const char *name : {"smb-share:port=1445,server=nas.local,share=Photos", "mtp:host=Phone"})
        QVERIFY(QDir().mkpath(m_fuseFolder + QLatin1Char('/') + QString::fromUtf8(name)));
}

void VolumeInfoTest::placesAreHomeDesktopDocumentsInOrder_data()
{
    QTest::addColumn<QStringList>("folders");     // made below the home folder
    QTest::addColumn<QByteArray>("userDirs");     // user-dirs.dirs, when not empty
    QTest::addColumn<QStringList>("expected");    // below the home folder; "" is home

    const QStringList standard = {QStringLiteral("Desktop"), QStringLiteral("Documents"), QStringLiteral("Downloads"),
                                  QStringLiteral("Music")};
    QTest::newRow("standard folders") << standard << QByteArray()
                                      << QStringList{QString(), QStringLiteral("Desktop"), QStringLiteral("Documents")};
    QTest::newRow("no Desktop folder") << QStringList{QStringLiteral("Documents")} << QByteArray()
                                       << QStringList{QString(), QStringLiteral("Documents")};
    QTest::newRow("renamed folders")
        << QStringList{QStringLiteral("Schreibtisch"), QStringLiteral("Dokumente"), QStringLiteral("Desktop")}
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n")
        << QStringList{QString(), QStringLiteral("Schreibtisch"), QStringLiteral("Dokumente")};
    // xdg-user-dirs turns a folder off by pointing it at the home folder,
    // which must not show twice.
    QTest::newRow("desktop turned off") << standard << QByteArray("XDG_DESKTOP_DIR=\"$HOME/\"\n")
                                        << QStringList{QString(), QStringLiteral("Documents")};
    QTest::newRow("named folder missing") << QStringList{QStringLiteral("Desktop")}
                                          << QByteArray("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n")
                                          << QStringList{QString(), QStringLiteral("Desktop")};
}

void VolumeInfoTest::placesAreHomeDesktopDocumentsInOrder()
{
    QFETCH(QStringList, folders);
    QFETCH(QByteArray, userDirs);
    QFETCH(QStringList, expected);

    clearUserFolders();
    for (const QString &folder : folders)
        QVERIFY(QDir().mkpath(homePath(folder)));
    if (!userDirs.isEmpty())
        QVERIFY(tw::test::writeFile(homePath(QStringLiteral(".config/user-dirs.dirs")), userDirs));

    QStringList expectedPaths;
    for (const QString &relative : expected)
        expectedPaths << homePath(relative);
    // Only where the machine has one.
    if (EntryStatus::read("/Applications").isDirectory)
        expectedPaths << QStringLiteral("/Applications");
    QCOMPARE(pathsOf(WellKnownLocations::places()), expectedPaths);
}

void VolumeInfoTest::gvfsSharesAreSharedVolumesAndDevicesAreLocal()
{
    const QStringList shared = pathsOf(VolumeInfo::sharedVolumes());
    const QStringList local = pathsOf(VolumeInfo::mountedVolumes());
    auto inFuseFolder = [&](const char *name) -> QString { return m_fuseFolder + QLatin1Char('/') + QString::fromUtf8(name); };

    QVERIFY(shared.contains(inFuseFolder("smb-share:port=1445,server=nas.local,share=Photos")));
    QVERIFY(local.contains(inFuseFolder("mtp:host=Phone")));
    QVERIFY(local.contains(QStringLiteral("/")));
    for (const QString &path : shared)
        QVERIFY2(!local.contains(path), qPrintable(path));
}

void VolumeInfoTest::remoteHostNamesTheServerOfAShareOnly_data()
{
    QTest::addColumn<QUrl>("volume");
    QTest::addColumn<QString>("expectedHost"); // empty: none

    // How a gvfs folder name reads is the platform's; here, which folder is asked.
    const QString fuse = GvfsMounts::fuseFolder();
    const QString share = fuse + QStringLiteral("/smb-share:port=1445,server=nas.local,share=Photos");
    QTest::newRow("folder inside a share") << PathCodec::urlForPath(share + QStringLiteral("/2024/June"))
                                           << QStringLiteral("nas.local");
    QTest::newRow("the gvfs folder itself") << PathCodec::urlForPath(fuse) << QString();
    QTest::newRow("look-alike next to the gvfs folder")
        << PathCodec::urlForPath(fuse + QStringLiteral("-x/smb-share:server=evil,share=s")) << QString();
    QTest::newRow("local disk") << PathCodec::urlForPath(homePath()) << QString();
    QTest::newRow("not a local URL") << QUrl(QStringLiteral("smb://nas.local/Photos")) << QString();
}

void VolumeInfoTest::remoteHostNamesTheServerOfAShareOnly()
{
    QFETCH(QUrl, volume);
    QFETCH(QString, expectedHost);

    QCOMPARE(VolumeInfo::remoteHost(volume),
             expectedHost.isEmpty() ? std::nullopt : std::optional<QString>(expectedHost));
}

void VolumeInfoTest::addressesThatCannotBeMountedFailWithTheirReason_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("isAddress"); // else refused before any mount

    auto refused = [](const char *name, const QString &address) { QTest::newRow(name) << address << false; };
    refused("no scheme", QStringLiteral("server/share"));
    refused("empty", QString());
    refused("scheme only", QStringLiteral("smb://"));
    refused("no slashes", QStringLiteral("smb:server/share"));
    refused("local file", QStringLiteral("file:///etc"));
    // Nothing is trimmed.
    refused("trailing newline", QStringLiteral("smb://server/share\n"));
    refused("space in host", QStringLiteral("smb://file server/share"));
    refused("encoded NUL", QStringLiteral("smb://server/share%00"));
    refused("encoded control in host", QStringLiteral("smb://serv%0Der/share"));
    refused("bad percent escape", QStringLiteral("smb://server/%zz"));
    refused("port out of range", QStringLiteral("smb://server:70000/share"));
    refused("unclosed IPv6 host", QStringLiteral("smb://[::1/share"));
    // Well formed, but no backend serves them.
    QTest::newRow("made-up scheme") << QStringLiteral("foo://server/share") << true;
    QTest::newRow("local file with a host") << QStringLiteral("file://localhost/tmp") << true;
}

void VolumeInfoTest::addressesThatCannotBeMountedFailWithTheirReason()
{
    QFETCH(QString, address);
    QFETCH(bool, isAddress);

    QCOMPARE(bool(ServerConnection::serverUrl(address)), isAddress);
    const FileItemList sharedBefore = VolumeInfo::sharedVolumes();
    QElapsedTimer timer;
    timer.start();
    try {
        const QList<QUrl> roots = ServerConnection::connect(address);
        QFAIL(qPrintable(QStringLiteral("reported success with %1 roots").arg(roots.size())));
    } catch (const ServerConnection::ConnectError &error) {
        if (isAddress) {
            QCOMPARE(error.code(), ServerConnection::ConnectError::mountFailed);
            QCOMPARE(error.status(), notSupportedStatus);
            QCOMPARE(error.localizedDescription(), mountFailedMessage(notSupportedStatus));
        } else {
            QCOMPARE(error.code(), ServerConnection::ConnectError::invalidAddress);
            QCOMPARE(error.localizedDescription(), invalidAddressMessage);
            // Refused on its face: no name lookup, no server asked.
            QVERIFY(timer.elapsed() < 1000);
        }
    }
    QCOMPARE(VolumeInfo::sharedVolumes(), sharedBefore);
}

TW_CORE_TEST_MAIN(VolumeInfoTest)
#include "tst_VolumeInfo.moc"
