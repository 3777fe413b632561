#include "ScratchMount.h"
#include "TestHome.h"

#include "FSCore/FileJob.h"
#include "FSCore/FileJobQueue.h"
#include "FSPlatform/OperationProgress.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/TreeCopier.h"
#include "FSPlatform/TreeLookahead.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>

#include <sys/stat.h>
#include <time.h>

using tw::test::entriesOf;
using tw::test::ScratchMount;
using tw::test::TemporaryFolder;
using tw::test::writeFile;

namespace {

QUrl urlOf(const QString &path)
{
    return PathCodec::urlForPath(path);
}

struct Totals
{
    qint64 items = 0;
    qint64 bytes = 0;
};

Totals totalsOf(const QString &path)
{
    TreeLookahead lookahead(false);
    lookahead.list({PathCodec::encode(path)}, {false});
    lookahead.sizeFromTheEnd(CLOCK_PROCESS_CPUTIME_ID, 1.0, [] { return false; });
    return {lookahead.itemsTotal().value_or(-1), lookahead.bytesTotal().value_or(-1)};
}

// Enough entries that no copy of them is over before the test can stop it.
void makeLargeTree(const QString &root)
{
    for (int folder = 0; folder < 20; ++folder) {
        const QString path = root + QStringLiteral("/Folder %1").arg(folder);
        QDir().mkpath(path);
        for (int file = 0; file < 250; ++file)
            writeFile(path + QStringLiteral("/file %1.txt").arg(file), "x");
    }
}

// Runs the job to its end and returns what it handed over.
FileJobResult finish(FileJob &job)
{
    QSignalSpy finished(&job, &FileJob::finished);
    if (!job.isStarted())
        job.start();
    if (!finished.wait(60'000))
        return {};
    return finished.first().first().value<FileJobResult>();
}

} // namespace

class FileJobsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stoppedJobLeavesNothingPartialAndSourceIntact_data();
    void stoppedJobLeavesNothingPartialAndSourceIntact();
    void failingItemDoesNotStopTheOthers();
    void moveOntoFullDiskKeepsSource();
    void progressTotalsMatchTheTree_data();
    void progressTotalsMatchTheTree();
    void lookaheadTotalsAddUpWhoeverSizesEachFolder_data();
    void lookaheadTotalsAddUpWhoeverSizesEachFolder();
    void copyFromAnOlderListingPassesOverWhatWentAndLeavesOutWhatCame();

private:
    TemporaryFolder m_dir;
};

void FileJobsTest::stoppedJobLeavesNothingPartialAndSourceIntact_data()
{
    QTest::addColumn<FileJob::Kind>("kind");
    QTest::addColumn<bool>("acrossDevices");
    QTest::newRow("copy") << FileJob::Kind::copy << false;
    QTest::newRow("duplicate") << FileJob::Kind::duplicate << false;
    QTest::newRow("compress") << FileJob::Kind::compress << false;
    QTest::newRow("move across devices") << FileJob::Kind::move << true;
}

void FileJobsTest::stoppedJobLeavesNothingPartialAndSourceIntact()
{
    QFETCH(FileJob::Kind, kind);
    QFETCH(bool, acrossDevices);
    // The tree is made on tmpfs where it can be: far quicker to make than on a busy disk.
    ScratchMount tree("size=64m,nr_inodes=100000");
    ScratchMount mount("size=64m,nr_inodes=100000");
    if (acrossDevices && !mount.isMounted())
        QSKIP(qPrintable(mount.whyNot()));

    TemporaryFolder work((tree.isMounted() ? tree.path() : m_dir.path()) + "/stop-XXXXXX");
    const QString source = work.path() + "/Source";
    makeLargeTree(source);
    const bool intoFolder = kind == FileJob::Kind::copy || kind == FileJob::Kind::move;
    const QString destination = acrossDevices ? mount.path() : work.path() + "/Destination";
    if (intoFolder)
        QDir().mkpath(destination);
    const Totals before = totalsOf(source);

    FileJob job(kind, {urlOf(source)}, intoFolder ? urlOf(destination) : QUrl());
    QSignalSpy finished(&job, &FileJob::finished);
    job.start();
    // Watched from here, not through the throttled signal, to stop it early.
    QElapsedTimer waiting;
    waiting.start();
    while (job.progress().itemsDone < 50 && waiting.elapsed() < 10'000)
        QThread::usleep(100);
    QVERIFY2(finished.isEmpty() && job.progress().itemsDone >= 50, "the job ended before it could be stopped");

    QElapsedTimer sinceStop;
    sinceStop.start();
    job.cancel();
    QVERIFY(finished.wait(10'000));
    QVERIFY2(sinceStop.elapsed() < 200, qPrintable(QStringLiteral("stopped after %1 ms").arg(sinceStop.elapsed())));

    const FileJobResult result = finished.first().first().value<FileJobResult>();
    QVERIFY(result.wasCancelled);
    QVERIFY(result.succeeded.isEmpty());
    QVERIFY(result.failures.isEmpty());
    // Nothing new beside the source, no temporary name left, not one entry lost.
    QCOMPARE(entriesOf(work.path()), intoFolder && !acrossDevices ? (QStringList{"Destination", "Source"}) : QStringList{"Source"});
    if (intoFolder)
        QCOMPARE(entriesOf(destination), QStringList());
    const Totals after = totalsOf(source);
    QCOMPARE(after.items, before.items);
    QCOMPARE(after.bytes, before.bytes);
}

void FileJobsTest::failingItemDoesNotStopTheOthers()
{
    TemporaryFolder work(m_dir.path() + "/fail-XXXXXX");
    QVERIFY(writeFile(work.path() + "/a.txt", "a"));
    QVERIFY(writeFile(work.path() + "/Folder/inside.txt", "b"));
    QVERIFY(writeFile(work.path() + "/Target/a.txt", "taken"));
    const QList<QUrl> items{urlOf(work.path() + "/a.txt"), urlOf(work.path() + "/missing"),
                            urlOf(work.path() + "/Folder"), urlOf(work.path() + "/Folder")};

    FileJob copy(FileJob::Kind::copy, items, urlOf(work.path() + "/Target"));
    const FileJobResult copied = finish(copy);
    QVERIFY(!copied.wasCancelled);
    QCOMPARE(copied.succeeded.size(), 3);
    QCOMPARE(copied.succeeded[0].source, items[0]);
    QCOMPARE(copied.succeeded[0].result, urlOf(work.path() + "/Target/a 2.txt"));
    QCOMPARE(copied.succeeded[1].result, urlOf(work.path() + "/Target/Folder"));
    QCOMPARE(copied.succeeded[2].result, urlOf(work.path() + "/Target/Folder 2"));
    QCOMPARE(copied.failures.size(), 1);
    QCOMPARE(copied.failures[0].source, items[1]);
    QVERIFY(!copied.failures[0].message.isEmpty());
    QCOMPARE(entriesOf(work.path() + "/Target"), (QStringList{"Folder", "Folder 2", "a 2.txt", "a.txt"}));

    // A folder into itself is refused with its message; the next item still moves.
    FileJob move(FileJob::Kind::move, {urlOf(work.path() + "/Folder"), urlOf(work.path() + "/a.txt")},
                 urlOf(work.path() + "/Folder"));
    const FileJobResult moved = finish(move);
    QCOMPARE(moved.failures.size(), 1);
    QCOMPARE(moved.failures[0].message, QStringLiteral("A folder can’t be moved into itself."));
    QCOMPARE(moved.succeeded.size(), 1);
    QCOMPARE(moved.succeeded[0].result, urlOf(work.path() + "/Folder/a.txt"));
}

void FileJobsTest::moveOntoFullDiskKeepsSource()
{
    ScratchMount mount("size=1m");
    if (!mount.isMounted())
        QSKIP(qPrintable(mount.whyNot()));
    TemporaryFolder work(m_dir.path() + "/full-XXXXXX");
    QVERIFY(writeFile(work.path() + "/Big/one.bin", QByteArray(700 * 1024, 'a')));
    QVERIFY(writeFile(work.path() + "/Big/two.bin", QByteArray(700 * 1024, 'b')));
    QVERIFY(writeFile(work.path() + "/small.txt", "small"));

    FileJob move(FileJob::Kind::move, {urlOf(work.path() + "/Big"), urlOf(work.path() + "/small.txt")}, urlOf(mount.path()));
    const FileJobResult result = finish(move);
    QCOMPARE(result.failures.size(), 1);
    QCOMPARE(result.failures[0].source, urlOf(work.path() + "/Big"));
    QCOMPARE(result.succeeded.size(), 1);
    QCOMPARE(entriesOf(work.path() + "/Big"), (QStringList{"one.bin", "two.bin"}));
    QCOMPARE(QFileInfo(work.path() + "/Big/two.bin").size(), 700 * 1024);
    QCOMPARE(entriesOf(mount.path()), QStringList{"small.txt"});
    QCOMPARE(entriesOf(work.path()), QStringList{"Big"});
}

void FileJobsTest::progressTotalsMatchTheTree_data()
{
    QTest::addColumn<FileJob::Kind>("kind");
    QTest::addColumn<qint64>("items");
    QTest::addColumn<qint64>("bytes");
    // 2 folders, 3 files (one sparse), a link, and a loose file.
    const qint64 bytes = 1000 + 24 + (3 << 20) + 10;
    QTest::newRow("copy") << FileJob::Kind::copy << qint64(7) << bytes;
    QTest::newRow("duplicate") << FileJob::Kind::duplicate << qint64(7) << bytes;
    QTest::newRow("compress") << FileJob::Kind::compress << qint64(7) << bytes;
    // Renames: one step each, nothing to read.
    QTest::newRow("move within a file system") << FileJob::Kind::move << qint64(2) << qint64(0);
}

void FileJobsTest::progressTotalsMatchTheTree()
{
    QFETCH(FileJob::Kind, kind);
    QFETCH(qint64, items);
    QFETCH(qint64, bytes);
    TemporaryFolder work(m_dir.path() + "/totals-XXXXXX");
    QVERIFY(writeFile(work.path() + "/Tree/a.txt", QByteArray(1000, 'a')));
    QVERIFY(writeFile(work.path() + "/Tree/Sub/b.txt", QByteArray(24, 'b')));
    QFile sparse(work.path() + "/Tree/Sub/sparse");
    QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(3 << 20));
    sparse.close();
    QVERIFY(QFile::link("a.txt", work.path() + "/Tree/link"));
    QVERIFY(writeFile(work.path() + "/loose.txt", QByteArray(10, 'c')));
    QDir().mkpath(work.path() + "/Into");

    const bool intoFolder = kind == FileJob::Kind::copy || kind == FileJob::Kind::move;
    FileJob job(kind, {urlOf(work.path() + "/Tree"), urlOf(work.path() + "/loose.txt")},
                intoFolder ? urlOf(work.path() + "/Into") : QUrl());
    const FileJobResult result = finish(job);
    QVERIFY(result.failures.isEmpty());
    QCOMPARE(result.succeeded.size(), 2);
    const FileJobProgress progress = job.progress();
    QVERIFY(progress.isItemsTotalKnown && progress.isBytesTotalKnown);
    QCOMPARE(progress.itemsTotal, items);
    QCOMPARE(progress.bytesTotal, bytes);
    QCOMPARE(progress.itemsDone, progress.itemsTotal);
    QCOMPARE(progress.bytesDone, progress.bytesTotal);
}

void FileJobsTest::lookaheadTotalsAddUpWhoeverSizesEachFolder_data()
{
    // When the copier takes the top folder: not at all, before the walk has
    // listed it, or after; and whether it is done with it before the walk
    // sizes the rest, or after the walk has sized that folder too.
    QTest::addColumn<QString>("copierTakesTop");
    QTest::addColumn<bool>("copierFinishesFirst");
    QTest::newRow("the walk sizes every folder") << "never" << true;
    QTest::newRow("the copier sizes the top folder") << "after the walk lists it" << true;
    QTest::newRow("the copier takes the top folder first") << "before the walk lists it" << true;
    QTest::newRow("both size the top folder") << "after the walk lists it" << false;
}

// The walk and the copier size folders from either end; the byte total is
// only right when every folder counts once, whoever sized it.
void FileJobsTest::lookaheadTotalsAddUpWhoeverSizesEachFolder()
{
    QFETCH(QString, copierTakesTop);
    QFETCH(bool, copierFinishesFirst);
    TemporaryFolder work(m_dir.path() + "/lookahead-XXXXXX");
    const QString tree = work.path() + "/Tree";
    QVERIFY(writeFile(tree + "/a.txt", QByteArray(1000, 'a')));
    QVERIFY(writeFile(tree + "/Sub/b.txt", QByteArray(24, 'b')));
    QVERIFY(writeFile(tree + "/Sub/Deeper/c.txt", QByteArray(5, 'c')));
    QVERIFY(QFile::link("a.txt", tree + "/link"));
    QVERIFY(writeFile(work.path() + "/loose.txt", QByteArray(10, 'l')));
    struct stat top;
    QCOMPARE(::stat(PathCodec::encode(tree).constData(), &top), 0);
    const qint64 total = 1000 + 24 + 5 + 10;

    TreeLookahead lookahead;
    const auto takeTop = [&] {
        const TreeLookahead::Claim claim = lookahead.take(top.st_dev, top.st_ino);
        QVERIFY(claim.sizesFiles);
        QCOMPARE(bool(claim.listing), copierTakesTop == QLatin1String("after the walk lists it"));
    };
    // What the copier counts straight inside the top folder: a.txt.
    const auto finishTop = [&] { lookahead.sized(top.st_dev, top.st_ino, 1000); };
    if (copierTakesTop == QLatin1String("before the walk lists it"))
        takeTop();
    lookahead.list({PathCodec::encode(tree), PathCodec::encode(work.path() + "/loose.txt")}, {false, false});
    QCOMPARE(lookahead.itemsTotal(), std::optional<qint64>(8));
    if (copierTakesTop == QLatin1String("after the walk lists it"))
        takeTop();
    if (copierTakesTop != QLatin1String("never") && copierFinishesFirst)
        finishTop();
    QVERIFY(!lookahead.bytesTotal());
    lookahead.sizeFromTheEnd(CLOCK_PROCESS_CPUTIME_ID, 1.0, [] { return false; });
    QCOMPARE(lookahead.bytesTotal(), std::optional<qint64>(total));
    if (copierTakesTop != QLatin1String("never") && !copierFinishesFirst)
        finishTop();
    QCOMPARE(lookahead.bytesTotal(), std::optional<qint64>(total));
}

void FileJobsTest::copyFromAnOlderListingPassesOverWhatWentAndLeavesOutWhatCame()
{
    TemporaryFolder work(m_dir.path() + "/stale-XXXXXX");
    const QString tree = work.path() + "/Tree";
    QVERIFY(writeFile(tree + "/kept.txt", "kept"));
    QVERIFY(writeFile(tree + "/Sub/gone.txt", "gone"));
    TreeLookahead lookahead;
    lookahead.list({PathCodec::encode(tree)}, {false});
    QVERIFY(QFile::remove(tree + "/Sub/gone.txt"));
    QVERIFY(writeFile(tree + "/Sub/late.txt", "late"));

    OperationProgress progress;
    progress.setLookahead(&lookahead);
    TreeCopier copier;
    copier.setProgress(&progress);
    copier.copy(PathCodec::encode(tree), PathCodec::encode(work.path() + "/Copy"));
    QCOMPARE(entriesOf(work.path() + "/Copy"), (QStringList{"Sub", "kept.txt"}));
    QCOMPARE(entriesOf(work.path() + "/Copy/Sub"), QStringList());
    QCOMPARE(entriesOf(tree + "/Sub"), QStringList{"late.txt"});
}

TW_CORE_TEST_MAIN(FileJobsTest)
#include "tst_FileJobs.moc"
