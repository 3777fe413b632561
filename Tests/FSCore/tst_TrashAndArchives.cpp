#include "ScratchMount.h"
#include "TestHome.h"

#include "FSCore/FileOperations.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/Trash.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

using tw::test::ScratchMount;
using tw::test::TemporaryFolder;
using tw::test::contentsOf;
using tw::test::entriesOf;
using tw::test::modeOf;
using tw::test::writeFile;

namespace {

QUrl urlOf(const QString &path)
{
    return PathCodec::urlForPath(path);
}

QString homeTrash()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + "/Trash";
}

// Runs a standard tool; an absent tool fails the test in CI, where it must be there.
bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    if (QStandardPaths::findExecutable(program).isEmpty()) {
        if (qEnvironmentVariableIsSet("CI"))
            qFatal("%s is missing", qPrintable(program));
        return false;
    }
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000))
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

class TrashAndArchivesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup();

    void trashRecordsWhereEachItemCameFrom();
    void restorePutsItemsBackWithoutReplacingAnything();
    void aLinkIsTrashedNotItsTarget();
    void itemsOnAnotherFileSystemUseThatVolumesTrash();
    void emptyTrashRemovesEveryItemWithItsInfo();
    void networkSharesAreNeverSearchedForATrash_data();
    void networkSharesAreNeverSearchedForATrash();
    void archivesHoldTheItemUnderItsOwnName();
    void archiveExtractsToTheSameTree();

private:
    TemporaryFolder m_dir;
};

void TrashAndArchivesTest::cleanup()
{
    tw::test::removeTree(m_dir.path());
    QDir().mkpath(m_dir.path());
    tw::test::removeTree(homeTrash());
}

void TrashAndArchivesTest::trashRecordsWhereEachItemCameFrom()
{
    const QString original = m_dir.path() + "/50% off & more.txt";
    QVERIFY(writeFile(original, "first"));
    const QUrl trashed = FileOperations::moveToTrash(urlOf(original));
    QCOMPARE(trashed, urlOf(homeTrash() + "/files/50% off & more.txt"));
    QVERIFY(!QFileInfo::exists(original));
    QCOMPARE(contentsOf(trashed.toLocalFile()), QByteArray("first"));
    QCOMPARE(modeOf(homeTrash()) & 0777, mode_t(0700));

    const QList<QByteArray> info = contentsOf(homeTrash() + "/info/50% off & more.txt.trashinfo").split('\n');
    QCOMPARE(info.value(0), QByteArray("[Trash Info]"));
    QCOMPARE(info.value(1), "Path=" + QFile::encodeName(original).toPercentEncoding("/"));
    QVERIFY(QDateTime::fromString(QString::fromLatin1(info.value(2).mid(13)), Qt::ISODate).isValid());
    QVERIFY(info.value(2).startsWith("DeletionDate="));

    // Another item of the same name never replaces the first.
    QVERIFY(writeFile(original, "second"));
    QCOMPARE(FileOperations::moveToTrash(urlOf(original)), urlOf(homeTrash() + "/files/50% off & more 2.txt"));
    QCOMPARE(contentsOf(trashed.toLocalFile()), QByteArray("first"));
    QCOMPARE(entriesOf(homeTrash() + "/info"), (QStringList{"50% off & more 2.txt.trashinfo", "50% off & more.txt.trashinfo"}));
}

void TrashAndArchivesTest::restorePutsItemsBackWithoutReplacingAnything()
{
    const QString original = m_dir.path() + "/Plans";
    QVERIFY(writeFile(original + "/inside.txt", "one"));
    const QUrl first = FileOperations::moveToTrash(urlOf(original));
    QVERIFY(writeFile(original + "/inside.txt", "two"));
    const QUrl second = FileOperations::moveToTrash(urlOf(original));

    QCOMPARE(FileOperations::restoreFromTrash(first), urlOf(original));
    QCOMPARE(contentsOf(original + "/inside.txt"), QByteArray("one"));
    // The old name is taken again: the second comes back beside it.
    QCOMPARE(FileOperations::restoreFromTrash(second), urlOf(original + " 2"));
    QCOMPARE(contentsOf(original + "/inside.txt"), QByteArray("one"));
    QCOMPARE(contentsOf(original + " 2/inside.txt"), QByteArray("two"));
    QCOMPARE(entriesOf(homeTrash() + "/files"), QStringList{});
    QCOMPARE(entriesOf(homeTrash() + "/info"), QStringList{});

    // A name that is not UTF-8 goes and comes back byte for byte.
    const QByteArray rawPath = QFile::encodeName(m_dir.path()) + "/r\xe9sum\xe9";
    QVERIFY(tw::test::writeRawFile(rawPath));
    const QUrl trashed = FileOperations::moveToTrash(PathCodec::urlForPath(PathCodec::decode(rawPath)));
    QCOMPARE(::access(rawPath.constData(), F_OK), -1);
    QCOMPARE(PathCodec::encodePath(FileOperations::restoreFromTrash(trashed)), rawPath);
    QCOMPARE(::access(rawPath.constData(), F_OK), 0);
}

void TrashAndArchivesTest::aLinkIsTrashedNotItsTarget()
{
    QVERIFY(writeFile(m_dir.path() + "/target/kept.txt", "kept"));
    QCOMPARE(::symlink("target", QFile::encodeName(m_dir.path() + "/shortcut").constData()), 0);
    const QUrl trashed = FileOperations::moveToTrash(urlOf(m_dir.path() + "/shortcut"));
    QVERIFY(S_ISLNK(modeOf(trashed.toLocalFile())));
    QCOMPARE(contentsOf(m_dir.path() + "/target/kept.txt"), QByteArray("kept"));
    FileOperations::emptyTrash();
    QCOMPARE(contentsOf(m_dir.path() + "/target/kept.txt"), QByteArray("kept"));
}

void TrashAndArchivesTest::itemsOnAnotherFileSystemUseThatVolumesTrash()
{
    ScratchMount volume;
    if (!volume.isMounted())
        QSKIP(qPrintable(volume.whyNot()));
    const QString original = volume.path() + "/photos/beach.jpg";
    QVERIFY(writeFile(original, "sand"));
    const QString volumeTrash = volume.path() + "/.Trash-" + QString::number(::geteuid());

    const QUrl trashed = FileOperations::moveToTrash(urlOf(original));
    QCOMPARE(trashed, urlOf(volumeTrash + "/files/beach.jpg"));
    QCOMPARE(modeOf(volumeTrash) & 0777, mode_t(0700));
    // Recorded relative to the volume, so it stays right wherever the volume is mounted.
    QVERIFY(contentsOf(volumeTrash + "/info/beach.jpg.trashinfo").contains("\nPath=photos/beach.jpg\n"));
    QVERIFY(!QFileInfo::exists(homeTrash() + "/files/beach.jpg"));

    QCOMPARE(FileOperations::restoreFromTrash(trashed), urlOf(original));
    QCOMPARE(contentsOf(original), QByteArray("sand"));
    QCOMPARE(entriesOf(volumeTrash + "/info"), QStringList{});

    FileOperations::moveToTrash(urlOf(original));
    QVERIFY(writeFile(m_dir.path() + "/home item", "h"));
    FileOperations::moveToTrash(urlOf(m_dir.path() + "/home item"));
    FileOperations::emptyTrash();
    QCOMPARE(entriesOf(volumeTrash + "/files"), QStringList{});
    QCOMPARE(entriesOf(volumeTrash + "/info"), QStringList{});
    QCOMPARE(entriesOf(homeTrash() + "/files"), QStringList{});
    QCOMPARE(entriesOf(volume.path() + "/photos"), QStringList{});
}

void TrashAndArchivesTest::emptyTrashRemovesEveryItemWithItsInfo()
{
    QVERIFY(writeFile(m_dir.path() + "/.hidden-config", "dot"));
    QVERIFY(writeFile(m_dir.path() + "/folder/deep/er/file", "x"));
    QVERIFY(writeFile(m_dir.path() + "/plain.txt", "p"));
    QVERIFY(writeFile(m_dir.path() + "/outside.txt", "stays"));
    for (const char *name : {"/.hidden-config", "/folder", "/plain.txt"})
        FileOperations::moveToTrash(urlOf(m_dir.path() + name));
    QCOMPARE(entriesOf(homeTrash() + "/files").size(), 3);
    // An info file left behind by another program with no item.
    QVERIFY(writeFile(homeTrash() + "/info/orphan.trashinfo", "[Trash Info]\nPath=/x\n"));

    FileOperations::emptyTrash();
    QCOMPARE(entriesOf(homeTrash() + "/files"), QStringList{});
    QCOMPARE(entriesOf(homeTrash() + "/info"), QStringList{});
    QCOMPARE(entriesOf(m_dir.path()), QStringList{"outside.txt"});
    // Emptying an empty or absent trash is no error.
    FileOperations::emptyTrash();
    tw::test::removeTree(homeTrash());
    FileOperations::emptyTrash();
}

void TrashAndArchivesTest::networkSharesAreNeverSearchedForATrash_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("isSearched");
    QTest::newRow("local") << "ext4" << true;
    QTest::newRow("cifs") << "cifs" << false;
    QTest::newRow("nfs4") << "nfs4" << false;
    QTest::newRow("sshfs") << "fuse.sshfs" << false;
    QTest::newRow("gvfs bridge") << "fuse.gvfsd-fuse" << false;
}

void TrashAndArchivesTest::networkSharesAreNeverSearchedForATrash()
{
    // A share that stopped answering would hang the look for its trash folder,
    // and so would a local file system mounted inside it.
    QFETCH(QString, type);
    QFETCH(bool, isSearched);
    const QString mount = m_dir.path() + "/mount";
    const QString inside = mount + "/inside";
    const QString uid = QString::number(::geteuid());
    QVERIFY(QDir().mkpath(mount + "/.Trash-" + uid));
    QVERIFY(QDir().mkpath(inside + "/.Trash-" + uid));
    const QList<MountEntry> table {{"/", "/dev/root", "ext4"}, {mount, "source", type}, {inside, "/dev/sdb1", "ext4"}};

    std::vector<QByteArray> expected;
    if (isSearched)
        expected = {QFile::encodeName(mount + "/.Trash-" + uid), QFile::encodeName(inside + "/.Trash-" + uid)};
    std::vector<QByteArray> found = Trash::trashFolders(table);
    std::erase(found, Trash::homeTrashPath());
    QCOMPARE(found, expected);
}

void TrashAndArchivesTest::archivesHoldTheItemUnderItsOwnName()
{
    QVERIFY(writeFile(m_dir.path() + "/Photos/one.txt", "1"));
    QVERIFY(writeFile(m_dir.path() + "/a.txt", "a"));
    QCOMPARE(FileOperations::compress(urlOf(m_dir.path() + "/Photos")), urlOf(m_dir.path() + "/Photos.zip"));
    QCOMPARE(FileOperations::compress(urlOf(m_dir.path() + "/Photos")), urlOf(m_dir.path() + "/Photos 2.zip"));
    QCOMPARE(FileOperations::compress(urlOf(m_dir.path() + "/a.txt")), urlOf(m_dir.path() + "/a.txt.zip"));
    QCOMPARE(entriesOf(m_dir.path()), (QStringList{"Photos", "Photos 2.zip", "Photos.zip", "a.txt", "a.txt.zip"}));

    QByteArray listing;
    if (!run("unzip", {"-Z1", m_dir.path() + "/Photos 2.zip"}, &listing))
        QSKIP("unzip is not installed");
    QCOMPARE(listing.split('\n'), (QList<QByteArray>{"Photos/", "Photos/one.txt", ""}));
    QVERIFY(run("unzip", {"-Z1", m_dir.path() + "/a.txt.zip"}, &listing));
    QCOMPARE(listing, QByteArray("a.txt\n"));
}

void TrashAndArchivesTest::archiveExtractsToTheSameTree()
{
    const QString source = m_dir.path() + "/Project";
    QVERIFY(writeFile(source + "/readme.md", "# hello\n"));
    QVERIFY(writeFile(source + "/bin/tool", "#!/bin/sh\necho hi\n"));
    QVERIFY(writeFile(source + "/data/large.bin", QByteArray(300000, '\x07') + QByteArray("end")));
    QVERIFY(writeFile(source + "/.env", "hidden"));
    QVERIFY(QDir().mkpath(source + "/empty folder"));
    QCOMPARE(::chmod(QFile::encodeName(source + "/bin/tool").constData(), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(source + "/readme.md").constData(), 0600), 0);
    QCOMPARE(::symlink("../readme.md", QFile::encodeName(source + "/bin/readme-link").constData()), 0);
    const QDateTime stamp = QDateTime::fromString(QStringLiteral("2020-02-03T04:05:06Z"), Qt::ISODate);
    QVERIFY(tw::test::setModificationTime(source + "/readme.md", stamp.toSecsSinceEpoch()));

    const QUrl archive = FileOperations::compress(urlOf(source));
    const QString out = m_dir.path() + "/out";
    QVERIFY(QDir().mkpath(out));
    if (!run("unzip", {"-q", archive.toLocalFile(), "-d", out}))
        QSKIP("unzip is not installed");
    const QString copy = out + "/Project";
    QCOMPARE(entriesOf(copy), (QStringList{".env", "bin", "data", "empty folder", "readme.md"}));
    QCOMPARE(contentsOf(copy + "/readme.md"), QByteArray("# hello\n"));
    QCOMPARE(contentsOf(copy + "/data/large.bin"), contentsOf(source + "/data/large.bin"));
    QCOMPARE(contentsOf(copy + "/.env"), QByteArray("hidden"));
    QCOMPARE(modeOf(copy + "/bin/tool") & 07777, mode_t(0755));
    QCOMPARE(modeOf(copy + "/readme.md") & 07777, mode_t(0600));
    QVERIFY(S_ISLNK(modeOf(copy + "/bin/readme-link")));
    QCOMPARE(QFile::symLinkTarget(copy + "/bin/readme-link"), copy + "/readme.md");
    // Zip keeps local times to two seconds.
    QVERIFY(qAbs(QFileInfo(copy + "/readme.md").lastModified().secsTo(stamp)) <= 2);
    QVERIFY(QFileInfo(copy + "/empty folder").isDir());
    QCOMPARE(entriesOf(m_dir.path()), (QStringList{"Project", "Project.zip", "out"}));
}

TW_CORE_TEST_MAIN(TrashAndArchivesTest)
#include "tst_TrashAndArchives.moc"
