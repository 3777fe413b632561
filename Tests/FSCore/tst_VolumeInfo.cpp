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

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A TCP port on 127.0.0.1 that is bound but not listening: it refuses every
// connection, and no other program can start listening on it meanwhile.
class RefusingPort
{
public:
    RefusingPort()
        : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), size) == 0
            && ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &size) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~RefusingPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RefusingPort(const RefusingPort &) = delete;
    RefusingPort &operator=(const RefusingPort &) = delete;

    int port() const { return m_port; }

private:
    int m_fd;
    int m_port = 0;
};

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

    void badAddressesAreRefusedBeforeAnyMount_data();
    void badAddressesAreRefusedBeforeAnyMount();
    void addressesWithoutABackendFailToMount_data();
    void addressesWithoutABackendFailToMount();
    void serverThatRefusesTheConnectionFailsPromptly();

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
    for (const char *name : {"smb-share:port=1445,server=nas.local,share=Photos", "mtp:host=Phone",
                             "sftp:host=example.org,user=me", "newbackend:host=thing"})
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
    QTest::newRow("no Documents folder")
        << QStringList{QStringLiteral("Desktop"), QStringLiteral("Downloads")} << QByteArray()
        << QStringList{QString(), QStringLiteral("Desktop")};
    QTest::newRow("no Desktop folder") << QStringList{QStringLiteral("Documents")} << QByteArray()
                                       << QStringList{QString(), QStringLiteral("Documents")};
    QTest::newRow("no folders at all") << QStringList() << QByteArray() << QStringList{QString()};
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
    QVERIFY(shared.contains(inFuseFolder("sftp:host=example.org,user=me")));
    QVERIFY(local.contains(inFuseFolder("mtp:host=Phone")));
    // A backend of unknown kind counts as local, never as a share.
    QVERIFY(local.contains(inFuseFolder("newbackend:host=thing")));
    QVERIFY(!shared.contains(inFuseFolder("newbackend:host=thing")));
    QVERIFY(local.contains(QStringLiteral("/")));
    for (const QString &path : shared)
        QVERIFY2(!local.contains(path), qPrintable(path));
}

void VolumeInfoTest::remoteHostNamesTheServerOfAShareOnly_data()
{
    QTest::addColumn<QUrl>("volume");
    QTest::addColumn<QString>("expectedHost"); // empty: none

    const QString fuse = GvfsMounts::fuseFolder();
    const QString share = fuse + QStringLiteral("/smb-share:port=1445,server=nas.local,share=Photos");
    QTest::newRow("gvfs share") << PathCodec::urlForPath(share) << QStringLiteral("nas.local");
    QTest::newRow("folder inside a share") << PathCodec::urlForPath(share + QStringLiteral("/2024/June"))
                                           << QStringLiteral("nas.local");
    QTest::newRow("sftp") << PathCodec::urlForPath(fuse + QStringLiteral("/sftp:host=example.org,user=me"))
                          << QStringLiteral("example.org");
    QTest::newRow("phone") << PathCodec::urlForPath(fuse + QStringLiteral("/mtp:host=Phone")) << QString();
    QTest::newRow("the gvfs folder itself") << PathCodec::urlForPath(fuse) << QString();
    QTest::newRow("look-alike next to the gvfs folder")
        << PathCodec::urlForPath(fuse + QStringLiteral("-x/smb-share:server=evil,share=s")) << QString();
    QTest::newRow("root file system") << PathCodec::urlForPath(QStringLiteral("/")) << QString();
    QTest::newRow("home") << PathCodec::urlForPath(homePath()) << QString();
    QTest::newRow("not a local URL") << QUrl(QStringLiteral("smb://nas.local/Photos")) << QString();
    QTest::newRow("empty URL") << QUrl() << QString();
}

void VolumeInfoTest::remoteHostNamesTheServerOfAShareOnly()
{
    QFETCH(QUrl, volume);
    QFETCH(QString, expectedHost);

    const std::optional<QString> host = VolumeInfo::remoteHost(volume);
    if (expectedHost.isEmpty())
        QCOMPARE(host, std::nullopt);
    else
        QCOMPARE(host, std::optional<QString>(expectedHost));
}

void VolumeInfoTest::badAddressesAreRefusedBeforeAnyMount_data()
{
    QTest::addColumn<QString>("address");

    QTest::newRow("no scheme") << QStringLiteral("server/share");
    QTest::newRow("bare server name") << QStringLiteral("fileserver");
    QTest::newRow("scheme only") << QStringLiteral("smb://");
    QTest::newRow("scheme and colon") << QStringLiteral("smb:");
    QTest::newRow("no host") << QStringLiteral("smb:///share");
    QTest::newRow("no slashes") << QStringLiteral("smb:server/share");
    QTest::newRow("empty") << QString();
    QTest::newRow("blank") << QStringLiteral("   ");
    QTest::newRow("leading space") << QStringLiteral(" smb://server/share");
    QTest::newRow("trailing newline") << QStringLiteral("smb://server/share\n");
    QTest::newRow("space in host") << QStringLiteral("smb://file server/share");
    QTest::newRow("tab in path") << QStringLiteral("smb://server/sh\tare");
    QTest::newRow("encoded NUL") << QStringLiteral("smb://server/share%00");
    QTest::newRow("encoded newline") << QStringLiteral("smb://server/share%0Aevil");
    QTest::newRow("encoded control in host") << QStringLiteral("smb://serv%0Der/share");
    QTest::newRow("bad percent escape") << QStringLiteral("smb://server/%zz");
    QTest::newRow("port not a number") << QStringLiteral("smb://server:abc/share");
    QTest::newRow("port out of range") << QStringLiteral("smb://server:70000/share");
    QTest::newRow("unclosed IPv6 host") << QStringLiteral("smb://[::1/share");
    QTest::newRow("Windows path") << QStringLiteral("\\\\server\\share");
    QTest::newRow("mail address") << QStringLiteral("mailto:someone@example.org");
    QTest::newRow("local file") << QStringLiteral("file:///etc");
}

void VolumeInfoTest::badAddressesAreRefusedBeforeAnyMount()
{
    QFETCH(QString, address);

    const FileItemList sharedBefore = VolumeInfo::sharedVolumes();
    QElapsedTimer timer;
    timer.start();
    try {
        const QList<QUrl> roots = ServerConnection::connect(address);
        QFAIL(qPrintable(QStringLiteral("accepted, mounted %1").arg(roots.size())));
    } catch (const ServerConnection::ConnectError &error) {
        QCOMPARE(error.code(), ServerConnection::ConnectError::invalidAddress);
        QCOMPARE(error.localizedDescription(), invalidAddressMessage);
    }
    QVERIFY(!ServerConnection::serverUrl(address));
    // Refused on its face: no name lookup, no server asked.
    QVERIFY(timer.elapsed() < 1000);
    QCOMPARE(VolumeInfo::sharedVolumes(), sharedBefore);
}

void VolumeInfoTest::addressesWithoutABackendFailToMount_data()
{
    QTest::addColumn<QString>("address");

    QTest::newRow("made-up scheme") << QStringLiteral("foo://server/share");
    QTest::newRow("local file with a host") << QStringLiteral("file://localhost/tmp");
}

void VolumeInfoTest::addressesWithoutABackendFailToMount()
{
    QFETCH(QString, address);

    QVERIFY(ServerConnection::serverUrl(address));
    const FileItemList sharedBefore = VolumeInfo::sharedVolumes();
    try {
        const QList<QUrl> roots = ServerConnection::connect(address);
        QFAIL(qPrintable(QStringLiteral("reported success with %1 roots").arg(roots.size())));
    } catch (const ServerConnection::ConnectError &error) {
        QCOMPARE(error.code(), ServerConnection::ConnectError::mountFailed);
        QCOMPARE(error.status(), notSupportedStatus);
        QCOMPARE(error.localizedDescription(), mountFailedMessage(notSupportedStatus));
    }
    QCOMPARE(VolumeInfo::sharedVolumes(), sharedBefore);
}

void VolumeInfoTest::serverThatRefusesTheConnectionFailsPromptly()
{
    const RefusingPort refusing;
    QVERIFY(refusing.port() > 0);
    const QString address = QStringLiteral("smb://127.0.0.1:%1/share").arg(refusing.port());

    const FileItemList sharedBefore = VolumeInfo::sharedVolumes();
    QElapsedTimer timer;
    timer.start();
    try {
        ServerConnection::connect(address);
        QFAIL("reported success");
    } catch (const ServerConnection::ConnectError &error) {
        QCOMPARE(error.code(), ServerConnection::ConnectError::mountFailed);
        QVERIFY(error.status() != 0);
        QCOMPARE(error.localizedDescription(), mountFailedMessage(error.status()));
    }
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(VolumeInfo::sharedVolumes(), sharedBefore);
}

TW_CORE_TEST_MAIN(VolumeInfoTest)
#include "tst_VolumeInfo.moc"
