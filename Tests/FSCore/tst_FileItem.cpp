#include "TestHome.h"

#include "FSCore/FileItem.h"
#include "FSPlatform/FileTags.h"
#include "FSPlatform/OperationError.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <sys/xattr.h>

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
    void colourIsTheFirstColourTagInTheFilesOwnOrder_data();
    void colourIsTheFirstColourTagInTheFilesOwnOrder();
    void settingAColourKeepsForeignTagsInOrder_data();
    void settingAColourKeepsForeignTagsInOrder();
    void longTagListsAreReadWhole();
    void unreadableTagsFailLoudlyAndWriteNothing();
    void rawValuesAreTheStoredForm();
};

void FileItemTest::missingEntryGivesEveryFallback()
{
    const FileItem item(PathCodec::urlForPath(QStringLiteral("/nonexistent-tidewright/Some File.txt")));
    QCOMPARE(item.name(), QStringLiteral("Some File.txt"));
    QCOMPARE(item.isDirectory(), false);
    QCOMPARE(item.isPackage(), false);
    QCOMPARE(item.isBrowsable(), false);
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
    QVERIFY(file.modificationDate().has_value());
    QVERIFY(file.kindDescription().has_value());
    QVERIFY(!file.isBrowsable());

    const FileItem folder(PathCodec::urlForPath(dir.filePath(QStringLiteral("Folder"))));
    QVERIFY(folder.isBrowsable());
    // Folders have no size of their own: it is computed by walking them.
    QCOMPARE(folder.fileSize(), std::nullopt);

    const FileItem link(PathCodec::urlForPath(dir.filePath(QStringLiteral("link to folder"))));
    QVERIFY(link.isBrowsable());
    QVERIFY(link.attributes().isSymbolicLink);
}

void FileItemTest::itemsAreEqualByUrlAlone()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.txt"));
    QVERIFY(tw::test::writeFile(path, "one"));
    const FileItem before(PathCodec::urlForPath(path), FileAttributes::read(PathCodec::urlForPath(path)));
    QVERIFY(tw::test::writeFile(path, "changed contents"));
    const FileItem after(PathCodec::urlForPath(path));
    QCOMPARE(before, after);
    QCOMPARE(qHash(before), qHash(after));
    // An item made from a path builds the same URL as one made from the URL.
    const FileItem fromPath(path, FileAttributes());
    QCOMPARE(fromPath, after);
    QCOMPARE(qHash(fromPath), qHash(after));
    QVERIFY(FileItem(PathCodec::urlForPath(dir.filePath(QStringLiteral("b.txt")))) != after);
}

void FileItemTest::colourIsTheFirstColourTagInTheFilesOwnOrder_data()
{
    QTest::addColumn<QByteArray>("tags");
    QTest::addColumn<LabelColor>("color");
    QTest::newRow("no tags") << QByteArray() << LabelColor::none;
    QTest::newRow("lower case after a user tag") << QByteArray("Work,red,Blue") << LabelColor::red;
    QTest::newRow("file order wins over enum order") << QByteArray("Orange,Gray") << LabelColor::orange;
    QTest::newRow("capitals") << QByteArray("GREEN") << LabelColor::green;
    QTest::newRow("not a colour") << QByteArray("Grey,Work") << LabelColor::none;
    QTest::newRow("spaces around") << QByteArray(" Work , Purple ") << LabelColor::purple;
}

void FileItemTest::colourIsTheFirstColourTagInTheFilesOwnOrder()
{
    QFETCH(QByteArray, tags);
    QFETCH(LabelColor, color);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file"));
    QVERIFY(tw::test::writeFile(path));
    if (!tags.isEmpty())
        setTags(path, tags);
    const QUrl url = PathCodec::urlForPath(path);
    QCOMPARE(FileItem(url).labelColor(), color);
    QCOMPARE(FileAttributes::read(url).labelColor, color);
}

void FileItemTest::settingAColourKeepsForeignTagsInOrder_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<LabelColor>("color");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("green replaces red") << QByteArray("Work,red,Blue") << LabelColor::green
                                        << QStringList{QStringLiteral("Work"), QStringLiteral("Green")};
    QTest::newRow("none removes colours only") << QByteArray("Work,red,Blue,Home") << LabelColor::none
                                               << QStringList{QStringLiteral("Work"), QStringLiteral("Home")};
    QTest::newRow("grey is not gray") << QByteArray("Grey") << LabelColor::gray
                                      << QStringList{QStringLiteral("Grey"), QStringLiteral("Gray")};
    QTest::newRow("first colour on a file without tags") << QByteArray() << LabelColor::orange
                                                         << QStringList{QStringLiteral("Orange")};
    QTest::newRow("none on a file without tags") << QByteArray() << LabelColor::none << QStringList();
}

void FileItemTest::settingAColourKeepsForeignTagsInOrder()
{
    QFETCH(QByteArray, before);
    QFETCH(LabelColor, color);
    QFETCH(QStringList, after);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file"));
    QVERIFY(tw::test::writeFile(path));
    if (!before.isEmpty())
        setTags(path, before);
    FileItem item(PathCodec::urlForPath(path));
    item.setLabelColor(color);
    QCOMPARE(tagsOf(path), after);
    QCOMPARE(item.labelColor(), color);
}

void FileItemTest::longTagListsAreReadWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file"));
    QVERIFY(tw::test::writeFile(path));
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many << QStringLiteral("project-%1").arg(i);
    many << QStringLiteral("Yellow");
    setTags(path, FileTags::serialize(many));
    FileItem item(PathCodec::urlForPath(path));
    QCOMPARE(item.labelColor(), LabelColor::yellow);
    item.setLabelColor(LabelColor::blue);
    many.removeLast();
    many << QStringLiteral("Blue");
    QCOMPARE(tagsOf(path), many);
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

void FileItemTest::rawValuesAreTheStoredForm()
{
    for (int raw = 0; raw < 8; ++raw)
        QCOMPARE(LabelColors::rawValue(*LabelColors::fromRawValue(raw)), raw);
    QCOMPARE(LabelColors::fromRawValue(8), std::nullopt);
    QCOMPARE(LabelColors::fromRawValue(-1), std::nullopt);
    QCOMPARE(LabelColors::tagName(LabelColor::none), QString());
    QCOMPARE(LabelColors::displayName(LabelColor::gray), QStringLiteral("Gray"));
}

TW_CORE_TEST_MAIN(FileItemTest)
#include "tst_FileItem.moc"
