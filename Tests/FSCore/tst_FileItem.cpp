#include "TestHome.h"

#include "FSCore/FileItem.h"
#include "FSCore/FileListing.h"
#include "FSPlatform/FileTags.h"
#include "FSPlatform/RelativeXattrTesting.h"
#include "FSPlatform/OperationError.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <sys/xattr.h>

#include <atomic>
#include <memory>

namespace {

QStringList tagsOf(const QString &path)
{
    return FileTags::read(PathCodec::encode(path)).tags;
}

void setTags(const QString &path, const QByteArray &value)
{
    QCOMPARE(::setxattr(PathCodec::encode(path).constData(), "user.xdg.tags", value.constData(), value.size(), 0), 0);
}

} // namespace

class FileItemTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void missingEntryGivesEveryFallback();
    void attributesOfRealEntries();
    void itemsAreEqualByUrlAlone();
    void firstColourTagWinsAndSettingKeepsForeignTags_data();
    void firstColourTagWinsAndSettingKeepsForeignTags();
    void longTagListsAreReadWhole();
    void unreadableTagsFailLoudlyAndWriteNothing();
    void listingReadsTagsWhereGetxattratIsRefused_data();
    void listingReadsTagsWhereGetxattratIsRefused();
    void rawValuesAreTheStoredForm();
    void backgroundReadsAnswerLiveAskersAndAreRemembered();
};

void FileItemTest::missingEntryGivesEveryFallback()
{
    const FileItem item(PathCodec::urlForPath(QStringLiteral("/nonexistent-tidewright/Some File.txt")));
    QCOMPARE(item.name(), QStringLiteral("Some File.txt"));
    QVERIFY(!item.isDirectory() && !item.isPackage() && !item.isBrowsable());
    QCOMPARE(item.fileSize(), std::nullopt);
    QCOMPARE(item.modificationDate(), std::nullopt);
    QCOMPARE(item.kindDescription(), std::nullopt);
    QCOMPARE(item.labelColor(), LabelColor::none);
}

void FileItemTest::attributesOfRealEntries()
{
    QTemporaryDir dir;
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("notes.txt")), QByteArray(100, 'x')));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Folder")));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("Folder")), dir.filePath(QStringLiteral("link to folder"))));

    const FileItem file(PathCodec::urlForPath(dir.filePath(QStringLiteral("notes.txt"))));
    QCOMPARE(file.fileSize(), qint64(100));
    QVERIFY(file.modificationDate().has_value() && file.kindDescription().has_value());
    QVERIFY(!file.isBrowsable());
    const FileItem folder(PathCodec::urlForPath(dir.filePath(QStringLiteral("Folder"))));
    QVERIFY(folder.isBrowsable());
    // Folders have no size of their own: it is computed by walking them.
    QCOMPARE(folder.fileSize(), std::nullopt);
    const FileItem link(PathCodec::urlForPath(dir.filePath(QStringLiteral("link to folder"))));
    QVERIFY(link.isBrowsable() && link.attributes().isSymbolicLink);
}

void FileItemTest::itemsAreEqualByUrlAlone()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.txt"));
    QVERIFY(tw::test::writeFile(path, "one"));
    const FileItem before(PathCodec::urlForPath(path), FileAttributes::read(PathCodec::urlForPath(path)));
    QVERIFY(tw::test::writeFile(path, "changed contents"));
    const FileItem after(PathCodec::urlForPath(path));
    // An item made from a path builds the same URL as one made from the URL.
    const FileItem fromPath(path, FileAttributes());
    for (const FileItem &same : {before, fromPath}) {
        QCOMPARE(same, after);
        QCOMPARE(qHash(same), qHash(after));
    }
    QVERIFY(FileItem(PathCodec::urlForPath(dir.filePath(QStringLiteral("b.txt")))) != after);
}

void FileItemTest::firstColourTagWinsAndSettingKeepsForeignTags_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<LabelColor>("read");
    QTest::addColumn<LabelColor>("set");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("lower case after a user tag; green replaces it")
        << QByteArray("Work,red,Blue") << LabelColor::red << LabelColor::green << QStringList{"Work", "Green"};
    QTest::newRow("file order wins over enum order; none removes colours only")
        << QByteArray("Orange,Work,Gray,Home") << LabelColor::orange << LabelColor::none << QStringList{"Work", "Home"};
    QTest::newRow("grey is not gray") << QByteArray("Grey,Work") << LabelColor::none << LabelColor::gray
                                      << QStringList{"Grey", "Work", "Gray"};
    QTest::newRow("spaces around") << QByteArray(" Work , Purple ") << LabelColor::purple << LabelColor::purple
                                   << QStringList{"Work", "Purple"};
    QTest::newRow("first colour on a file without tags")
        << QByteArray() << LabelColor::none << LabelColor::orange << QStringList{"Orange"};
    QTest::newRow("none on a file without tags") << QByteArray() << LabelColor::none << LabelColor::none << QStringList();
}

void FileItemTest::firstColourTagWinsAndSettingKeepsForeignTags()
{
    QFETCH(QByteArray, before);
    QFETCH(LabelColor, read);
    QFETCH(LabelColor, set);
    QFETCH(QStringList, after);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file"));
    QVERIFY(tw::test::writeFile(path));
    if (!before.isEmpty())
        setTags(path, before);
    const QUrl url = PathCodec::urlForPath(path);
    FileItem item(url);
    QCOMPARE(item.labelColor(), read);
    QCOMPARE(FileAttributes::read(url).labelColor, read);
    item.setLabelColor(set);
    QCOMPARE(tagsOf(path), after);
    QCOMPARE(item.labelColor(), set);
}

void FileItemTest::longTagListsAreReadWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file"));
    QVERIFY(tw::test::writeFile(path));
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many << QStringLiteral("project-%1").arg(i);
    setTags(path, FileTags::serialize(many + QStringList{"Yellow"}));
    FileItem item(PathCodec::urlForPath(path));
    QCOMPARE(item.labelColor(), LabelColor::yellow);
    item.setLabelColor(LabelColor::blue);
    QCOMPARE(tagsOf(path), many + QStringList{"Blue"});
}

void FileItemTest::unreadableTagsFailLoudlyAndWriteNothing()
{
    // procfs has no user attributes: reading them fails with something other
    // than "no such attribute".
    FileItem item(PathCodec::urlForPath(QStringLiteral("/proc/self/status")));
    QVERIFY_THROWS_EXCEPTION(PlatformError, item.setLabelColor(LabelColor::red));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Tidewright: setLabelColor failed: .+")));
    QVERIFY(!item.setLabelColorOrLog(LabelColor::red));
    QCOMPARE(item.labelColor(), LabelColor::none);
}

void FileItemTest::listingReadsTagsWhereGetxattratIsRefused_data()
{
    QTest::addColumn<int>("relativeError");
    QTest::addColumn<int>("plainError");
    QTest::addColumn<bool>("givesUpRelativeReads");
    QTest::newRow("kernel without the call") << ENOSYS << 0 << true;
    QTest::newRow("seccomp filter") << EPERM << 0 << true;
    QTest::newRow("argument struct refused") << EINVAL << 0 << true;
    // A file system that refuses the files themselves says so either way.
    QTest::newRow("files that refuse both calls") << EPERM << EPERM << false;
}

void FileItemTest::listingReadsTagsWhereGetxattratIsRefused()
{
    QFETCH(int, relativeError);
    QFETCH(int, plainError);
    QFETCH(bool, givesUpRelativeReads);
    tw::test::TemporaryFolder dir;
    for (const char *name : {"Red", "Green"}) {
        QVERIFY(tw::test::writeFile(dir.filePath(QLatin1String(name))));
        setTags(dir.filePath(QLatin1String(name)), QByteArray("Work,") + name);
    }
    std::atomic<int> relativeReads = 0;
    RelativeXattr::testing::setFailureHook([&](const QByteArray &, bool isRelativeRead) {
        relativeReads += isRelativeRead;
        return isRelativeRead ? relativeError : plainError;
    });
    const auto reset = qScopeGuard([] { RelativeXattr::testing::reset(); });

    const FileItemList items = FileListing::contents(PathCodec::urlForPath(dir.path()));
    QCOMPARE(items.size(), 2);
    for (const FileItem &item : items) {
        const LabelColor expected = plainError ? LabelColor::none : item.name() == "Red" ? LabelColor::red : LabelColor::green;
        QCOMPARE(item.attributes().labelColor, expected);
    }
    QCOMPARE(RelativeXattr::testing::triesRelativeReads(), !givesUpRelativeReads);
    // Once given up, the call is not tried again for every entry.
    QCOMPARE(relativeReads.load(), givesUpRelativeReads ? 1 : 2);
}

void FileItemTest::rawValuesAreTheStoredForm()
{
    for (int raw = 0; raw < 8; ++raw)
        QCOMPARE(LabelColors::rawValue(*LabelColors::fromRawValue(raw)), raw);
    QCOMPARE(LabelColors::fromRawValue(8), std::nullopt);
    QCOMPARE(LabelColors::fromRawValue(-1), std::nullopt);
}

void FileItemTest::backgroundReadsAnswerLiveAskersAndAreRemembered()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.txt"));
    QVERIFY(tw::test::writeFile(path, "12345"));
    const QUrl url = PathCodec::urlForPath(path);

    // Never read: the name only, and getters that must not go to the disk.
    const FileItem unread = FileItem::lastKnown(url);
    QCOMPARE(unread.name(), QStringLiteral("report.txt"));
    QVERIFY(unread.hasAttributeSnapshot() && !unread.attributeSnapshot()->hasStatus);
    QCOMPARE(unread.fileSize(), std::nullopt);

    QList<FileItem> answers;
    auto gone = std::make_unique<QObject>();
    for (QObject *context : {static_cast<QObject *>(this), gone.get(), static_cast<QObject *>(nullptr)})
        FileItem::readAttributes(url, context, [&](const FileItem &item) { answers.append(item); });
    gone.reset();
    QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 2, 5000);
    for (const FileItem &item : answers)
        QCOMPARE(item.fileSize(), qint64(5));
    QCOMPARE(FileItem::lastKnown(url).fileSize(), qint64(5));

    // A change shows once it is read again; until then the last answer stands.
    QVERIFY(tw::test::writeFile(path, "1234567"));
    QCOMPARE(FileItem::lastKnown(url).fileSize(), qint64(5));
    FileItem::readAttributes(url, this, [&](const FileItem &item) { answers.append(item); });
    QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 3, 5000);
    QCOMPARE(FileItem::lastKnown(url).fileSize(), qint64(7));
    QTest::qWait(50);
    QCOMPARE(answers.size(), 3);
}

TW_CORE_TEST_MAIN(FileItemTest)
#include "tst_FileItem.moc"
