#include "TestHome.h"

#include "FSPlatform/GvfsMounts.h"
#include "FSPlatform/MountMonitor.h"
#include "FSPlatform/MountTable.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/VisibleVolumes.h"

#include <QCoreApplication>
#include <QDir>
#include <QScopeGuard>
#include <QSignalSpy>

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One mountinfo line as the kernel writes it; `mountPoint` and `source` are
// given already escaped.
QByteArray mountInfoLine(int id, const QByteArray &mountPoint, const QByteArray &type, const QByteArray &source,
                         const QByteArray &optionalFields = "shared:1")
{
    QByteArray line = QByteArray::number(id) + " 1 0:" + QByteArray::number(id) + " / " + mountPoint
        + " rw,relatime";
    if (!optionalFields.isEmpty())
        line += ' ' + optionalFields;
    return line + " - " + type + ' ' + source + " rw\n";
}

MountEntry entry(const QString &mountPoint, const QString &type, const QString &source = QStringLiteral("none"))
{
    return MountEntry{mountPoint, source, type};
}

QStringList pathsOf(const QList<VisibleVolume> &volumes)
{
    QStringList paths;
    for (const VisibleVolume &volume : volumes)
        paths << volume.url.toLocalFile();
    return paths;
}

// The expectation of a lookup that may find nothing; "" stands for nothing.
std::optional<QString> unlessEmpty(const QString &text)
{
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

constexpr const char *aliceHome = "/home/alice";

} // namespace

class VolumesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mountInfoEscapesAreUndone_data();
    void mountInfoEscapesAreUndone();
    void fieldsAfterTheSeparatorAreFoundWhateverTheOptionalFields_data();
    void fieldsAfterTheSeparatorAreFoundWhateverTheOptionalFields();
    void malformedLinesAreSkippedNotMisread();

    void onlyUserMountsAndSharesAreVolumes_data();
    void onlyUserMountsAndSharesAreVolumes();
    void stackedMountsShowOnlyTheTopOne();

    void mountHoldingAPathIsTheDeepestAndLatest_data();
    void mountHoldingAPathIsTheDeepestAndLatest();
    void hostIsTheServerOfAShareOnly_data();
    void hostIsTheServerOfAShareOnly();

    void gvfsDevicesAreLocalVolumes();
    void gvfsFolderNamesKeepTheirBytesAndSort();

    void thisMachineShowsItsRootFileSystem();
    void monitorReportsKernelMountsAndUnmounts();
};

void VolumesTest::mountInfoEscapesAreUndone_data()
{
    QTest::addColumn<QByteArray>("escaped");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("space") << QByteArray("/media/My\\040Disk") << QByteArray("/media/My Disk");
    QTest::newRow("tab and newline in a row") << QByteArray("/mnt/a\\011\\012b") << QByteArray("/mnt/a\t\nb");
    QTest::newRow("backslash") << QByteArray("/mnt/a\\134040") << QByteArray("/mnt/a\\040");
    QTest::newRow("at the very end") << QByteArray("/mnt/end\\040") << QByteArray("/mnt/end ");
    QTest::newRow("not octal digits stay") << QByteArray("/mnt/a\\08b") << QByteArray("/mnt/a\\08b");
    QTest::newRow("cut-off escape stays") << QByteArray("/mnt/a\\04") << QByteArray("/mnt/a\\04");
    QTest::newRow("not UTF-8") << QByteArray("/media/\xff\xfe") << QByteArray("/media/\xff\xfe");
}

void VolumesTest::mountInfoEscapesAreUndone()
{
    QFETCH(QByteArray, escaped);
    QFETCH(QByteArray, expected);

    const QList<MountEntry> entries = MountTable::parse(mountInfoLine(40, escaped, "ext4", "/dev/sdb1")
                                                        + mountInfoLine(41, "/mnt/x", "cifs", "//server/My\\040Share"));
    QCOMPARE(entries.size(), 2);
    QCOMPARE(PathCodec::encode(entries[0].mountPoint), expected);
    QCOMPARE(entries[0].fileSystemType, QStringLiteral("ext4"));
    QCOMPARE(entries[1].source, QStringLiteral("//server/My Share"));
    QCOMPARE(MountTable::hostFromSource(entries[1].source), std::optional<QString>(QStringLiteral("server")));
}

void VolumesTest::fieldsAfterTheSeparatorAreFoundWhateverTheOptionalFields_data()
{
    QTest::addColumn<QByteArray>("optionalFields");

    QTest::newRow("none") << QByteArray();
    QTest::newRow("three") << QByteArray("shared:7 master:3 propagate_from:2");
}

void VolumesTest::fieldsAfterTheSeparatorAreFoundWhateverTheOptionalFields()
{
    QFETCH(QByteArray, optionalFields);

    const QList<MountEntry> entries
        = MountTable::parse(mountInfoLine(50, "/mnt/share", "smb3", "//nas@example.org/data", optionalFields));
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0], entry(QStringLiteral("/mnt/share"), QStringLiteral("smb3"), QStringLiteral("//nas@example.org/data")));
}

void VolumesTest::malformedLinesAreSkippedNotMisread()
{
    const QByteArray text = QByteArray("\n")
        + "garbage\n"
        + "36 35 98:0 / /mnt/noseparator rw shared:1 ext4 /dev/sda1 rw\n"
        + "36 35 98:0 / relative/point rw - ext4 /dev/sda1 rw\n"
        + "36 35 98:0 / /mnt/cut rw - ext4\n"
        + "36 35\n"
        + mountInfoLine(60, "/media/good", "vfat", "/dev/sdc1")
        + "   \n"
        + "61 1 0:61 / /mnt/last rw - nfs4 server:/export rw"; // no final newline
    const QList<MountEntry> entries = MountTable::parse(text);
    const QList<MountEntry> expected = {
        entry(QStringLiteral("/media/good"), QStringLiteral("vfat"), QStringLiteral("/dev/sdc1")),
        entry(QStringLiteral("/mnt/last"), QStringLiteral("nfs4"), QStringLiteral("server:/export")),
    };
    QCOMPARE(entries, expected);
    QVERIFY(MountTable::parse(QByteArray()).isEmpty());
}

void VolumesTest::onlyUserMountsAndSharesAreVolumes_data()
{
    QTest::addColumn<QString>("mountPoint");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("isVolume");
    QTest::addColumn<bool>("isNetwork");

    auto row = [](const char *name, const char *mountPoint, const char *type, bool isVolume, bool isNetwork) {
        QTest::newRow(name) << QString::fromUtf8(mountPoint) << QString::fromUtf8(type) << isVolume << isNetwork;
    };
    row("root overlay (container)", "/", "overlay", true, false);
    row("kernel interface", "/proc", "proc", false, false);
    row("disk in a system folder", "/boot", "ext4", false, false);
    row("automounter under media", "/media/auto", "autofs", false, false);
    row("usb stick in media", "/media/alice/USB STICK", "vfat", true, false);
    row("disk in run media", "/run/media/alice/Backup", "ext4", true, false);
    row("run media itself", "/run/media", "tmpfs", false, false);
    row("disk under home", "/home/alice/Disks/Photos", "ext4", true, false);
    row("home itself", "/home/alice", "ext4", false, false);
    row("sibling of home", "/home/alice2/disk", "ext4", false, false);
    row("hidden folder under home", "/home/alice/.cache/mount", "ext4", false, false);
    row("cifs in mnt", "/mnt/share", "cifs", true, true);
    row("sshfs under home", "/home/alice/remote", "fuse.sshfs", true, true);
    row("nfs outside the usual folders", "/srv/export", "nfs", true, true);
    row("nfs for a service", "/var/lib/service/nfs", "nfs4", false, true);
    row("cifs in a hidden folder", "/home/alice/.shares/nas", "cifs", false, true);
}

void VolumesTest::onlyUserMountsAndSharesAreVolumes()
{
    QFETCH(QString, mountPoint);
    QFETCH(QString, type);
    QFETCH(bool, isVolume);
    QFETCH(bool, isNetwork);

    const QList<VisibleVolume> volumes
        = VisibleVolumes::fromMountTable({entry(mountPoint, type)}, QString::fromUtf8(aliceHome));
    if (!isVolume) {
        QVERIFY2(volumes.isEmpty(), qPrintable(pathsOf(volumes).join(u", ")));
        return;
    }
    QCOMPARE(volumes.size(), 1);
    QCOMPARE(volumes[0].url, PathCodec::urlForPath(mountPoint));
    QCOMPARE(volumes[0].isNetwork, isNetwork);
}

void VolumesTest::stackedMountsShowOnlyTheTopOne()
{
    // A share mounted over a folder that was a disk's mount point: only the
    // share is reachable there, and it shows where its own mount came in.
    const QList<MountEntry> table = MountTable::parse(mountInfoLine(1, "/", "ext4", "/dev/sda2")
                                                      + mountInfoLine(2, "/mnt/a", "ext4", "/dev/sdb1")
                                                      + mountInfoLine(3, "/media/b", "vfat", "/dev/sdc1")
                                                      + mountInfoLine(4, "/mnt/a", "cifs", "//nas/a"));
    const QList<VisibleVolume> volumes = VisibleVolumes::fromMountTable(table, QString::fromUtf8(aliceHome));
    const QList<VisibleVolume> expected = {
        {PathCodec::urlForPath(QStringLiteral("/")), false},
        {PathCodec::urlForPath(QStringLiteral("/media/b")), false},
        {PathCodec::urlForPath(QStringLiteral("/mnt/a")), true},
    };
    QCOMPARE(volumes, expected);
}

void VolumesTest::mountHoldingAPathIsTheDeepestAndLatest_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expectedSource"); // empty: none

    QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/dev/sda2");
    QTest::newRow("plain folder") << QStringLiteral("/usr/bin") << QStringLiteral("/dev/sda2");
    QTest::newRow("mount point itself") << QStringLiteral("/mnt/a") << QStringLiteral("//nas/top");
    QTest::newRow("inside the later of two") << QStringLiteral("/mnt/a/x/y") << QStringLiteral("//nas/top");
    QTest::newRow("name that only starts alike") << QStringLiteral("/mnt/ab") << QStringLiteral("/dev/sda2");
    QTest::newRow("nested mount") << QStringLiteral("/mnt/a/deep/file") << QStringLiteral("/dev/sdd1");
    QTest::newRow("relative path") << QStringLiteral("mnt/a") << QString();
}

void VolumesTest::mountHoldingAPathIsTheDeepestAndLatest()
{
    QFETCH(QString, path);
    QFETCH(QString, expectedSource);

    const QList<MountEntry> table = {
        entry(QStringLiteral("/"), QStringLiteral("ext4"), QStringLiteral("/dev/sda2")),
        entry(QStringLiteral("/mnt/a"), QStringLiteral("ext4"), QStringLiteral("/dev/sdb1")),
        entry(QStringLiteral("/mnt/a/deep"), QStringLiteral("ext4"), QStringLiteral("/dev/sdd1")),
        entry(QStringLiteral("/mnt/a"), QStringLiteral("cifs"), QStringLiteral("//nas/top")),
    };
    const std::optional<MountEntry> holder = MountTable::entryHolding(table, path);
    QCOMPARE(holder ? std::optional<QString>(holder->source) : std::nullopt, unlessEmpty(expectedSource));
}

void VolumesTest::hostIsTheServerOfAShareOnly_data()
{
    QTest::addColumn<bool>("isGvfsFolder"); // else a mount source
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedHost"); // empty: none

    auto row = [](const char *name, bool isGvfsFolder, const char *text, const char *expectedHost) {
        QTest::newRow(name) << isGvfsFolder << QString::fromUtf8(text) << QString::fromUtf8(expectedHost);
    };
    row("source: host and share", false, "//fileserver/projects", "fileserver");
    row("source: at sign in the user", false, "//alice@corp@fileserver/p", "fileserver");
    row("source: doubled slashes", false, "//host//share", "host");
    row("source: host alone", false, "//host", "host");
    row("source: nothing after slashes", false, "//", "");
    row("source: only an at sign", false, "//@/share", "");
    row("source: device", false, "/dev/sda1", "");
    row("source: nfs export", false, "fileserver:/export", "");
    row("source: empty", false, "", "");
    row("gvfs: smb share on a port", true, "smb-share:port=1445,server=127.0.0.1,share=share", "127.0.0.1");
    row("gvfs: key ending in server", true, "smb-share:myserver=wrong,share=s,server=right", "right");
    row("gvfs: escaped comma in share", true, "smb-share:share=a%2Cserver=wrong,server=right", "right");
    row("gvfs: host key", true, "sftp:host=example.org,user=me", "example.org");
    row("gvfs: empty server", true, "smb-share:server=,share=NAME", "");
    row("gvfs: no server key", true, "smb-share:share=NAME", "");
    row("gvfs: no keys", true, "smb-share", "");
    // A device has a "host=" key too, but no server.
    row("gvfs: phone", true, "mtp:host=SAMSUNG_Galaxy_123", "");
}

void VolumesTest::hostIsTheServerOfAShareOnly()
{
    QFETCH(bool, isGvfsFolder);
    QFETCH(QString, text);
    QFETCH(QString, expectedHost);

    const std::optional<QString> host
        = isGvfsFolder ? GvfsMounts::hostFromFolderName(text) : MountTable::hostFromSource(text);
    QCOMPARE(host, unlessEmpty(expectedHost));
}

void VolumesTest::gvfsDevicesAreLocalVolumes()
{
    const QString fuseFolder = QStringLiteral("/run/user/1000/gvfs");
    const QList<VisibleVolume> volumes = VisibleVolumes::fromGvfsFolder(
        fuseFolder, {QStringLiteral("mtp:host=Phone"), QStringLiteral("smb-share:server=nas,share=Photos"),
                     QStringLiteral("newbackend:host=thing")});
    // A backend of unknown kind counts as local, never as a share.
    const QList<VisibleVolume> expected = {
        {PathCodec::urlForPath(fuseFolder + QStringLiteral("/mtp:host=Phone")), false},
        {PathCodec::urlForPath(fuseFolder + QStringLiteral("/smb-share:server=nas,share=Photos")), true},
        {PathCodec::urlForPath(fuseFolder + QStringLiteral("/newbackend:host=thing")), false},
    };
    QCOMPARE(volumes, expected);
}

void VolumesTest::gvfsFolderNamesKeepTheirBytesAndSort()
{
    tw::test::TemporaryFolder fuseFolder;
    QVERIFY(fuseFolder.isValid());
    const QByteArray folder = QFile::encodeName(fuseFolder.path());
    for (const QByteArray &name : {QByteArray("smb-share:server=b,share=s"), QByteArray("sftp:host=a"),
                                   QByteArray("smb-share:server=a,share=\xff")})
        QCOMPARE(::mkdir(QByteArray(folder + '/' + name).constData(), 0700), 0);

    const QStringList names = GvfsMounts::folderNames(fuseFolder.path());
    QCOMPARE(names.size(), 3);
    QCOMPARE(names[0], QStringLiteral("sftp:host=a"));
    QCOMPARE(PathCodec::encode(names[1]), QByteArray("smb-share:server=a,share=\xff"));
    QCOMPARE(names[2], QStringLiteral("smb-share:server=b,share=s"));
    QCOMPARE(GvfsMounts::hostFromFolderName(names[1]), std::optional<QString>(QStringLiteral("a")));

    QVERIFY(GvfsMounts::folderNames(fuseFolder.filePath(QStringLiteral("missing"))).isEmpty());
}

void VolumesTest::thisMachineShowsItsRootFileSystem()
{
    // The real table is read to its end (it is longer than one read on
    // busy machines) and the root file system is always a volume.
    const QList<MountEntry> table = MountTable::read();
    QVERIFY(!table.isEmpty());
    QVERIFY(MountTable::entryHolding(table, QStringLiteral("/")));
    QVERIFY(pathsOf(VisibleVolumes::current()).contains(QStringLiteral("/")));
}

void VolumesTest::monitorReportsKernelMountsAndUnmounts()
{
    // A private mount namespace keeps the test's mount from the rest of the
    // machine. It must exist before the monitor opens the mount table: an
    // open table keeps showing the namespace it was opened in.
    if (::unshare(CLONE_NEWNS) != 0)
        QSKIP(qPrintable(QStringLiteral("no private mount namespace: %1").arg(QString::fromLocal8Bit(strerror(errno)))));
    QCOMPARE(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);

    MountMonitor *monitor = MountMonitor::instance();
    QSignalSpy mounted(monitor, &MountMonitor::volumeMounted);
    QSignalSpy unmounted(monitor, &MountMonitor::volumeUnmounted);

    // Below the home folder, so it counts as the user's; the space comes back
    // from the table as "\040".
    const QString mountPoint = QDir(tw::test::privateHome()).filePath(QStringLiteral("My Disk"));
    QVERIFY(QDir().mkpath(mountPoint));
    const QByteArray encoded = PathCodec::encode(mountPoint);
    QCOMPARE(::mount("tidewright-test", encoded.constData(), "tmpfs", 0, "size=1m"), 0);
    auto unmount = qScopeGuard([&] { ::umount2(encoded.constData(), MNT_DETACH); });
    const QUrl root = PathCodec::urlForPath(mountPoint);

    QTRY_COMPARE_WITH_TIMEOUT(mounted.size(), 1, 5000);
    QCOMPARE(mounted.at(0).at(0).toUrl(), root);
    QVERIFY(pathsOf(monitor->volumes()).contains(mountPoint));

    QCOMPARE(::umount(encoded.constData()), 0);
    unmount.dismiss();
    QTRY_COMPARE_WITH_TIMEOUT(unmounted.size(), 1, 5000);
    QCOMPARE(unmounted.at(0).at(0).toUrl(), root);
    QVERIFY(!pathsOf(monitor->volumes()).contains(mountPoint));
    QCOMPARE(mounted.size(), 1);
}

TW_CORE_TEST_MAIN(VolumesTest)
#include "tst_Volumes.moc"
