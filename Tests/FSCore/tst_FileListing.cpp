#include "HeldPieces.h"
#include "TestHome.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/DirectoryListingCacheTesting.h"
#include "FSCore/FileListing.h"
#include "FSCore/WorkQueues.h"
#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QScopeGuard>

#include <algorithm>
#include <future>

#include <fcntl.h>
#include <unistd.h>

namespace {

QStringList namesOf(const FileItemList &items)
{
    QStringList names;
    for (const FileItem &item : items)
        names << item.name();
    return names;
}

QUrl urlOf(const tw::test::TemporaryFolder &dir, const QString &name = {})
{
    return PathCodec::urlForPath(name.isEmpty() ? dir.path() : dir.filePath(name));
}

void touch(const tw::test::TemporaryFolder &dir, const QString &name)
{
    QVERIFY(tw::test::writeFile(dir.filePath(name)));
}

// A folder big enough that listing it takes a while.
void fillFolder(const tw::test::TemporaryFolder &dir, int count)
{
    for (int i = 0; i < count; ++i) {
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("entry %1").arg(i)));
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
}

QStringList namesOf(const QList<QUrl> &urls)
{
    QStringList names;
    for (const QUrl &url : urls)
        names << url.fileName();
    return names;
}

QStringList sortedNames(QStringList names)
{
    names.sort();
    return names;
}

// The next update broadcast for `folder`.
std::optional<FolderListingUpdate> nextUpdate(const QUrl &folder, int timeoutMs = 5000)
{
    std::optional<FolderListingUpdate> received;
    QMetaObject::Connection connection = QObject::connect(
        FolderListingNotifier::instance(), &FolderListingNotifier::listingUpdated,
        [&](const FolderListingUpdate &update) {
            if (update.folder == folder && !received)
                received = update;
        });
    QElapsedTimer waited;
    waited.start();
    while (!received && waited.elapsed() < timeoutMs)
        QTest::qWait(10);
    QObject::disconnect(connection);
    return received;
}

} // namespace


class FileListingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void listsVisibleEntriesInNaturalOrder();
    void namesThatAreNotUtf8ListSortAndResolve();
    void attributesComeWithTheListing();
    void unreadableFoldersListAsEmpty_data();
    void unreadableFoldersListAsEmpty();
    void largeFoldersListEveryEntryOnce();

    void failedListingIsNeverCachedAsEmpty_data();
    void failedListingIsNeverCachedAsEmpty();
    void hookSeesEveryHandOut();
    void listingGoesOnWhileEveryListingThreadIsStuck();
    void boundedCacheDropsUnretainedFoldersButKeepsRetainedOnes();
    void refreshDeliversTheDifference_data();
    void refreshDeliversTheDifference();
    void changesOfARetainedFolderArriveAsUpdates();
    void staleRefreshNeverReplacesANewerListing();
    void overlappingRequestsShareOneListing();
    void listingStartedBeforeInvalidationIsNeverStored();
    void listingStartedBeforeInvalidateAllIsNeverStored();
    void completionIsDroppedWhenItsContextIsGone();
    void synchronousRequestJoinsAPendingListing();
    void namesFirstListingReadsAttributesAfter_data();
    void namesFirstListingReadsAttributesAfter();

private:
    static constexpr int bigFolderCount = 3000;
    tw::test::TemporaryFolder m_bigFolder;
};

void FileListingTest::listsVisibleEntriesInNaturalOrder()
{
    tw::test::TemporaryFolder dir;
    for (const char *name : {"File 10", "File 9", "Banana", "apple", ".hidden", "café", "cafe", "Zeta", "2 notes",
                             ".config", "Ångström"})
        touch(dir, QString::fromUtf8(name));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("File 1")));
    QCOMPARE(namesOf(FileListing::contents(urlOf(dir))),
             (QStringList{QStringLiteral("2 notes"), QStringLiteral("Ångström"), QStringLiteral("apple"),
                          QStringLiteral("Banana"), QStringLiteral("cafe"), QStringLiteral("café"),
                          QStringLiteral("File 1"), QStringLiteral("File 9"), QStringLiteral("File 10"),
                          QStringLiteral("Zeta")}));
}

void FileListingTest::namesThatAreNotUtf8ListSortAndResolve()
{
    tw::test::TemporaryFolder dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    for (const QByteArray &name : {QByteArray("b\xff" "2"), QByteArray("b\xff" "10"), QByteArray("a"), QByteArray("c\xe9")}) {
        const QByteArray path = folder + '/' + name;
        const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "12345", 5), ssize_t(5));
        ::close(fd);
    }
    const FileItemList items = FileListing::contents(urlOf(dir));
    QCOMPARE(items.size(), 4);
    QCOMPARE(items.at(0).name(), QStringLiteral("a"));
    QCOMPARE(items.at(1).name(), QStringLiteral("b\uFFFD2"));
    QCOMPARE(items.at(2).name(), QStringLiteral("b\uFFFD10"));
    for (const FileItem &item : items) {
        // The URL still reaches the file: its bytes survived.
        QVERIFY(EntryStatus::read(PathCodec::encodePath(item.url())).isRegularFile);
        QCOMPARE(item.fileSize(), qint64(5));
    }
}

void FileListingTest::attributesComeWithTheListing()
{
    tw::test::TemporaryFolder dir;
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("photo.jpg")), QByteArray(2048, 'x')));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Folder")));
    QVERIFY(QFile::link(QStringLiteral("nowhere"), dir.filePath(QStringLiteral("dangling"))));
    const FileItemList items = FileListing::contents(urlOf(dir));
    QCOMPARE(namesOf(items), (QStringList{QStringLiteral("dangling"), QStringLiteral("Folder"), QStringLiteral("photo.jpg")}));
    for (const FileItem &item : items)
        QVERIFY(item.hasAttributeSnapshot());
    QVERIFY(!items.at(0).isDirectory());
    QVERIFY(items.at(0).attributes().isSymbolicLink);
    QVERIFY(items.at(1).isBrowsable());
    QCOMPARE(items.at(1).fileSize(), std::nullopt);
    QCOMPARE(items.at(2).fileSize(), qint64(2048));
    QCOMPARE(items.at(2).attributes().contentType->name, QStringLiteral("image/jpeg"));
    // Snapshots answer without the disk: the values stay after the file is gone.
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("photo.jpg"))));
    QCOMPARE(items.at(2).fileSize(), qint64(2048));
    QCOMPARE(items.at(2).url(), urlOf(dir, QStringLiteral("photo.jpg")));
}

void FileListingTest::unreadableFoldersListAsEmpty_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing") << QStringLiteral("/nonexistent-tidewright/folder");
    QTest::newRow("a file") << QStringLiteral("/proc/self/status");
    QTest::newRow("empty path") << QString();
}

void FileListingTest::unreadableFoldersListAsEmpty()
{
    QFETCH(QString, path);
    QVERIFY(FileListing::contents(path.isEmpty() ? QUrl() : PathCodec::urlForPath(path)).isEmpty());
}

void FileListingTest::largeFoldersListEveryEntryOnce()
{
    // More entries than one worker takes at a time, so several threads share the work.
    const FileItemList items = FileListing::contents(urlOf(m_bigFolder));
    QCOMPARE(items.size(), bigFolderCount);
    QSet<QUrl> seen;
    for (qsizetype i = 0; i < items.size(); ++i) {
        seen.insert(items.at(i).url());
        QCOMPARE(items.at(i).name(), QStringLiteral("entry %1").arg(i));
    }
    QCOMPARE(seen.size(), bigFolderCount);
}

void FileListingTest::failedListingIsNeverCachedAsEmpty_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<ListingFailure>("failure");
    QTest::newRow("missing") << QStringLiteral("missing") << ListingFailure::missing;
    QTest::newRow("a file") << QStringLiteral("file") << ListingFailure::notAFolder;
    if (::geteuid() != 0) // permissions do not stop root
        QTest::newRow("no permission") << QStringLiteral("chmod") << ListingFailure::permissionDenied;
}

void FileListingTest::failedListingIsNeverCachedAsEmpty()
{
    QFETCH(QString, damage);
    QFETCH(ListingFailure, failure);
    tw::test::TemporaryFolder dir;
    const QString path = dir.filePath(QStringLiteral("later"));
    const QUrl folder = urlOf(dir, QStringLiteral("later"));
    if (damage == QLatin1String("file"))
        touch(dir, QStringLiteral("later"));
    if (damage == QLatin1String("chmod")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("later")));
        QVERIFY(QFile::setPermissions(path, {}));
    }
    QSignalSpy failed(FolderListingNotifier::instance(), &FolderListingNotifier::listingFailed);
    bool delivered = false;
    DirectoryListingCache::contents(folder, nullptr, [&](const FileItemList &items) {
        QVERIFY(items.isEmpty());
        delivered = true;
    });
    QTRY_VERIFY(delivered);
    QCOMPARE(DirectoryListingCache::failure(folder), failure);
    QTRY_COMPARE(failed.size(), 1);
    QCOMPARE(failed.first().at(1).value<ListingFailure>(), failure);

    QFile::remove(path);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir(dir.path()).mkdir(QStringLiteral("later"));
    touch(dir, QStringLiteral("later/file"));
    // No invalidation needed: nothing was stored.
    QCOMPARE(DirectoryListingCache::contents(folder).size(), 1);
    QCOMPARE(DirectoryListingCache::failure(folder), std::nullopt);
}

void FileListingTest::hookSeesEveryHandOut()
{
    tw::test::TemporaryFolder dir;
    touch(dir, QStringLiteral("a"));
    int announced = 0;
    DirectoryListingCache::setOnNewListing([&](const FileItemList &items) {
        QCOMPARE(items.size(), 1);
        ++announced;
    });
    const QUrl folder = urlOf(dir);
    DirectoryListingCache::contents(folder);
    DirectoryListingCache::contents(folder);
    QCOMPARE(announced, 2);
    int completions = 0;
    DirectoryListingCache::contents(folder, nullptr, [&](const FileItemList &) { ++completions; });
    // A hit answers before the call returns.
    QCOMPARE(completions, 1);
    QCOMPARE(announced, 3);
    DirectoryListingCache::invalidate(folder);
    DirectoryListingCache::contents(folder, nullptr, [&](const FileItemList &) { ++completions; });
    // A miss never answers inside the call.
    QCOMPARE(completions, 1);
    QTRY_COMPARE(completions, 2);
    QCOMPARE(announced, 4);

    // One new listing, announced once however many waited for it.
    int bigAnnounced = 0;
    DirectoryListingCache::setOnNewListing([&](const FileItemList &) { ++bigAnnounced; });
    for (int i = 0; i < 2; ++i)
        DirectoryListingCache::contents(urlOf(m_bigFolder), nullptr, [&](const FileItemList &) { ++completions; });
    QTRY_COMPARE(completions, 4);
    QCOMPARE(bigAnnounced, 1);
}

void FileListingTest::listingGoesOnWhileEveryListingThreadIsStuck()
{
    tw::test::TemporaryFolder dir;
    touch(dir, QStringLiteral("a"));
    QThreadPool *pool = WorkQueues::listings();
    QSemaphore release;
    const int stuck = pool->maxThreadCount();
    for (int i = 0; i < stuck; ++i)
        pool->start([&release] { release.acquire(); }); // listings of a share that stopped answering
    bool delivered = false;
    DirectoryListingCache::contents(urlOf(dir), nullptr, [&](const FileItemList &items) {
        delivered = items.size() == 1;
    });
    QTRY_VERIFY_WITH_TIMEOUT(delivered, 1000);
    release.release(stuck);
    pool->waitForDone();
}

void FileListingTest::boundedCacheDropsUnretainedFoldersButKeepsRetainedOnes()
{
    tw::test::TemporaryFolder shown, visited, latest;
    for (const tw::test::TemporaryFolder *dir : {&shown, &visited, &latest}) {
        for (const QString &name : {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")})
            touch(*dir, name);
    }
    DirectoryListingCache::testing::setItemBudget(5);
    DirectoryListingCache::retain(urlOf(shown));
    for (const tw::test::TemporaryFolder *dir : {&shown, &visited, &latest})
        QCOMPARE(DirectoryListingCache::contents(urlOf(*dir)).size(), 3);
    QVERIFY(DirectoryListingCache::cachedContents(urlOf(shown)));
    QVERIFY(!DirectoryListingCache::cachedContents(urlOf(visited)));
    QVERIFY(DirectoryListingCache::cachedContents(urlOf(latest))); // the one just listed stays
    DirectoryListingCache::release(urlOf(shown));
    QVERIFY(!DirectoryListingCache::cachedContents(urlOf(shown)));
    DirectoryListingCache::testing::setItemBudget(200'000);
}

void FileListingTest::refreshDeliversTheDifference_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("byName");
    QTest::addColumn<QStringList>("inserted");
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<QStringList>("changed");
    QTest::addColumn<QStringList>("items");
    const QStringList none;
    for (bool byName : {true, false}) {
        const char *how = byName ? ", by name" : ", whole";
        QTest::addRow("created%s", how) << QStringLiteral("create") << byName << QStringList{QStringLiteral("b 10")}
                                        << none << none
                                        << QStringList{QStringLiteral("a"), QStringLiteral("b 9"), QStringLiteral("b 10"), QStringLiteral("c")};
        QTest::addRow("removed%s", how) << QStringLiteral("remove") << byName << none << QStringList{QStringLiteral("b 9")}
                                        << none << QStringList{QStringLiteral("a"), QStringLiteral("c")};
        QTest::addRow("renamed%s", how) << QStringLiteral("rename") << byName << QStringList{QStringLiteral("0 first")}
                                        << QStringList{QStringLiteral("c")} << none
                                        << QStringList{QStringLiteral("0 first"), QStringLiteral("a"), QStringLiteral("b 9")};
        QTest::addRow("tagged%s", how) << QStringLiteral("tag") << byName << none << none << QStringList{QStringLiteral("a")}
                                       << QStringList{QStringLiteral("a"), QStringLiteral("b 9"), QStringLiteral("c")};
        QTest::addRow("hidden%s", how) << QStringLiteral("hide") << byName << none << QStringList{QStringLiteral("a")}
                                       << none << QStringList{QStringLiteral("b 9"), QStringLiteral("c")};
    }
}

void FileListingTest::refreshDeliversTheDifference()
{
    QFETCH(QString, change);
    QFETCH(bool, byName);
    QFETCH(QStringList, inserted);
    QFETCH(QStringList, removed);
    QFETCH(QStringList, changed);
    QFETCH(QStringList, items);
    tw::test::TemporaryFolder dir;
    for (const QString &name : {QStringLiteral("a"), QStringLiteral("b 9"), QStringLiteral("c")})
        touch(dir, name);
    const QUrl folder = urlOf(dir);
    DirectoryListingCache::retain(folder);
    const FileItemList before = DirectoryListingCache::contents(folder);
    QStringList names;
    if (change == QLatin1String("create")) {
        touch(dir, QStringLiteral("b 10"));
        names = QStringList{QStringLiteral("b 10")};
    } else if (change == QLatin1String("remove")) {
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("b 9"))));
        names = QStringList{QStringLiteral("b 9")};
    } else if (change == QLatin1String("rename")) {
        QVERIFY(QFile::rename(dir.filePath(QStringLiteral("c")), dir.filePath(QStringLiteral("0 first"))));
        names = QStringList{QStringLiteral("c"), QStringLiteral("0 first")};
    } else if (change == QLatin1String("tag")) {
        FileItem(urlOf(dir, QStringLiteral("a"))).setLabelColor(LabelColor::red);
        names = QStringList{QStringLiteral("a")};
    } else {
        QVERIFY(QFile::rename(dir.filePath(QStringLiteral("a")), dir.filePath(QStringLiteral(".a"))));
        names = QStringList{QStringLiteral("a"), QStringLiteral(".a")};
    }
    DirectoryListingCache::refresh(folder, byName ? names : QStringList());
    const std::optional<FolderListingUpdate> update = nextUpdate(folder);
    DirectoryListingCache::release(folder);
    QVERIFY(update);
    QVERIFY(!update->isWholeListing);
    QCOMPARE(sortedNames(namesOf(update->inserted)), inserted);
    QCOMPARE(sortedNames(namesOf(update->removed)), removed);
    QCOMPARE(namesOf(update->changed), changed);
    QCOMPARE(namesOf(update->items), items);
    QCOMPARE(update->previousItems.constData(), before.constData());
    if (change == QLatin1String("tag"))
        QCOMPARE(update->changed.first().labelColor(), LabelColor::red);
    // What was broadcast is what the cache now hands out.
    QCOMPARE(DirectoryListingCache::contents(folder).constData(), update->items.constData());
}

void FileListingTest::changesOfARetainedFolderArriveAsUpdates()
{
    tw::test::TemporaryFolder parent;
    QVERIFY(QDir(parent.path()).mkdir(QStringLiteral("shown")));
    const QUrl folder = urlOf(parent, QStringLiteral("shown"));
    DirectoryListingCache::retain(folder);
    QVERIFY(DirectoryListingCache::contents(folder).isEmpty());
    touch(parent, QStringLiteral("shown/new"));
    const std::optional<FolderListingUpdate> update = nextUpdate(folder);
    QVERIFY(update);
    QCOMPARE(namesOf(update->inserted), QStringList{QStringLiteral("new")});

    // The folder goes while shown: the view hears why, and nothing stale stays stored.
    QSignalSpy failed(FolderListingNotifier::instance(), &FolderListingNotifier::listingFailed);
    QVERIFY(QDir(parent.filePath(QStringLiteral("shown"))).removeRecursively());
    QTRY_VERIFY_WITH_TIMEOUT(!failed.isEmpty(), 5000);
    QCOMPARE(failed.first().at(0).toUrl(), folder);
    QCOMPARE(failed.first().at(1).value<ListingFailure>(), ListingFailure::missing);
    QVERIFY(!DirectoryListingCache::cachedContents(folder));
    DirectoryListingCache::release(folder);
}

void FileListingTest::staleRefreshNeverReplacesANewerListing()
{
    const tw::test::TemporaryFolder &dir = m_bigFolder;
    const QUrl folder = urlOf(dir);
    DirectoryListingCache::retain(folder);
    DirectoryListingCache::contents(folder);
    int updates = 0;
    const QMetaObject::Connection connection = connect(FolderListingNotifier::instance(), &FolderListingNotifier::listingUpdated,
                                                       this, [&](const FolderListingUpdate &) { ++updates; });
    // A whole reading starts; meanwhile the folder changes and is listed afresh.
    DirectoryListingCache::refresh(folder);
    DirectoryListingCache::invalidate(folder);
    touch(dir, QStringLiteral("new file"));
    const FileItemList fresh = DirectoryListingCache::contents(folder);
    QCOMPARE(fresh.size(), bigFolderCount + 1);
    QTest::qWait(1000); // the reading finishes and must be dropped
    disconnect(connection);
    DirectoryListingCache::release(folder);
    QCOMPARE(updates, 0);
    QCOMPARE(DirectoryListingCache::contents(folder).constData(), fresh.constData());
}

void FileListingTest::overlappingRequestsShareOneListing()
{
    const tw::test::TemporaryFolder &dir = m_bigFolder;
    const QUrl folder = urlOf(dir);
    FileItemList first, second;
    int completions = 0;
    DirectoryListingCache::contents(folder, nullptr, [&](const FileItemList &items) { first = items; ++completions; });
    DirectoryListingCache::contents(folder, nullptr, [&](const FileItemList &items) { second = items; ++completions; });
    QTRY_COMPARE(completions, 2);
    QCOMPARE(first.size(), bigFolderCount);
    // One enumeration: both got the very same list.
    QCOMPARE(first.constData(), second.constData());
    QCOMPARE(DirectoryListingCache::contents(folder).constData(), first.constData());
}

void FileListingTest::listingStartedBeforeInvalidationIsNeverStored()
{
    const tw::test::TemporaryFolder &dir = m_bigFolder;
    const QUrl folder = urlOf(dir);
    FileItemList stale;
    bool delivered = false;
    DirectoryListingCache::contents(folder, nullptr, [&](const FileItemList &items) { stale = items; delivered = true; });
    // The folder changes while it is being listed, and whoever changed it says so.
    DirectoryListingCache::invalidate(folder);
    QTRY_VERIFY(delivered);
    QCOMPARE(stale.size(), bigFolderCount); // its own requester still gets it
    touch(dir, QStringLiteral("new file"));
    const FileItemList fresh = DirectoryListingCache::contents(folder);
    QCOMPARE(fresh.size(), bigFolderCount + 1);
}

void FileListingTest::listingStartedBeforeInvalidateAllIsNeverStored()
{
    const tw::test::TemporaryFolder &dir = m_bigFolder;
    const QUrl folder = urlOf(dir);
    bool delivered = false;
    DirectoryListingCache::contents(folder, nullptr, [&](const FileItemList &) { delivered = true; });
    DirectoryListingCache::invalidateAll();
    // A newer request made after the invalidation starts a listing of its own.
    FileItemList newer;
    bool newerDelivered = false;
    touch(dir, QStringLiteral("new file"));
    DirectoryListingCache::contents(folder, nullptr, [&](const FileItemList &items) { newer = items; newerDelivered = true; });
    QTRY_VERIFY(delivered && newerDelivered);
    QCOMPARE(newer.size(), bigFolderCount + 1);
    // Whichever finished last, the stored listing is the newer one.
    QCOMPARE(DirectoryListingCache::contents(folder).size(), bigFolderCount + 1);
}

void FileListingTest::completionIsDroppedWhenItsContextIsGone()
{
    tw::test::TemporaryFolder dir;
    touch(dir, QStringLiteral("a"));
    auto *context = new QObject;
    bool called = false;
    DirectoryListingCache::contents(urlOf(dir), context, [&](const FileItemList &) { called = true; });
    delete context;
    bool other = false;
    DirectoryListingCache::contents(urlOf(dir), nullptr, [&](const FileItemList &) { other = true; });
    QTRY_VERIFY(other);
    QCoreApplication::processEvents();
    QVERIFY(!called);
}

void FileListingTest::synchronousRequestJoinsAPendingListing()
{
    const tw::test::TemporaryFolder &dir = m_bigFolder;
    const QUrl folder = urlOf(dir);
    FileItemList asynchronous;
    DirectoryListingCache::contents(folder, nullptr, [&](const FileItemList &items) { asynchronous = items; });
    const FileItemList synchronous = DirectoryListingCache::contents(folder);
    QTRY_VERIFY(!asynchronous.isEmpty());
    QCOMPARE(synchronous.constData(), asynchronous.constData());
}

void FileListingTest::namesFirstListingReadsAttributesAfter_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("rows asked for are read next") << "readFirst";
    QTest::newRow("a change read again wins over the piece read before it") << "change";
    QTest::newRow("a synchronous request waits for every attribute") << "synchronous";
}

void FileListingTest::namesFirstListingReadsAttributesAfter()
{
    QFETCH(QString, meanwhile);
    const tw::test::TemporaryFolder &dir = m_bigFolder;
    const QUrl folder = urlOf(dir);
    const auto hasStatus = [](const FileItem &item) { return item.attributeSnapshot()->hasStatus; };
    tw::test::HeldPieces pieces;
    DirectoryListingCache::retain(folder);
    const auto release = qScopeGuard([&] { DirectoryListingCache::release(folder); });

    FileItemList named;
    DirectoryListingCache::contents(
        folder, nullptr, [&](const FileItemList &items) { named = items; },
        DirectoryListingCache::ListingDetail::namesFirst);
    QTRY_COMPARE(named.size(), bigFolderCount);
    QVERIFY(std::none_of(named.cbegin(), named.cend(), hasStatus));
    QTRY_VERIFY(!pieces.read().isEmpty()); // read, and held before it is applied

    const FileItemList wanted = named.mid(bigFolderCount - 40);
    const FileItem changed = pieces.read().first().first();
    std::future<FileItemList> synchronous;
    if (meanwhile == QLatin1String("readFirst")) {
        DirectoryListingCache::readFirst(folder, wanted);
    } else if (meanwhile == QLatin1String("change")) {
        QVERIFY(tw::test::writeFile(changed.path(), "12345"));
        DirectoryListingCache::refresh(folder, {changed.name()});
        const std::optional<FolderListingUpdate> update = nextUpdate(folder);
        QVERIFY(update);
        QCOMPARE(namesOf(update->changed), QStringList{changed.name()});
        QVERIFY(!update->hasAllAttributes);
    } else {
        synchronous = std::async(std::launch::async, [&] { return DirectoryListingCache::contents(folder); });
        QCOMPARE(synchronous.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    }
    pieces.release();
    const auto isStoredWhole = [&] {
        const FileItemList stored = DirectoryListingCache::cachedContents(folder).value_or(FileItemList());
        return stored.size() == bigFolderCount && std::all_of(stored.cbegin(), stored.cend(), hasStatus);
    };
    QTRY_VERIFY(isStoredWhole());
    const FileItemList stored = *DirectoryListingCache::cachedContents(folder);
    QCOMPARE(namesOf(stored), namesOf(named));

    if (meanwhile == QLatin1String("readFirst")) {
        // Read in name order they would come last; asked for, they come right after what was under way.
        const QMap<int, FileItemList> read = pieces.read();
        const auto holdsWanted = [&](const FileItemList &piece) { return piece.contains(wanted.first()); };
        const auto piece = std::find_if(read.cbegin(), read.cend(), holdsWanted);
        QVERIFY(piece != read.cend());
        QVERIFY2(piece.key() <= 2, qPrintable(QString::number(piece.key())));
        for (const FileItem &item : wanted)
            QVERIFY(piece->contains(item));
    } else if (meanwhile == QLatin1String("change")) {
        const qsizetype index = stored.indexOf(changed);
        const std::optional<qint64> size = stored.at(index).fileSize();
        QVERIFY(tw::test::writeFile(changed.path(), ""));
        QCOMPARE(size, std::optional<qint64>(5));
    } else {
        const FileItemList items = synchronous.get();
        QCOMPARE(items.size(), bigFolderCount);
        QVERIFY(std::all_of(items.cbegin(), items.cend(), hasStatus));
    }
}

void FileListingTest::initTestCase()
{
    // Large enough that listing takes a while, made once: creating files is
    // the slow part of these tests.
    qRegisterMetaType<ListingFailure>();
    QVERIFY(m_bigFolder.isValid());
    fillFolder(m_bigFolder, bigFolderCount);
}

void FileListingTest::init()
{
    DirectoryListingCache::invalidateAll();
    DirectoryListingCache::setOnNewListing({});
    QFile::remove(m_bigFolder.filePath(QStringLiteral("new file")));
}

TW_CORE_TEST_MAIN(FileListingTest)
#include "tst_FileListing.moc"
