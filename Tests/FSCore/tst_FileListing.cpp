#include "TestHome.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/FileListing.h"
#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTemporaryDir>

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

    void missingFolderIsCachedAsEmpty();
    void hookSeesEveryHandOut();
    void overlappingRequestsShareOneListing();
    void listingStartedBeforeInvalidationIsNeverStored();
    void listingStartedBeforeInvalidateAllIsNeverStored();
    void completionIsDroppedWhenItsContextIsGone();
    void synchronousRequestJoinsAPendingListing();

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

void FileListingTest::missingFolderIsCachedAsEmpty()
{
    tw::test::TemporaryFolder dir;
    const QUrl folder = urlOf(dir, QStringLiteral("later"));
    QVERIFY(DirectoryListingCache::contents(folder).isEmpty());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("later")));
    touch(dir, QStringLiteral("later/file"));
    // Still the stored empty listing until the folder is invalidated.
    QVERIFY(DirectoryListingCache::contents(folder).isEmpty());
    DirectoryListingCache::invalidate(folder);
    QCOMPARE(DirectoryListingCache::contents(folder).size(), 1);
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

void FileListingTest::initTestCase()
{
    // Large enough that listing takes a while, made once: creating files is
    // the slow part of these tests.
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
