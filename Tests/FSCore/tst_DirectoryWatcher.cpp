#include "TestHome.h"

#include "FSCore/DirectoryWatcher.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

namespace {

// Inotify descriptors this process has open.
int openInotifyDescriptors()
{
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &entry : fds.entryList(QDir::Files | QDir::System)) {
        if (QFile::symLinkTarget(fds.filePath(entry)).contains(QLatin1String("inotify")))
            ++count;
    }
    return count;
}

QUrl urlOf(const QTemporaryDir &dir)
{
    return PathCodec::urlForPath(dir.path());
}

} // namespace

class DirectoryWatcherTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void burstGivesOneCallAfterTheQuietTime();
    void eventsOfEachKindAreReported_data();
    void eventsOfEachKindAreReported();
    void contentChangesAreNotReported();
    void missingFolderLeavesTheWatcherIdle();
    void retargetingDropsTheOldFolderAndItsPendingCall();
    void stopDropsThePendingCall();
    void destroyedWatcherClosesItsDescriptor();
};

void DirectoryWatcherTest::burstGivesOneCallAfterTheQuietTime()
{
    QTemporaryDir dir;
    DirectoryWatcher watcher(0.3);
    int calls = 0;
    QElapsedTimer sinceLastChange;
    qint64 quietTime = -1;
    watcher.onChange = [&] {
        ++calls;
        quietTime = sinceLastChange.elapsed();
    };
    watcher.startWatching(urlOf(dir));
    QVERIFY(watcher.isWatching());
    for (int i = 0; i < 10; ++i) {
        QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("copy %1").arg(i)), "x"));
        sinceLastChange.start();
        QTest::qWait(8);
    }
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 2000);
    QVERIFY2(quietTime >= 280 && quietTime < 1000, qPrintable(QString::number(quietTime)));
    QTest::qWait(500);
    QCOMPARE(calls, 1);
}

void DirectoryWatcherTest::eventsOfEachKindAreReported_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("create") << QStringLiteral("create");
    QTest::newRow("delete") << QStringLiteral("delete");
    QTest::newRow("rename inside") << QStringLiteral("rename");
    QTest::newRow("make a folder") << QStringLiteral("mkdir");
    QTest::newRow("folder itself moved") << QStringLiteral("moveSelf");
    QTest::newRow("folder itself deleted") << QStringLiteral("deleteSelf");
}

void DirectoryWatcherTest::eventsOfEachKindAreReported()
{
    QFETCH(QString, change);
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("watched"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(tw::test::writeFile(folder + QStringLiteral("/existing"), "x"));
    DirectoryWatcher watcher(0.05);
    int calls = 0;
    watcher.onChange = [&] { ++calls; };
    watcher.startWatching(PathCodec::urlForPath(folder));
    if (change == QLatin1String("create"))
        QVERIFY(tw::test::writeFile(folder + QStringLiteral("/new")));
    else if (change == QLatin1String("delete"))
        QVERIFY(QFile::remove(folder + QStringLiteral("/existing")));
    else if (change == QLatin1String("rename"))
        QVERIFY(QFile::rename(folder + QStringLiteral("/existing"), folder + QStringLiteral("/renamed")));
    else if (change == QLatin1String("mkdir"))
        QVERIFY(QDir(folder).mkdir(QStringLiteral("sub")));
    else if (change == QLatin1String("moveSelf"))
        QVERIFY(QDir().rename(folder, parent.filePath(QStringLiteral("moved"))));
    else
        QVERIFY(QDir(folder).removeRecursively());
    QTRY_VERIFY(calls >= 1);
}

void DirectoryWatcherTest::contentChangesAreNotReported()
{
    QTemporaryDir dir;
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("file")), "one"));
    DirectoryWatcher watcher(0.05);
    int calls = 0;
    watcher.onChange = [&] { ++calls; };
    watcher.startWatching(urlOf(dir));
    QFile file(dir.filePath(QStringLiteral("file")));
    QVERIFY(file.open(QIODevice::Append));
    file.write("more");
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner));
    QTest::qWait(300);
    QCOMPARE(calls, 0);
}

void DirectoryWatcherTest::missingFolderLeavesTheWatcherIdle()
{
    const int before = openInotifyDescriptors();
    DirectoryWatcher watcher(0.05);
    bool called = false;
    watcher.onChange = [&] { called = true; };
    watcher.startWatching(PathCodec::urlForPath(QStringLiteral("/nonexistent-tidewright/folder")));
    QVERIFY(!watcher.isWatching());
    QCOMPARE(watcher.fileDescriptor(), -1);
    QCOMPARE(openInotifyDescriptors(), before);
    // A file is not a folder to watch either.
    watcher.startWatching(PathCodec::urlForPath(QStringLiteral("/proc/self/status")));
    QVERIFY(!watcher.isWatching());
    QTest::qWait(100);
    QVERIFY(!called);
}

void DirectoryWatcherTest::retargetingDropsTheOldFolderAndItsPendingCall()
{
    QTemporaryDir first, second;
    const int before = openInotifyDescriptors();
    DirectoryWatcher watcher(0.2);
    int calls = 0;
    watcher.onChange = [&] { ++calls; };
    watcher.startWatching(urlOf(first));
    QVERIFY(tw::test::writeFile(first.filePath(QStringLiteral("pending"))));
    QTest::qWait(50); // the change is seen and its call pending
    watcher.startWatching(urlOf(second));
    QCOMPARE(openInotifyDescriptors(), before + 1);
    QTest::qWait(400);
    QCOMPARE(calls, 0);
    QVERIFY(tw::test::writeFile(first.filePath(QStringLiteral("ignored"))));
    QTest::qWait(400);
    QCOMPARE(calls, 0);
    QVERIFY(tw::test::writeFile(second.filePath(QStringLiteral("seen"))));
    QTRY_COMPARE(calls, 1);
}

void DirectoryWatcherTest::stopDropsThePendingCall()
{
    QTemporaryDir dir;
    const int before = openInotifyDescriptors();
    DirectoryWatcher watcher(0.3);
    int calls = 0;
    watcher.onChange = [&] { ++calls; };
    watcher.startWatching(urlOf(dir));
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("file"))));
    QTest::qWait(100);
    watcher.stop();
    QCOMPARE(openInotifyDescriptors(), before);
    QTest::qWait(500);
    QCOMPARE(calls, 0);
}

void DirectoryWatcherTest::destroyedWatcherClosesItsDescriptor()
{
    QTemporaryDir dir;
    const int before = openInotifyDescriptors();
    int calls = 0;
    {
        DirectoryWatcher watcher(0.05);
        watcher.onChange = [&] { ++calls; };
        watcher.startWatching(urlOf(dir));
        QCOMPARE(openInotifyDescriptors(), before + 1);
        QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("file"))));
        QTest::qWait(20);
    }
    QCOMPARE(openInotifyDescriptors(), before);
    QTest::qWait(200);
    QCOMPARE(calls, 0);
}

TW_CORE_TEST_MAIN(DirectoryWatcherTest)
#include "tst_DirectoryWatcher.moc"
