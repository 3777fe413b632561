#include "TestHome.h"

#include "FSCore/DirectoryWatcher.h"
#include "FSCore/FileItem.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

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
    void constantChangeStillNotifiesWithinTheMaximumWait();
    void eventsOfEachKindAreReportedWithTheirNames_data();
    void eventsOfEachKindAreReportedWithTheirNames();
    void queueOverflowMeansEverythingChangedForEveryWatch();
    void watchersShareOneInotifyDescriptor();
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

void DirectoryWatcherTest::constantChangeStillNotifiesWithinTheMaximumWait()
{
    QTemporaryDir dir;
    DirectoryWatcher watcher(0.3);
    QElapsedTimer sinceFirstChange;
    qint64 firstCall = -1;
    watcher.onChange = [&] {
        if (firstCall < 0)
            firstCall = sinceFirstChange.elapsed();
    };
    watcher.startWatching(urlOf(dir));
    sinceFirstChange.start();
    // A download that never pauses for the debounce interval.
    for (int i = 0; sinceFirstChange.elapsed() < 2000; ++i) {
        QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("part %1").arg(i)), "x"));
        QTest::qWait(100);
    }
    // Without the maximum wait the first call would come only after the burst.
    QVERIFY2(firstCall >= 900 && firstCall < 1900, qPrintable(QString::number(firstCall)));
}

void DirectoryWatcherTest::eventsOfEachKindAreReportedWithTheirNames_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("names"); // empty: everything
    const QStringList existing{QStringLiteral("existing")};
    QTest::newRow("create") << QStringLiteral("create") << QStringList{QStringLiteral("new")};
    QTest::newRow("delete") << QStringLiteral("delete") << existing;
    QTest::newRow("rename inside") << QStringLiteral("rename")
                                   << QStringList{QStringLiteral("existing"), QStringLiteral("renamed")};
    QTest::newRow("make a folder") << QStringLiteral("mkdir") << QStringList{QStringLiteral("sub")};
    QTest::newRow("contents written") << QStringLiteral("write") << existing;
    QTest::newRow("permissions") << QStringLiteral("chmod") << existing;
    QTest::newRow("label colour") << QStringLiteral("tag") << existing;
    QTest::newRow("folder itself moved") << QStringLiteral("moveSelf") << QStringList();
    QTest::newRow("folder itself deleted") << QStringLiteral("deleteSelf") << QStringList();
}

void DirectoryWatcherTest::eventsOfEachKindAreReportedWithTheirNames()
{
    QFETCH(QString, change);
    QFETCH(QStringList, names);
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("watched"));
    QVERIFY(QDir().mkpath(folder));
    const QString existing = folder + QStringLiteral("/existing");
    QVERIFY(tw::test::writeFile(existing, "x"));
    DirectoryWatcher watcher(0.05);
    QList<QStringList> calls;
    watcher.onChangedNames = [&](const QStringList &changed) { calls.append(changed); };
    watcher.startWatching(PathCodec::urlForPath(folder));
    if (change == QLatin1String("create"))
        QVERIFY(tw::test::writeFile(folder + QStringLiteral("/new")));
    else if (change == QLatin1String("delete"))
        QVERIFY(QFile::remove(existing));
    else if (change == QLatin1String("rename"))
        QVERIFY(QFile::rename(existing, folder + QStringLiteral("/renamed")));
    else if (change == QLatin1String("mkdir"))
        QVERIFY(QDir(folder).mkdir(QStringLiteral("sub")));
    else if (change == QLatin1String("write"))
        QVERIFY(tw::test::writeFile(existing, "more"));
    else if (change == QLatin1String("chmod"))
        QVERIFY(QFile::setPermissions(existing, QFileDevice::ReadOwner));
    else if (change == QLatin1String("tag"))
        FileItem(PathCodec::urlForPath(existing)).setLabelColor(LabelColor::green);
    else if (change == QLatin1String("moveSelf"))
        QVERIFY(QDir().rename(folder, parent.filePath(QStringLiteral("moved"))));
    else
        QVERIFY(QDir(folder).removeRecursively());
    QTRY_VERIFY(!calls.isEmpty());
    QStringList seen = calls.first();
    seen.sort();
    if (change == QLatin1String("deleteSelf") && !seen.isEmpty()) {
        // The entries go first, in a batch of their own, then the folder.
        QTRY_COMPARE(calls.size(), 2);
        seen = calls.last();
    }
    QCOMPARE(seen, names);
}

void DirectoryWatcherTest::queueOverflowMeansEverythingChangedForEveryWatch()
{
    QTemporaryDir busy, quiet;
    DirectoryWatcher busyWatcher(0.05), quietWatcher(0.05);
    QList<QStringList> busyCalls, quietCalls;
    busyWatcher.onChangedNames = [&](const QStringList &names) { busyCalls.append(names); };
    quietWatcher.onChangedNames = [&](const QStringList &names) { quietCalls.append(names); };
    busyWatcher.startWatching(urlOf(busy));
    quietWatcher.startWatching(urlOf(quiet));
    // Two events a file (created, closed after writing), more than the kernel queues.
    const QByteArray folder = QFile::encodeName(busy.path());
    for (int i = 0; i < 9000; ++i) {
        const QByteArray path = folder + "/f" + QByteArray::number(i);
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    QTRY_VERIFY(!busyCalls.isEmpty() && !quietCalls.isEmpty());
    QVERIFY(busyCalls.contains(QStringList()));
    QCOMPARE(quietCalls, QList<QStringList>{QStringList()});
}

void DirectoryWatcherTest::watchersShareOneInotifyDescriptor()
{
    QTemporaryDir first, second;
    const int before = openInotifyDescriptors();
    DirectoryWatcher a(0.05), b(0.05), sameAsA(0.05);
    int callsOfSame = 0;
    sameAsA.onChange = [&] { ++callsOfSame; };
    a.startWatching(urlOf(first));
    b.startWatching(urlOf(second));
    sameAsA.startWatching(urlOf(first));
    QCOMPARE(openInotifyDescriptors(), before + 1);
    QCOMPARE(a.fileDescriptor(), b.fileDescriptor());
    // The folder's kernel watch is shared: stopping one watcher keeps the other's.
    a.stop();
    QVERIFY(tw::test::writeFile(first.filePath(QStringLiteral("file"))));
    QTRY_VERIFY(callsOfSame >= 1);
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
