#include "TestHome.h"

#include "FSCore/MetadataQuery.h"
#include "FSPlatform/PathCodec.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <unistd.h>

namespace {

void makeFile(const QString &path)
{
    QVERIFY(tw::test::writeFile(path, QByteArray("x")));
}

QStringList relativePaths(const FileItemList &items, const QString &root)
{
    QStringList paths;
    for (const FileItem &item : items)
        paths.append(QDir(root).relativeFilePath(item.path()));
    paths.sort();
    return paths;
}

QStringList search(const QString &root, const QString &text)
{
    MetadataQuery query;
    QSignalSpy finished(&query, &MetadataQuery::didFinishGathering);
    query.start(PathCodec::urlForPath(root), text);
    if (!finished.wait(20000))
        return {QStringLiteral("(no end)")};
    return relativePaths(query.results(), root);
}

} // namespace

class MetadataQueryTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void namesMatchLiterallyIgnoringCaseAndDiacritics_data();
    void namesMatchLiterallyIgnoringCaseAndDiacritics();
    void linksHiddenNamesAndOtherFileSystemsStayOut();
    void batchesAddUpToTheWholeResultOnce();
    void aNewQueryDropsTheBatchesOfTheOldOne();
    void entriesMadeOrRemovedBelowTheScopeComeAndGo();
    void anEntryMadeBeforeItsFolderIsWatchedIsFound_data();
    void anEntryMadeBeforeItsFolderIsWatchedIsFound();
    void foldersPastTheWatchLimitAreReported();
};

void MetadataQueryTest::namesMatchLiterallyIgnoringCaseAndDiacritics_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    const auto list = [](std::initializer_list<const char *> names) {
        QStringList out;
        for (const char *name : names)
            out.append(QString::fromUtf8(name));
        return out;
    };
    QTest::newRow("accents in the text") << QStringLiteral("résumé") << list({"Resume.txt", "sub/RÉSUMÉ old.md", "sub/re\u0301sume\u0301 nfd"});
    QTest::newRow("accents in the name") << QStringLiteral("RESUME") << list({"Resume.txt", "sub/RÉSUMÉ old.md", "sub/re\u0301sume\u0301 nfd"});
    QTest::newRow("sharp s folds to ss") << QStringLiteral("STRASSE") << list({"Straße.pdf"});
    QTest::newRow("a dot is a dot") << QStringLiteral("a.b") << list({"a.b"});
    QTest::newRow("a star is a star") << QStringLiteral("*") << list({"star*"});
    QTest::newRow("brackets are brackets") << QStringLiteral("[ab]") << list({"x[ab]"});
    QTest::newRow("outside the common scripts") << QStringLiteral("😀") << list({"smile 😀.png"});
    QTest::newRow("folders match too") << QStringLiteral("sub") << list({"sub"});
}

void MetadataQueryTest::namesMatchLiterallyIgnoringCaseAndDiacritics()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    for (const char *name : {"Resume.txt", "sub/RÉSUMÉ old.md", "sub/re\u0301sume\u0301 nfd", "Straße.pdf", "a.b", "axb",
                             "star*", "stars", "x[ab]", "xa", "smile 😀.png", "resum"})
        makeFile(dir.filePath(QString::fromUtf8(name)));
    QCOMPARE(search(dir.path(), text), expected);
}

void MetadataQueryTest::linksHiddenNamesAndOtherFileSystemsStayOut()
{
    QTemporaryDir dir;
    makeFile(dir.filePath(QStringLiteral("top/find me")));
    makeFile(dir.filePath(QStringLiteral("top/.find hidden")));
    makeFile(dir.filePath(QStringLiteral(".hidden folder/find inside")));
    makeFile(dir.filePath(QStringLiteral("elsewhere/find outside")));
    // A link back up would loop; a link out would leave the scope.
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("top")), dir.filePath(QStringLiteral("top/find loop"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("elsewhere")), dir.filePath(QStringLiteral("top/out"))));
    const QString top = dir.filePath(QStringLiteral("top"));
    QCOMPARE(search(top, QStringLiteral("find")), QStringList({QStringLiteral("find loop"), QStringLiteral("find me")}));

    if (::geteuid() != 0)
        QSKIP("mounts need root");
    const QByteArray data = QFile::encodeName(dir.filePath(QStringLiteral("top/data")));
    const QByteArray again = QFile::encodeName(dir.filePath(QStringLiteral("top/again")));
    const QByteArray other = QFile::encodeName(dir.filePath(QStringLiteral("top/other")));
    makeFile(dir.filePath(QStringLiteral("top/data/find twice")));
    QVERIFY(QDir().mkpath(QFile::decodeName(again)));
    QVERIFY(QDir().mkpath(QFile::decodeName(other)));
    if (::mount(data.constData(), again.constData(), nullptr, MS_BIND, nullptr) != 0)
        QSKIP("mounts are not allowed here");
    const bool otherMounted = ::mount("tmpfs", other.constData(), "tmpfs", 0, "size=1m") == 0;
    if (otherMounted)
        makeFile(dir.filePath(QStringLiteral("top/other/find on tmpfs")));
    const QStringList found = search(top, QStringLiteral("twice"));
    const QStringList foundOther = search(QFile::decodeName(other), QStringLiteral("find"));
    const QStringList foundAcross = search(top, QStringLiteral("tmpfs"));
    ::umount2(again.constData(), MNT_DETACH);
    if (otherMounted)
        ::umount2(other.constData(), MNT_DETACH);
    QCOMPARE(found.size(), 1);
    if (otherMounted) {
        QCOMPARE(foundOther, QStringList(QStringLiteral("find on tmpfs")));
        QCOMPARE(foundAcross, QStringList());
    }
}

void MetadataQueryTest::batchesAddUpToTheWholeResultOnce()
{
    QTemporaryDir dir;
    for (int folder = 0; folder < 60; ++folder) {
        for (int file = 0; file < 50; ++file)
            makeFile(dir.filePath(QStringLiteral("f%1/g%1/match %2").arg(folder).arg(file)));
    }
    MetadataQuery query;
    QSignalSpy finished(&query, &MetadataQuery::didFinishGathering);
    QStringList batched;
    connect(&query, &MetadataQuery::resultsAdded, this, [&](const FileItemList &items) {
        QVERIFY(query.isGathering());
        for (const FileItem &item : items) {
            QVERIFY(item.hasAttributeSnapshot());
            batched.append(item.path());
        }
    });
    query.start(PathCodec::urlForPath(dir.path()), QStringLiteral("MATCH"));
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(batched.size(), 3000);
    batched.removeDuplicates();
    QCOMPARE(batched.size(), 3000);
    QCOMPARE(query.results().size(), 3000);
}

void MetadataQueryTest::aNewQueryDropsTheBatchesOfTheOldOne()
{
    QTemporaryDir dir;
    for (int i = 0; i < 400; ++i) {
        makeFile(dir.filePath(QStringLiteral("d%1/alpha %1").arg(i)));
        makeFile(dir.filePath(QStringLiteral("d%1/beta %1").arg(i)));
    }
    MetadataQuery query;
    QSignalSpy finished(&query, &MetadataQuery::didFinishGathering);
    QStringList delivered;
    connect(&query, &MetadataQuery::resultsAdded, this, [&](const FileItemList &items) {
        for (const FileItem &item : items)
            delivered.append(QFileInfo(item.path()).fileName());
    });
    const QUrl scope = PathCodec::urlForPath(dir.path());
    // As typing "a", "al", then "be" would.
    query.start(scope, QStringLiteral("a"));
    query.start(scope, QStringLiteral("al"));
    QTest::qWait(5);
    query.start(scope, QStringLiteral("be"));
    QVERIFY(finished.wait(20000));
    QTest::qWait(200);
    QCOMPARE(finished.size(), 1);
    const QStringList late = delivered.filter(QStringLiteral("alpha"));
    QCOMPARE(late, QStringList());
    QCOMPARE(query.results().size(), 400);
    QCOMPARE(query.searchText(), QStringLiteral("be"));
}

void MetadataQueryTest::entriesMadeOrRemovedBelowTheScopeComeAndGo()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("root"));
    makeFile(root + QStringLiteral("/a/b/report 1"));
    makeFile(root + QStringLiteral("/a/keep"));
    makeFile(dir.filePath(QStringLiteral("outside/new/deep/report moved in")));
    MetadataQuery query;
    QSignalSpy finished(&query, &MetadataQuery::didFinishGathering);
    query.start(PathCodec::urlForPath(root), QStringLiteral("report"));
    QVERIFY(finished.wait(20000));
    QCOMPARE(relativePaths(query.results(), root), QStringList(QStringLiteral("a/b/report 1")));
    QVERIFY(!query.isLiveUpdateLimited());
    QTRY_VERIFY(query.isWatchingAll());

    const auto waitFor = [&](const QStringList &expected) {
        return QTest::qWaitFor([&] { return relativePaths(query.results(), root) == expected; }, 10000);
    };
    makeFile(root + QStringLiteral("/a/b/Report 2"));
    makeFile(root + QStringLiteral("/a/b/.report hidden"));
    QVERIFY(waitFor({QStringLiteral("a/b/Report 2"), QStringLiteral("a/b/report 1")}));

    // A folder moved in brings the matches inside it, and is watched in turn.
    QVERIFY(QDir().rename(dir.filePath(QStringLiteral("outside/new")), root + QStringLiteral("/a/new")));
    QVERIFY(waitFor({QStringLiteral("a/b/Report 2"), QStringLiteral("a/b/report 1"),
                     QStringLiteral("a/new/deep/report moved in")}));
    makeFile(root + QStringLiteral("/a/new/deep/report later"));
    QVERIFY(waitFor({QStringLiteral("a/b/Report 2"), QStringLiteral("a/b/report 1"), QStringLiteral("a/new/deep/report later"),
                     QStringLiteral("a/new/deep/report moved in")}));

    QSignalSpy removed(&query, &MetadataQuery::resultsRemoved);
    QVERIFY(QFile::remove(root + QStringLiteral("/a/b/report 1")));
    QVERIFY(waitFor({QStringLiteral("a/b/Report 2"), QStringLiteral("a/new/deep/report later"),
                     QStringLiteral("a/new/deep/report moved in")}));
    QVERIFY(QDir(root + QStringLiteral("/a/new")).removeRecursively());
    QVERIFY(waitFor({QStringLiteral("a/b/Report 2")}));
    QVERIFY(removed.size() >= 2);

    // A stopped query hears nothing more.
    query.stop();
    makeFile(root + QStringLiteral("/a/report after stop"));
    QTest::qWait(300);
    QCOMPARE(relativePaths(query.results(), root), QStringList(QStringLiteral("a/b/Report 2")));
}

void MetadataQueryTest::anEntryMadeBeforeItsFolderIsWatchedIsFound_data()
{
    QTest::addColumn<bool>("changedLongBefore");
    QTest::newRow("folder changed long before the walk") << true;
    QTest::newRow("folder changed just before the walk") << false;
}

// The folders are watched once the walk has read them all: what is made in
// one meanwhile has no watch to tell of it.
void MetadataQueryTest::anEntryMadeBeforeItsFolderIsWatchedIsFound()
{
    QFETCH(bool, changedLongBefore);
    QTemporaryDir dir;
    makeFile(dir.filePath(QStringLiteral("a/b/report 1")));
    if (changedLongBefore) {
        for (const char *folder : {"", "a", "a/b"})
            QVERIFY(tw::test::setModificationTime(dir.filePath(QLatin1String(folder)), QDateTime::currentSecsSinceEpoch() - 3600));
    }
    MetadataQuery query;
    QSignalSpy finished(&query, &MetadataQuery::didFinishGathering);
    connect(&query, &MetadataQuery::didFinishGathering, this, [&] {
        QVERIFY(!query.isWatchingAll());
        makeFile(dir.filePath(QStringLiteral("a/b/report 2")));
    });
    query.start(PathCodec::urlForPath(dir.path()), QStringLiteral("report"));
    QVERIFY(finished.wait(20000));
    QTRY_COMPARE(relativePaths(query.results(), dir.path()),
                 (QStringList{QStringLiteral("a/b/report 1"), QStringLiteral("a/b/report 2")}));
}

void MetadataQueryTest::foldersPastTheWatchLimitAreReported()
{
    QTemporaryDir dir;
    for (int i = 0; i < 5; ++i)
        makeFile(dir.filePath(QStringLiteral("f%1/x").arg(i)));
    const int limit = MetadataQuery::watchLimit();
    MetadataQuery::setWatchLimit(2);
    MetadataQuery query;
    QSignalSpy finished(&query, &MetadataQuery::didFinishGathering);
    QSignalSpy limited(&query, &MetadataQuery::liveUpdateLimitReached);
    query.start(PathCodec::urlForPath(dir.path()), QStringLiteral("x"));
    const bool ended = finished.wait(20000) && QTest::qWaitFor([&] { return query.isWatchingAll(); });
    MetadataQuery::setWatchLimit(limit);
    QVERIFY(ended);
    QCOMPARE(query.results().size(), 5);
    QVERIFY(query.isLiveUpdateLimited());
    QCOMPARE(limited.size(), 1);
    // The next search starts with a clean slate.
    query.start(PathCodec::urlForPath(dir.path()), QStringLiteral("x"));
    QVERIFY(finished.wait(20000));
    QVERIFY(!query.isLiveUpdateLimited());
}

QTEST_GUILESS_MAIN(MetadataQueryTest)
#include "tst_MetadataQuery.moc"
