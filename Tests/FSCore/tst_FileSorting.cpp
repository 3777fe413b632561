#include "TestHome.h"

#include "FSCore/FileListing.h"
#include "FSCore/FileSorting.h"
#include "FSCore/FolderListingUpdate.h"
#include "FSPlatform/NaturalOrder.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QTemporaryDir>

namespace {

// A synthetic item: what a listing would have read, for a file that need not exist.
FileItem item(const QString &name, qint64 size, qint64 seconds, const QString &type, bool isDirectory = false)
{
    FileAttributes attributes;
    attributes.name = name;
    attributes.nameSortKey = NaturalOrder::sortKey(name);
    attributes.exists = true;
    attributes.isDirectory = isDirectory;
    attributes.hasFileSize = !isDirectory && size >= 0;
    attributes.fileSize = qMax<qint64>(size, 0);
    attributes.hasModificationTime = seconds >= 0;
    attributes.modificationTimeNs = seconds * 1000000000;
    attributes.contentType = type.isEmpty() ? nullptr
        : isDirectory ? &ContentTypes::forDirectory() : &ContentTypes::forFileName(QStringLiteral("x.") + type);
    return FileItem(QStringLiteral("/virtual/") + name, attributes);
}

QStringList namesOf(const FileItemList &items)
{
    QStringList names;
    for (const FileItem &entry : items)
        names << entry.name();
    return names;
}

} // namespace

class FileSortingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sortsByEachFieldAscendingAndStable_data();
    void sortsByEachFieldAscendingAndStable();
    void folderSizesComeFromTheCallersMap();
    void sortingNeverAsksTheDisk();
    void largeListsSortStablyOnTwoThreads_data();
    void largeListsSortStablyOnTwoThreads();
    void rawValuesAreExact();
    void sortedCopyFollowsAnUpdateInPlace_data();
    void sortedCopyFollowsAnUpdateInPlace();
    void sortedCopyFollowsNewFolderSizes();
};

void FileSortingTest::sortsByEachFieldAscendingAndStable_data()
{
    QTest::addColumn<FileItemList>("input");
    QTest::addColumn<FileSortField>("field");
    QTest::addColumn<QStringList>("expected");

    // Input in name order, as listings come.
    const FileItemList items = {
        item(QStringLiteral("a"), 300, 30, QStringLiteral("txt")),
        item(QStringLiteral("b"), 100, 10, QStringLiteral("jpg")),
        item(QStringLiteral("c"), 100, 30, QStringLiteral("txt")),
        item(QStringLiteral("d"), -1, -1, QString()),
        item(QStringLiteral("e"), 0, 10, QStringLiteral("jpg")),
    };
    QTest::newRow("name") << items << FileSortField::name
                          << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("e")};
    QTest::newRow("date: undated first, ties keep name order")
        << items << FileSortField::dateModified
        << QStringList{QStringLiteral("d"), QStringLiteral("b"), QStringLiteral("e"), QStringLiteral("a"), QStringLiteral("c")};
    QTest::newRow("size: unknown counts as 0, ties keep order")
        << items << FileSortField::size
        << QStringList{QStringLiteral("d"), QStringLiteral("e"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("a")};
    QTest::newRow("kind: no kind first, ties keep order")
        << items << FileSortField::kind
        << QStringList{QStringLiteral("d"), QStringLiteral("b"), QStringLiteral("e"), QStringLiteral("a"), QStringLiteral("c")};
    const FileItemList numbered = {item(QStringLiteral("File 10"), 1, 1, {}), item(QStringLiteral("file 9"), 1, 1, {}),
                                   item(QStringLiteral("File 9"), 1, 1, {})};
    QTest::newRow("names: numbers by value, equal names keep input order")
        << numbered << FileSortField::name
        << QStringList{QStringLiteral("file 9"), QStringLiteral("File 9"), QStringLiteral("File 10")};
}

void FileSortingTest::sortsByEachFieldAscendingAndStable()
{
    QFETCH(FileItemList, input);
    QFETCH(FileSortField, field);
    QFETCH(QStringList, expected);
    const FileItemList sorted = FileSorting::sorted(input, field, {});
    QCOMPARE(namesOf(sorted), expected);
    // Sorting what is already sorted changes nothing.
    QCOMPARE(namesOf(FileSorting::sorted(sorted, field, {})), expected);
    // compare() agrees with the order.
    for (qsizetype i = 1; i < sorted.size(); ++i)
        QVERIFY(FileSorting::compare(sorted.at(i - 1), sorted.at(i), field, {}) <= 0);
}

void FileSortingTest::folderSizesComeFromTheCallersMap()
{
    const FileItem folder = item(QStringLiteral("Folder"), -1, 1, QStringLiteral("dir"), true);
    const FileItemList items = {folder, item(QStringLiteral("empty"), 0, 1, {}), item(QStringLiteral("small"), 10, 1, {})};
    QCOMPARE(namesOf(FileSorting::sorted(items, FileSortField::size, {})),
             (QStringList{QStringLiteral("Folder"), QStringLiteral("empty"), QStringLiteral("small")}));
    FolderSizeMap sizes;
    sizes.insert(folder.url(), 5000);
    QCOMPARE(namesOf(FileSorting::sorted(items, FileSortField::size, sizes)),
             (QStringList{QStringLiteral("empty"), QStringLiteral("small"), QStringLiteral("Folder")}));
    QCOMPARE(FileSorting::size(folder, sizes), 5000);
    QCOMPARE(FileSorting::size(folder, {}), 0);
}

void FileSortingTest::sortingNeverAsksTheDisk()
{
    QTemporaryDir dir;
    for (int i = 0; i < 5; ++i) {
        const QString path = dir.filePath(QStringLiteral("f%1").arg(i));
        QVERIFY(tw::test::writeFile(path, QByteArray(100 - i * 10, 'x')));
        QVERIFY(tw::test::setModificationTime(path, 1000 + i * 100));
    }
    const FileItemList listed = FileListing::contents(PathCodec::urlForPath(dir.path()));
    // The files change after the listing: the order follows the listing's snapshot.
    for (int i = 0; i < 5; ++i) {
        QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("f%1").arg(i)), QByteArray(i * 10, 'x')));
    }
    QCOMPARE(namesOf(FileSorting::sorted(listed, FileSortField::size, {})),
             (QStringList{QStringLiteral("f4"), QStringLiteral("f3"), QStringLiteral("f2"), QStringLiteral("f1"), QStringLiteral("f0")}));
    QCOMPARE(namesOf(FileSorting::sorted(listed, FileSortField::dateModified, {})),
             (QStringList{QStringLiteral("f0"), QStringLiteral("f1"), QStringLiteral("f2"), QStringLiteral("f3"), QStringLiteral("f4")}));
}

void FileSortingTest::largeListsSortStablyOnTwoThreads_data()
{
    QTest::addColumn<FileSortField>("field");
    QTest::newRow("size") << FileSortField::size;
    QTest::newRow("kind") << FileSortField::kind;
    QTest::newRow("name") << FileSortField::name;
}

void FileSortingTest::largeListsSortStablyOnTwoThreads()
{
    QFETCH(FileSortField, field);
    // Few distinct keys and many ties: a parallel sort that lost stability shows here.
    const QStringList types = {QStringLiteral("txt"), QStringLiteral("jpg"), QStringLiteral("pdf")};
    FileItemList items;
    for (int i = 0; i < 50000; ++i) {
        const int key = (i * 7919) % 13;
        items.append(item(QStringLiteral("item %1 %2").arg(key % 5).arg(i), key, 1, types.at(key % 3)));
    }
    const FileItemList sorted = FileSorting::sorted(items, field, {});
    QCOMPARE(sorted.size(), items.size());
    QHash<QUrl, qsizetype> inputPosition;
    for (qsizetype i = 0; i < items.size(); ++i)
        inputPosition.insert(items.at(i).url(), i);
    for (qsizetype i = 1; i < sorted.size(); ++i) {
        const int order = FileSorting::compare(sorted.at(i - 1), sorted.at(i), field, {});
        QVERIFY(order <= 0);
        if (order == 0)
            QVERIFY(inputPosition.value(sorted.at(i - 1).url()) < inputPosition.value(sorted.at(i).url()));
    }
}

void FileSortingTest::rawValuesAreExact()
{
    for (FileSortField field : FileSortFields::allCases)
        QCOMPARE(FileSortFields::fromRawValue(FileSortFields::rawValue(field)), field);
    QCOMPARE(FileSortFields::rawValue(FileSortField::dateModified), QStringLiteral("dateModified"));
    QCOMPARE(FileSortFields::fromRawValue(QStringLiteral("Name")), std::nullopt);
    QCOMPARE(FileSortFields::fromRawValue(QString()), std::nullopt);
    QCOMPARE(FileSortFields::displayName(FileSortField::dateModified), QStringLiteral("Date Modified"));
}

void FileSortingTest::sortedCopyFollowsAnUpdateInPlace_data()
{
    QTest::addColumn<FileSortField>("field");
    QTest::addColumn<bool>("ascending");
    for (FileSortField field : FileSortFields::allCases) {
        for (bool ascending : {true, false})
            QTest::addRow("%s %s", qPrintable(FileSortFields::rawValue(field)), ascending ? "up" : "down") << field << ascending;
    }
}

void FileSortingTest::sortedCopyFollowsAnUpdateInPlace()
{
    QFETCH(FileSortField, field);
    QFETCH(bool, ascending);
    const QUrl folder = QUrl::fromLocalFile(QStringLiteral("/virtual"));
    const FileItemList before = {item(QStringLiteral("a"), 10, 5, QStringLiteral("txt")),
                                 item(QStringLiteral("b"), 30, 1, QStringLiteral("png")),
                                 item(QStringLiteral("c"), 20, 3, QStringLiteral("txt")),
                                 item(QStringLiteral("d"), 20, 3, QStringLiteral("jpg"))};
    const FileItemList shown = FileSorting::sortedItems(folder, before, field, ascending);
    QCOMPARE(namesOf(shown), namesOf(FileSorting::sorted(before, field, {}, ascending)));
    // Asked again for the same listing: the same copy.
    QCOMPARE(FileSorting::sortedItems(folder, before, field, ascending).constData(),
             field == FileSortField::name && ascending ? before.constData() : shown.constData());

    FolderListingUpdate update;
    update.folder = folder;
    update.previousItems = before;
    update.inserted = {item(QStringLiteral("e"), 25, 2, QStringLiteral("pdf"))};
    update.removed = {before.at(0).url()};
    update.changed = {item(QStringLiteral("c"), 40, 9, QStringLiteral("zip"))};
    update.items = {before.at(1), update.changed.at(0), before.at(3), update.inserted.at(0)};
    Q_EMIT FolderListingNotifier::instance()->listingUpdated(update);
    const FileItemList after = FileSorting::sortedItems(folder, update.items, field, ascending);
    QCOMPARE(namesOf(after), namesOf(FileSorting::sorted(update.items, field, {}, ascending)));
    QCOMPARE(after.at(after.indexOf(update.changed.at(0))).fileSize(), qint64(40));
}

void FileSortingTest::sortedCopyFollowsNewFolderSizes()
{
    const QUrl folder = QUrl::fromLocalFile(QStringLiteral("/sizes"));
    const FileItemList listing = {item(QStringLiteral("a"), 10, 1, QStringLiteral("txt")),
                                  item(QStringLiteral("b"), 30, 1, QStringLiteral("txt")),
                                  item(QStringLiteral("f"), -1, 1, QString(), true),
                                  item(QStringLiteral("g"), -1, 1, QString(), true)};
    FolderSizeMap sizes;
    for (qint64 size : {qint64(-1), qint64(20), qint64(50), qint64(5)}) {
        if (size >= 0)
            sizes.insert(listing.at(2).url(), size);
        const FileItemList shown = FileSorting::sortedItems(folder, listing, FileSortField::size, false, sizes);
        QCOMPARE(namesOf(shown), namesOf(FileSorting::sorted(listing, FileSortField::size, sizes, false)));
    }
}

TW_CORE_TEST_MAIN(FileSortingTest)
#include "tst_FileSorting.moc"
