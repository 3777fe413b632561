#include "TestHome.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/FolderSizeCalculator.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <QElapsedTimer>

#include <sys/mount.h>
#include <unistd.h>

namespace {

void makeFile(const QString &path, qint64 size)
{
    QVERIFY(tw::test::writeFile(path, QByteArray(size, 'x')));
}

std::optional<qint64> sizeOf(const QString &path)
{
    std::optional<qint64> result;
    FolderSizeCalculator calculator;
    calculator.calculate(PathCodec::urlForPath(path), [&](qint64 total) { result = total; });
    if (!QTest::qWaitFor([&] { return result.has_value(); }, 10000))
        return std::nullopt;
    return result;
}

// 200 folders of 100 empty files: a walk long enough to be overtaken. Made in
// memory where there is a tmpfs for it (on a busy disk, making 20,000 files
// takes longer than all the walks); empty, they take none of its pages.
QString makeBigTree(const QTemporaryDir &dir)
{
    const QString root = dir.filePath(QStringLiteral("big"));
    for (int folder = 0; folder < 200; ++folder) {
        const QByteArray path = QFile::encodeName(root + QStringLiteral("/d%1/e").arg(folder));
        if (!QDir().mkpath(QFile::decodeName(path)))
            return {};
        for (int file = 0; file < 100; ++file) {
            if (!tw::test::writeRawFile(path + "/f" + QByteArray::number(file)))
                return {};
        }
    }
    return root;
}

} // namespace

class FolderSizeCalculatorTest : public QObject
{
    Q_OBJECT
public:
    FolderSizeCalculatorTest()
        : m_big(QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm/tw-walks-XXXXXX")
                                                                    : QDir::tempPath() + QStringLiteral("/tw-walks-XXXXXX"))
    {
    }

private Q_SLOTS:
    void initTestCase() { m_bigTree = makeBigTree(m_big); }
    void sumsRegularFilesAtEveryDepth_data();
    void sumsRegularFilesAtEveryDepth();
    void linksAreNeverFollowed();
    void aFolderMountedTwiceIsCountedOnce();
    void unreadableFoldersAddNothing();
    void cancelledWalksNeverCallBack();
    void destroyedCalculatorNeverCallsBack();
    void completionWaitsForItsContext();
    void manyWalksAtOnceAllFinish();
    void twoWalksRunAtOnceAndAThirdWaits();
    void listingIsNeverQueuedBehindWalks();

private:
    QTemporaryDir m_big;
    QString m_bigTree;
};

void FolderSizeCalculatorTest::sumsRegularFilesAtEveryDepth_data()
{
    QTest::addColumn<QStringList>("files"); // "path:size"
    QTest::addColumn<qint64>("total");
    QTest::newRow("file and a nested file") << QStringList{QStringLiteral("a:100"), QStringLiteral("sub/b:50")} << qint64(150);
    QTest::newRow("hidden file only") << QStringList{QStringLiteral(".hidden:1000")} << qint64(0);
    QTest::newRow("hidden folder not entered")
        << QStringList{QStringLiteral(".cache/big:4000"), QStringLiteral("visible:7")} << qint64(7);
    QTest::newRow("deep tree") << QStringList{QStringLiteral("1/2/3/4/5/6/7/8/f:3"), QStringLiteral("1/g:4"),
                                              QStringLiteral("x/y/z:5")} << qint64(12);
    QTest::newRow("empty folders") << QStringList{QStringLiteral("a/b/c/")} << qint64(0);
}

void FolderSizeCalculatorTest::sumsRegularFilesAtEveryDepth()
{
    QFETCH(QStringList, files);
    QFETCH(qint64, total);
    QTemporaryDir dir;
    for (const QString &spec : files) {
        const QString path = spec.section(QLatin1Char(':'), 0, 0);
        if (path.endsWith(QLatin1Char('/')))
            QVERIFY(QDir().mkpath(dir.filePath(path)));
        else
            makeFile(dir.filePath(path), spec.section(QLatin1Char(':'), 1).toLongLong());
    }
    QCOMPARE(sizeOf(dir.path()), total);
}

void FolderSizeCalculatorTest::linksAreNeverFollowed()
{
    QTemporaryDir outside, dir;
    makeFile(outside.filePath(QStringLiteral("big")), 10000);
    makeFile(dir.filePath(QStringLiteral("own")), 10);
    QVERIFY(QFile::link(outside.path(), dir.filePath(QStringLiteral("link to folder"))));
    QVERIFY(QFile::link(outside.filePath(QStringLiteral("big")), dir.filePath(QStringLiteral("link to file"))));
    // A link back to the folder itself would loop forever if followed.
    QVERIFY(QFile::link(dir.path(), dir.filePath(QStringLiteral("loop"))));
    QCOMPARE(sizeOf(dir.path()), qint64(10));
    // The folder asked about may itself be reached through a link.
    QCOMPARE(sizeOf(dir.filePath(QStringLiteral("link to folder"))), qint64(10000));
}

void FolderSizeCalculatorTest::aFolderMountedTwiceIsCountedOnce()
{
    if (::geteuid() != 0)
        QSKIP("bind mounts need root");
    QTemporaryDir dir;
    makeFile(dir.filePath(QStringLiteral("data/file")), 500);
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("again"))));
    const QByteArray source = QFile::encodeName(dir.filePath(QStringLiteral("data")));
    const QByteArray target = QFile::encodeName(dir.filePath(QStringLiteral("again")));
    if (::mount(source.constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0)
        QSKIP("bind mounts are not allowed here");
    const std::optional<qint64> total = sizeOf(dir.path());
    ::umount2(target.constData(), MNT_DETACH);
    QCOMPARE(total, qint64(500));
}

void FolderSizeCalculatorTest::unreadableFoldersAddNothing()
{
    QCOMPARE(sizeOf(QStringLiteral("/nonexistent-tidewright/folder")), qint64(0));
    QCOMPARE(sizeOf(QStringLiteral("/proc/self/status")), qint64(0));
}

void FolderSizeCalculatorTest::cancelledWalksNeverCallBack()
{
    QTemporaryDir dir;
    for (int i = 0; i < 200; ++i)
        makeFile(dir.filePath(QStringLiteral("f%1/g").arg(i)), 1);
    FolderSizeCalculator calculator;
    bool called = false;
    calculator.calculate(PathCodec::urlForPath(dir.path()), [&](qint64) { called = true; });
    calculator.calculate(PathCodec::urlForPath(dir.path()), [&](qint64) { called = true; });
    calculator.cancel();
    QVERIFY(calculator.isCancelled());
    QTest::qWait(500);
    QVERIFY(!called);
    // A cancelled calculator stays cancelled.
    calculator.calculate(PathCodec::urlForPath(dir.path()), [&](qint64) { called = true; });
    QTest::qWait(300);
    QVERIFY(!called);
}

void FolderSizeCalculatorTest::destroyedCalculatorNeverCallsBack()
{
    QTemporaryDir dir;
    makeFile(dir.filePath(QStringLiteral("f")), 1);
    bool called = false;
    {
        FolderSizeCalculator calculator;
        calculator.calculate(PathCodec::urlForPath(dir.path()), [&](qint64) { called = true; });
    }
    QTest::qWait(300);
    QVERIFY(!called);
}

void FolderSizeCalculatorTest::completionWaitsForItsContext()
{
    QTemporaryDir dir;
    makeFile(dir.filePath(QStringLiteral("f")), 1);
    FolderSizeCalculator calculator;
    auto *context = new QObject;
    bool called = false;
    calculator.calculate(PathCodec::urlForPath(dir.path()), context, [&](qint64) { called = true; });
    delete context;
    QTest::qWait(300);
    QVERIFY(!called);
}

void FolderSizeCalculatorTest::manyWalksAtOnceAllFinish()
{
    // More walks than pool threads: none may wait for another's thread.
    QTemporaryDir dir;
    for (int i = 0; i < 20; ++i)
        makeFile(dir.filePath(QStringLiteral("f%1/a/b").arg(i)), i);
    FolderSizeCalculator calculator;
    int finished = 0;
    qint64 sum = 0;
    for (int i = 0; i < 20; ++i) {
        calculator.calculate(PathCodec::urlForPath(dir.filePath(QStringLiteral("f%1").arg(i))), [&](qint64 total) {
            ++finished;
            sum += total;
        });
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished, 20, 10000);
    QCOMPARE(sum, qint64(190));
}

void FolderSizeCalculatorTest::twoWalksRunAtOnceAndAThirdWaits()
{
    QVERIFY(!m_bigTree.isEmpty());
    const QString big = m_bigTree;
    QTemporaryDir dir;
    makeFile(dir.filePath(QStringLiteral("small/one")), 1);
    FolderSizeCalculator calculator;
    QStringList order;
    auto walk = [&](const QString &path, const QString &name) {
        calculator.calculate(PathCodec::urlForPath(path), [&order, name](qint64) { order.append(name); });
    };
    // A small walk beside a long one does not wait for it to end...
    walk(big, QStringLiteral("big"));
    walk(dir.filePath(QStringLiteral("small")), QStringLiteral("small"));
    QTRY_COMPARE_WITH_TIMEOUT(order.size(), 2, 30000);
    QCOMPARE(order, (QStringList {"small", "big"}));
    // ...but a third waits until one of two ends.
    order.clear();
    walk(big, QStringLiteral("big"));
    walk(big, QStringLiteral("big"));
    walk(dir.filePath(QStringLiteral("small")), QStringLiteral("small"));
    QTRY_COMPARE_WITH_TIMEOUT(order.size(), 3, 30000);
    QCOMPARE(order.first(), QStringLiteral("big"));
}

void FolderSizeCalculatorTest::listingIsNeverQueuedBehindWalks()
{
    QVERIFY(!m_bigTree.isEmpty());
    const QString big = m_bigTree;
    QTemporaryDir dir;
    makeFile(dir.filePath(QStringLiteral("small/one")), 1);
    FolderSizeCalculator calculator;
    int walksDone = 0;
    for (int i = 0; i < 4; ++i)
        calculator.calculate(PathCodec::urlForPath(big), [&](qint64) { ++walksDone; });
    QElapsedTimer timer;
    timer.start();
    bool isListed = false;
    DirectoryListingCache::contents(PathCodec::urlForPath(dir.filePath(QStringLiteral("small"))), this,
                                    [&](const FileItemList &) { isListed = true; });
    // A guard against a hang, not a speed test.
    QTRY_VERIFY_WITH_TIMEOUT(isListed, 1000);
    qInfo("listed in %lld ms beside four walks (%d of them done)", timer.elapsed(), walksDone);
    QTRY_COMPARE_WITH_TIMEOUT(walksDone, 4, 60000);
}

TW_CORE_TEST_MAIN(FolderSizeCalculatorTest)
#include "tst_FolderSizeCalculator.moc"
