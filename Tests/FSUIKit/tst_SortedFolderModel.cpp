#include "TestHome.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/DirectoryListingCacheTesting.h"
#include "FSCore/FileListing.h"
#include "FSUIKit/SortedFolderModel.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QFile>
#include <QItemSelectionModel>
#include <QScopeGuard>
#include <QSignalSpy>

namespace {

QStringList namesOf(const SortedFolderModel &model)
{
    QStringList names;
    for (const FileItem &item : model.items())
        names.append(item.name());
    return names;
}

QUrl urlIn(const QString &folder, const QString &name)
{
    return QUrl::fromLocalFile(folder + QLatin1Char('/') + name);
}

FileItem freshItem(const QUrl &url)
{
    return FileItem(url, FileAttributes::read(url));
}

void setModified(const QString &path, qint64 secondsSinceEpoch)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch), QFileDevice::FileModificationTime));
}

} // namespace

class SortedFolderModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void changesMoveRowsInPlaceAndKeepTheSelection_data();
    void changesMoveRowsInPlaceAndKeepTheSelection();
    void staleListingAfterSetFolderIsDropped();
    void searchResultsHideTheFolderUntilCleared();
    void unreadableOrVanishedFolderSaysWhy();
    void sortingByDateWaitsForAttributes();
    void sortBySizeAskedBeforeAttributesEndsInOrder();
};

void SortedFolderModelTest::changesMoveRowsInPlaceAndKeepTheSelection_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("wholeListing");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("selectedAfter");
    QTest::addColumn<bool>("byName");

    for (bool whole : {false, true}) {
        const char *suffix = whole ? " (whole listing)" : "";
        QTest::addRow("creation%s", suffix) << "create" << whole
            << QStringList{"b.txt", "c.txt", "d.txt", "File 9.txt", "File 10.txt", "a.txt"} << "c.txt" << false;
        QTest::addRow("removal of another%s", suffix) << "remove b" << whole
            << QStringList{"c.txt", "File 9.txt", "File 10.txt", "a.txt"} << "c.txt" << false;
        QTest::addRow("removal of the selected%s", suffix) << "remove c" << whole
            << QStringList{"b.txt", "File 9.txt", "File 10.txt", "a.txt"} << "" << false;
        QTest::addRow("rename of the selected%s", suffix) << "rename c" << whole
            << QStringList{"b.txt", "File 9.txt", "File 10.txt", "a.txt", "z.txt"} << "" << false;
        QTest::addRow("newer date moves the selected%s", suffix) << "touch c" << whole
            << QStringList{"b.txt", "File 9.txt", "File 10.txt", "a.txt", "c.txt"} << "c.txt" << false;
        QTest::addRow("creation by name%s", suffix) << "create" << whole
            << QStringList{"a.txt", "b.txt", "c.txt", "d.txt", "File 9.txt", "File 10.txt"} << "c.txt" << true;
        QTest::addRow("rename of the selected by name%s", suffix) << "rename c" << whole
            << QStringList{"a.txt", "b.txt", "File 9.txt", "File 10.txt", "z.txt"} << "" << true;
        QTest::addRow("removal of another by name%s", suffix) << "remove b" << whole
            << QStringList{"a.txt", "c.txt", "File 9.txt", "File 10.txt"} << "c.txt" << true;
    }
}

// By date: b oldest, then c, File 9, File 10, a newest (by name: a, b, c,
// File 9, File 10). File 9 and
// File 10 share a date, so they fall back to natural name order.
void SortedFolderModelTest::changesMoveRowsInPlaceAndKeepTheSelection()
{
    QFETCH(QString, change);
    QFETCH(bool, wholeListing);
    QFETCH(QStringList, expected);
    QFETCH(QString, selectedAfter);
    QFETCH(bool, byName);

    tw::test::TemporaryFolder dir;
    const QString root = dir.path();
    const QList<std::pair<QString, qint64>> files{
        {"a.txt", 5000}, {"b.txt", 1000}, {"c.txt", 2000}, {"File 10.txt", 3000}, {"File 9.txt", 3000}};
    for (const auto &[name, date] : files) {
        QVERIFY(tw::test::writeFile(root + '/' + name, name.toUtf8()));
        setModified(root + '/' + name, date);
    }
    const QUrl folder = QUrl::fromLocalFile(root);

    SortedFolderModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setSortField(byName ? FileSortField::name : FileSortField::dateModified);
    model.setItems(folder, FileListing::contents(folder));
    QCOMPARE(namesOf(model).size(), 5);

    QItemSelectionModel selection(&model);
    selection.setCurrentIndex(model.indexOf(urlIn(root, "c.txt")), QItemSelectionModel::ClearAndSelect);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    FolderListingUpdate update;
    update.folder = folder;
    if (change == "create") {
        QVERIFY(tw::test::writeFile(root + "/d.txt"));
        setModified(root + "/d.txt", 2500);
        update.inserted = {freshItem(urlIn(root, "d.txt"))};
    } else if (change.startsWith("remove")) {
        const QString name = change.back() + QStringLiteral(".txt");
        QVERIFY(QFile::remove(root + '/' + name));
        update.removed = {urlIn(root, name)};
    } else if (change == "rename c") {
        QVERIFY(QFile::rename(root + "/c.txt", root + "/z.txt"));
        setModified(root + "/z.txt", 9000);
        update.removed = {urlIn(root, "c.txt")};
        update.inserted = {freshItem(urlIn(root, "z.txt"))};
    } else if (change == "touch c") {
        setModified(root + "/c.txt", 8000);
        update.changed = {freshItem(urlIn(root, "c.txt"))};
    }
    if (wholeListing) {
        update = {};
        update.folder = folder;
        update.isWholeListing = true;
    }
    update.items = FileListing::contents(folder);
    Q_EMIT FolderListingNotifier::instance()->listingUpdated(update);

    QCOMPARE(namesOf(model), expected);
    QCOMPARE(resets.count(), 0);
    const QModelIndexList selected = selection.selectedIndexes();
    if (selectedAfter.isEmpty()) {
        QVERIFY(selected.isEmpty());
    } else {
        QCOMPARE(selected.size(), 1);
        QCOMPARE(model.itemAt(selected.first()).name(), selectedAfter);
        QCOMPARE(model.itemAt(selection.currentIndex()).name(), selectedAfter);
    }
}

void SortedFolderModelTest::staleListingAfterSetFolderIsDropped()
{
    tw::test::TemporaryFolder first;
    tw::test::TemporaryFolder second;
    for (int i = 0; i < 2000; ++i)
        QVERIFY(tw::test::writeFile(first.path() + QStringLiteral("/old %1").arg(i)));
    QVERIFY(tw::test::writeFile(second.path() + "/new"));
    DirectoryListingCache::invalidateAll();

    SortedFolderModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy loaded(&model, &SortedFolderModel::loaded);
    model.setFolder(QUrl::fromLocalFile(first.path()));
    model.setFolder(QUrl::fromLocalFile(second.path()));
    QVERIFY(loaded.wait(10000));
    QCOMPARE(namesOf(model), QStringList{"new"});
    // The first folder's listing lands later, if at all, and must change nothing.
    QTest::qWait(300);
    QCOMPARE(namesOf(model), QStringList{"new"});
    QCOMPARE(loaded.count(), 1);
}

void SortedFolderModelTest::searchResultsHideTheFolderUntilCleared()
{
    tw::test::TemporaryFolder dir;
    QVERIFY(tw::test::writeFile(dir.path() + "/shown", "1"));
    QVERIFY(tw::test::writeFile(dir.path() + "/sub/big hit", "12345"));
    QVERIFY(tw::test::writeFile(dir.path() + "/sub/small hit", "1"));
    const QUrl folder = QUrl::fromLocalFile(dir.path());
    DirectoryListingCache::invalidateAll();

    SortedFolderModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setSortField(FileSortField::size);
    QSignalSpy loaded(&model, &SortedFolderModel::loaded);
    model.setFolder(folder);
    QVERIFY(loaded.count() == 1 || loaded.wait(10000));

    const QUrl sub = QUrl::fromLocalFile(dir.path() + "/sub");
    model.showSearchResults({freshItem(urlIn(sub.toLocalFile(), "big hit")), freshItem(urlIn(sub.toLocalFile(), "small hit"))});
    QCOMPARE(namesOf(model), (QStringList{"small hit", "big hit"}));

    // The folder changes meanwhile; the results stay.
    QVERIFY(tw::test::writeFile(dir.path() + "/late"));
    FolderListingUpdate update;
    update.folder = folder;
    update.items = FileListing::contents(folder);
    update.inserted = {freshItem(urlIn(dir.path(), "late"))};
    Q_EMIT FolderListingNotifier::instance()->listingUpdated(update);
    QCOMPARE(namesOf(model), (QStringList{"small hit", "big hit"}));

    DirectoryListingCache::invalidate(folder);
    model.clearSearchResults();
    QVERIFY(loaded.count() == 2 || loaded.wait(10000));
    QCOMPARE(namesOf(model), (QStringList{"late", "sub", "shown"}));
}

void SortedFolderModelTest::unreadableOrVanishedFolderSaysWhy()
{
    tw::test::TemporaryFolder dir;
    const QString root = dir.path() + "/Holiday";
    QVERIFY(tw::test::writeFile(root + "/photo.jpg"));
    const QUrl folder = QUrl::fromLocalFile(root);

    SortedFolderModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setItems(folder, FileListing::contents(folder));
    QCOMPARE(model.rowCount(), 1);
    QVERIFY(model.failureMessage().isEmpty());

    tw::test::removeTree(root);
    Q_EMIT FolderListingNotifier::instance()->listingFailed(folder, ListingFailure::missing);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.failureMessage(), ListingFailures::localizedDescription(ListingFailure::missing, "Holiday"));

    // A failure of another folder is not this one's.
    model.setItems(folder, {freshItem(urlIn(dir.path(), "Holiday"))});
    Q_EMIT FolderListingNotifier::instance()->listingFailed(QUrl::fromLocalFile(dir.path()), ListingFailure::other);
    QVERIFY(model.failureMessage().isEmpty());
    QCOMPARE(model.rowCount(), 1);
}

void SortedFolderModelTest::sortingByDateWaitsForAttributes()
{
    tw::test::TemporaryFolder dir;
    QVERIFY(tw::test::writeFile(dir.path() + "/a"));
    QVERIFY(tw::test::writeFile(dir.path() + "/b"));
    setModified(dir.path() + "/a", 9000);
    setModified(dir.path() + "/b", 1000);
    const QUrl folder = QUrl::fromLocalFile(dir.path());
    FileItemList complete = FileListing::contents(folder);
    FileItemList namesOnly;
    for (const FileItem &item : complete) {
        FileAttributes attributes = *item.attributeSnapshot();
        attributes.hasStatus = false;
        attributes.hasModificationTime = false;
        namesOnly.append(FileItem(item.url(), attributes));
    }

    SortedFolderModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setSortField(FileSortField::dateModified);
    model.setItems(folder, namesOnly);
    QVERIFY(model.isWaitingForAttributes());
    QCOMPARE(namesOf(model), (QStringList{"a", "b"}));
    QItemSelectionModel selection(&model);
    selection.select(model.index(0, 0), QItemSelectionModel::ClearAndSelect);

    FolderListingUpdate update;
    update.folder = folder;
    update.items = complete;
    update.changed = complete;
    update.hasAllAttributes = true;
    Q_EMIT FolderListingNotifier::instance()->listingUpdated(update);
    QVERIFY(!model.isWaitingForAttributes());
    QCOMPARE(namesOf(model), (QStringList{"b", "a"}));
    QCOMPARE(model.itemAt(selection.selectedIndexes().value(0)).name(), QStringLiteral("a"));
}

// The real road: names first while the attributes are held back, then the
// attributes in pieces; the order asked for comes once they are all in.
void SortedFolderModelTest::sortBySizeAskedBeforeAttributesEndsInOrder()
{
    tw::test::TemporaryFolder dir;
    constexpr int count = 300;
    for (int i = 0; i < count; ++i)
        QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("file %1").arg(i)), QByteArray((i * 37) % 101, 'x')));
    DirectoryListingCache::invalidateAll();
    DirectoryListingCache::testing::holdReadPieces(true);
    const auto release = qScopeGuard([] { DirectoryListingCache::testing::holdReadPieces(false); });

    SortedFolderModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy loaded(&model, &SortedFolderModel::loaded);
    model.setSortField(FileSortField::size);
    model.setFolder(QUrl::fromLocalFile(dir.path()));
    QTRY_COMPARE(model.rowCount(), count);
    QVERIFY(model.isWaitingForAttributes());
    QCOMPARE(model.itemAt(1).name(), QStringLiteral("file 1")); // in name order meanwhile
    QCOMPARE(loaded.count(), 0);
    QItemSelectionModel selection(&model);
    selection.select(model.index(2, 0), QItemSelectionModel::ClearAndSelect);
    model.readFirst(count - 20, count - 1);

    DirectoryListingCache::testing::holdReadPieces(false);
    QTRY_VERIFY(!model.isWaitingForAttributes());
    QCOMPARE(loaded.count(), 1);
    const FileItemList &items = model.items();
    QVERIFY(std::all_of(items.cbegin(), items.cend(), [](const FileItem &item) { return item.attributeSnapshot()->hasStatus; }));
    const auto bySize = [](const FileItem &a, const FileItem &b) { return *a.fileSize() < *b.fileSize(); };
    QVERIFY(std::is_sorted(items.cbegin(), items.cend(), bySize));
    QCOMPARE(model.itemAt(selection.selectedIndexes().value(0)).name(), QStringLiteral("file 2"));
}

TW_CORE_TEST_MAIN(SortedFolderModelTest)
#include "tst_SortedFolderModel.moc"
