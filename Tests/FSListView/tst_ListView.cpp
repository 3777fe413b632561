#include "FSListView/ListViewController.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/DirectoryListingCacheTesting.h"
#include "FSCore/FileListing.h"
#include "FSPlatform/PathCodec.h"
#include "FSQuickLook/ThumbnailLoader.h"

#include "HeldPieces.h"
#include "TestHome.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QScopeGuard>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTreeView>

#include <cstdio>

using namespace tw::test;

namespace {

QUrl urlOf(const QString &path)
{
    return PathCodec::urlForPath(path);
}

QStringList shownNames(const ListViewController &view, const QModelIndex &parent = {})
{
    QStringList names;
    const ListViewModel *model = view.model();
    for (int row = 0; row < model->rowCount(parent); ++row)
        names.append(model->itemAt(model->index(row, 0, parent)).name());
    return names;
}

FileItem listed(const QString &folder, const QString &name)
{
    for (const FileItem &item : FileListing::contents(urlOf(folder))) {
        if (item.name() == name)
            return item;
    }
    return {};
}

// A view shown on `folder` once its first listing is in.
struct ShownView
{
    explicit ShownView(const QString &folder)
        : view(urlOf(folder))
        , tester(view.model(), QAbstractItemModelTester::FailureReportingMode::QtTest)
    {
        view.resize(800, 400);
        view.show();
    }
    ListViewController view;
    QAbstractItemModelTester tester;
};

std::unique_ptr<QMimeData> dragOf(const QList<QUrl> &urls)
{
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

} // namespace

class ListViewTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void changesKeepSelectionEditorAndExpandedFolders_data();
    void changesKeepSelectionEditorAndExpandedFolders();
    void renameCommitsToTheEditedItemAfterRowsMoved();
    void oddEntriesChangeTheirOwnRows();
    void sortsByHeaderWithTiesInNameOrder();
    void sortByDateWaitsForTheAttributes();
    void namesFirstAttributesArriveInPlace_data();
    void namesFirstAttributesArriveInPlace();
    void dropsAreValidatedWhileHoveringAndWhenPerformed_data();
    void dropsAreValidatedWhileHoveringAndWhenPerformed();
    void staleCompletionsAfterSetRootAreDropped();
    void searchResultsAreShownInsteadOfTheFolder();
    void failedFolderSaysWhyInsteadOfLookingEmpty();
    void typeAheadSelectsByNaturalOrder();
    void datesSizesAndTitlesAreNeverCut_data();
    void datesSizesAndTitlesAreNeverCut();
    void folderSizesAreWalkedForFolderRowsOnScreenOnly();
    void thumbnailsAreMadeForRowsOnScreenOnly();
    void shownFolderGoingAwaySaysSo_data();
    void shownFolderGoingAwaySaysSo();

private:
    std::unique_ptr<TemporaryFolder> m_root;
    QString path(const QString &name) const { return m_root->filePath(name); }
};

void ListViewTest::init()
{
    DirectoryListingCache::invalidateAll();
    m_root = std::make_unique<TemporaryFolder>();
    QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("folder/inner")));
    for (const char *name : {"b.txt", "d.txt", "f.txt", "folder/one.txt"})
        QVERIFY(writeFile(path(QString::fromLatin1(name)), name));
}

void ListViewTest::changesKeepSelectionEditorAndExpandedFolders_data()
{
    QTest::addColumn<QString>("change");
    for (const char *change : {"create", "remove", "rename", "attributes", "overflow", "inside-expanded"})
        QTest::newRow(change) << QString::fromLatin1(change);
}

void ListViewTest::changesKeepSelectionEditorAndExpandedFolders()
{
    QFETCH(QString, change);
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    QTRY_COMPARE(shownNames(view), (QStringList{"b.txt", "d.txt", "f.txt", "folder"}));
    const QModelIndex folder = view.model()->indexOf(urlOf(path("folder")));
    view.outlineView()->expand(folder);
    QTRY_COMPARE(shownNames(view, folder), (QStringList{"inner", "one.txt"}));
    view.selectItem(urlOf(path("f.txt")));
    view.outlineView()->selectionModel()->select(view.model()->indexOf(urlOf(path("folder/one.txt"))),
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view.beginRename();
    auto *editor = view.outlineView()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->setText(QStringLiteral("typed"));

    FolderListingUpdate update;
    update.folder = urlOf(m_root->path());
    if (change == "create") {
        QVERIFY(writeFile(path("a.txt")));
        update.inserted = {listed(m_root->path(), "a.txt")};
    } else if (change == "remove") {
        QVERIFY(QFile::remove(path("b.txt")));
        update.removed = {urlOf(path("b.txt"))};
    } else if (change == "rename") {
        QVERIFY(QFile::rename(path("d.txt"), path("z.txt")));
        update.removed = {urlOf(path("d.txt"))};
        update.inserted = {listed(m_root->path(), "z.txt")};
    } else if (change == "attributes") {
        QVERIFY(writeFile(path("b.txt"), "longer contents"));
        update.changed = {listed(m_root->path(), "b.txt"), listed(m_root->path(), "f.txt")};
    } else if (change == "inside-expanded") {
        QVERIFY(writeFile(path("folder/two.txt")));
        update.folder = urlOf(path("folder"));
        update.inserted = {listed(path("folder"), "two.txt")};
    }
    const QStringList expectedNames = FileListing::contents(update.folder).isEmpty() ? QStringList() : [&] {
        QStringList names;
        for (const FileItem &item : FileListing::contents(update.folder))
            names.append(item.name());
        return names;
    }();
    if (change == "overflow") {
        QVERIFY(writeFile(path("c.txt")));
        QVERIFY(QFile::remove(path("b.txt")));
        DirectoryListingCache::refresh(update.folder);
    } else {
        update.items = FileListing::contents(update.folder);
        Q_EMIT FolderListingNotifier::instance()->listingUpdated(update);
    }
    const QModelIndex changedFolder = update.folder == urlOf(m_root->path()) ? QModelIndex() : view.model()->indexOf(update.folder);
    if (change == "overflow")
        QTRY_COMPARE(shownNames(view), (QStringList{"c.txt", "d.txt", "f.txt", "folder"}));
    else
        QCOMPARE(shownNames(view, changedFolder), expectedNames);

    QCOMPARE(view.selectedURLs(), (QList<QUrl>{urlOf(path("f.txt")), urlOf(path("folder/one.txt"))}));
    QCOMPARE(view.outlineView()->currentIndex().data(ListViewModel::UrlRole).toUrl(), urlOf(path("f.txt")));
    QVERIFY(view.outlineView()->isExpanded(view.model()->indexOf(urlOf(path("folder")))));
    QCOMPARE(view.outlineView()->findChild<QLineEdit *>(), editor);
    QCOMPARE(editor->text(), QStringLiteral("typed"));
}

void ListViewTest::renameCommitsToTheEditedItemAfterRowsMoved()
{
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    QTRY_COMPARE(shownNames(view).size(), 4);
    view.selectItem(urlOf(path("d.txt")));
    view.beginRename();
    auto *editor = view.outlineView()->findChild<QLineEdit *>();
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("d.txt"));
    // Two new rows above it: the editor's row number now belongs to another item.
    QVERIFY(writeFile(path("a1.txt")) && writeFile(path("a2.txt")));
    DirectoryListingCache::refresh(urlOf(m_root->path()));
    QTRY_COMPARE(shownNames(view).size(), 6);
    editor->setText(QStringLiteral("renamed.txt"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(entriesOf(m_root->path()),
             (QStringList{"a1.txt", "a2.txt", "b.txt", "f.txt", "folder", "renamed.txt"}));
}

void ListViewTest::oddEntriesChangeTheirOwnRows()
{
    // A name that is not UTF-8, and one of 255 bytes.
    const QByteArray badName = QFile::encodeName(m_root->path()) + "/bad\xff\xfe.txt";
    FILE *bad = std::fopen(badName.constData(), "w");
    QVERIFY(bad);
    std::fclose(bad);
    QVERIFY(writeFile(path(QString(251, QLatin1Char('n')) + ".txt")));
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    QTRY_COMPARE(shownNames(view).size(), 6);
    const QModelIndex folder = view.model()->indexOf(urlOf(path("folder")));
    view.outlineView()->expand(folder);
    QTRY_COMPARE(view.model()->rowCount(folder), 2);

    // The folder is replaced by a file of the same name; the odd name goes.
    tw::test::removeTree(path("folder"));
    QVERIFY(writeFile(path("folder"), "now a file"));
    QVERIFY(std::remove(badName.constData()) == 0);
    FolderListingUpdate update;
    update.folder = urlOf(m_root->path());
    update.items = FileListing::contents(update.folder);
    for (const FileItem &item : view.currentSortedItems()) {
        if (item.name().startsWith(QLatin1String("bad")))
            update.removed.append(item.url());
    }
    QCOMPARE(update.removed.size(), 1);
    update.changed = {listed(m_root->path(), "folder")};
    Q_EMIT FolderListingNotifier::instance()->listingUpdated(update);
    QCOMPARE(view.model()->rowCount(), 5);
    const QModelIndex file = view.model()->indexOf(urlOf(path("folder")));
    QVERIFY(!view.model()->itemAt(file).isDirectory());
    QCOMPARE(view.model()->rowCount(file), 0);
    QVERIFY(!view.model()->hasChildren(file));
}

void ListViewTest::sortsByHeaderWithTiesInNameOrder()
{
    QVERIFY(writeFile(path("a.txt"), "1234567") && writeFile(path("c.txt"), "12"));
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    QTRY_COMPARE(shownNames(view).size(), 6);
    QTest::mouseClick(view.outlineView()->header()->viewport(), Qt::LeftButton, {},
                      QPoint(view.outlineView()->header()->sectionViewportPosition(ListViewModel::sizeColumn) + 10, 5));
    QCOMPARE(view.model()->sortKey(), ListViewModel::SortKey::size);
    // b, d, f hold 5 bytes each and keep name order in both directions; the folder holds 14.
    QTRY_VERIFY(view.folderSizeCache().contains(urlOf(path("folder"))));
    view.model()->sort(ListViewModel::sizeColumn, Qt::AscendingOrder);
    QCOMPARE(shownNames(view), (QStringList{"c.txt", "b.txt", "d.txt", "f.txt", "a.txt", "folder"}));
    view.model()->sort(ListViewModel::sizeColumn, Qt::DescendingOrder);
    QCOMPARE(shownNames(view), (QStringList{"folder", "a.txt", "b.txt", "d.txt", "f.txt", "c.txt"}));
}

void ListViewTest::sortByDateWaitsForTheAttributes()
{
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    QTRY_COMPARE(shownNames(view).size(), 4);
    const QDateTime base = QDateTime::currentDateTime().addDays(-1);
    for (const auto &[name, hours] : {std::pair{"b.txt", 3}, {"d.txt", 1}, {"f.txt", 2}}) {
        QFile file(path(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(base.addSecs(hours * 3600), QFileDevice::FileModificationTime));
    }
    FolderListingUpdate namesOnly;
    namesOnly.folder = urlOf(m_root->path());
    namesOnly.items = FileListing::contents(namesOnly.folder);
    namesOnly.isWholeListing = true;
    namesOnly.hasAllAttributes = false;
    Q_EMIT FolderListingNotifier::instance()->listingUpdated(namesOnly);
    view.model()->sort(ListViewModel::dateColumn, Qt::AscendingOrder);
    QCOMPARE(shownNames(view), (QStringList{"b.txt", "d.txt", "f.txt", "folder"}));
    QVERIFY(!view.statusMessage().isEmpty());

    FolderListingUpdate complete = namesOnly;
    complete.isWholeListing = false;
    complete.items = {};
    complete.changed = FileListing::contents(namesOnly.folder);
    complete.hasAllAttributes = true;
    Q_EMIT FolderListingNotifier::instance()->listingUpdated(complete);
    QCOMPARE(shownNames(view), (QStringList{"d.txt", "f.txt", "b.txt", "folder"}));
    QVERIFY(view.statusMessage().isEmpty());
}

void ListViewTest::namesFirstAttributesArriveInPlace_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("sort by size asked before the attributes") << "sort";
    QTest::newRow("rows on screen read first") << "scroll";
    QTest::newRow("pieces of a folder left behind dropped") << "leave";
}

// A large folder is shown names first while the reading of its attributes is
// held: the rows are there, in name order, with no attributes; then they come.
void ListViewTest::namesFirstAttributesArriveInPlace()
{
    QFETCH(QString, meanwhile);
    constexpr int count = 1500;
    TemporaryFolder large;
    for (int i = 0; i < count; ++i)
        QVERIFY(writeFile(large.filePath(QStringLiteral("file %1").arg(i)), QByteArray((i * 37) % 101, 'x')));
    tw::test::HeldPieces pieces;
    const auto hasStatus = [](const FileItem &item) { return item.attributeSnapshot()->hasStatus; };
    const auto isRead = [&](const ListViewController &view) {
        const FileItemList items = view.currentSortedItems();
        return items.size() == count && std::all_of(items.cbegin(), items.cend(), hasStatus);
    };

    ShownView shown(large.path());
    ListViewController &view = shown.view;
    QTRY_COMPARE(view.model()->rowCount(), count);
    const FileItemList named = view.currentSortedItems();
    QCOMPARE(named.first().name(), QStringLiteral("file 0"));
    QCOMPARE(named.last().name(), QStringLiteral("file 1499"));
    QVERIFY(std::none_of(named.cbegin(), named.cend(), hasStatus));

    if (meanwhile == "sort") {
        view.outlineView()->header()->setSortIndicator(ListViewModel::sizeColumn, Qt::AscendingOrder);
        QCOMPARE(view.currentSortedItems().first().name(), QStringLiteral("file 0"));
        QVERIFY(!view.statusMessage().isEmpty());
        pieces.release();
        QTRY_VERIFY(isRead(view));
        const FileItemList sorted = view.currentSortedItems();
        const auto bySize = [](const FileItem &a, const FileItem &b) { return *a.fileSize() < *b.fileSize(); };
        QVERIFY(std::is_sorted(sorted.cbegin(), sorted.cend(), bySize));
        QCOMPARE(sorted.first().name(), QStringLiteral("file 0"));
        QVERIFY(view.statusMessage().isEmpty());
    } else if (meanwhile == "scroll") {
        // Read in name order, the last rows would come last; on screen, they come right after what was under way.
        view.outlineView()->scrollToBottom();
        const QModelIndex bottom = view.model()->index(count - 1, 0);
        QTRY_VERIFY(!view.outlineView()->visualRect(bottom).isEmpty());
        QTest::qWait(50); // the view asks for its rows on screen
        pieces.release();
        QTRY_VERIFY(isRead(view));
        const QMap<int, FileItemList> read = pieces.read();
        const auto holdsBottom = [&](const FileItemList &piece) { return piece.contains(named.last()); };
        const auto piece = std::find_if(read.cbegin(), read.cend(), holdsBottom);
        QVERIFY(piece != read.cend());
        QVERIFY2(piece.key() <= 2, qPrintable(QString::number(piece.key())));
    } else {
        view.setRoot(urlOf(m_root->path()));
        QTRY_COMPARE(shownNames(view), (QStringList{"b.txt", "d.txt", "f.txt", "folder"}));
        int leftBehind = 0;
        const QMetaObject::Connection connection = connect(
            FolderListingNotifier::instance(), &FolderListingNotifier::listingUpdated, this,
            [&](const FolderListingUpdate &update) { leftBehind += update.folder == urlOf(large.path()); });
        pieces.release();
        QTRY_VERIFY(leftBehind > 0);
        QTest::qWait(100);
        disconnect(connection);
        QCOMPARE(shownNames(view), (QStringList{"b.txt", "d.txt", "f.txt", "folder"}));
        QCOMPARE(view.currentDirectoryURL(), urlOf(m_root->path()));
        const auto isShownRead = [&] {
            const FileItemList items = view.currentSortedItems();
            return std::all_of(items.cbegin(), items.cend(), hasStatus);
        };
        QTRY_VERIFY(isShownRead());
    }
}

void ListViewTest::dropsAreValidatedWhileHoveringAndWhenPerformed_data()
{
    QTest::addColumn<QStringList>("dragged");
    QTest::addColumn<QString>("over");  // the row's name, or "" for the empty area
    QTest::addColumn<bool>("isAccepted");
    QTest::addColumn<QStringList>("rootAfter");
    QTest::addColumn<QStringList>("folderAfter");
    const QStringList root{"b.txt", "d.txt", "f.txt", "folder"};
    const QStringList folder{"inner", "one.txt"};
    QTest::newRow("folder-onto-itself") << QStringList{"folder"} << "folder" << false << root << folder;
    QTest::newRow("folder-into-its-subfolder") << QStringList{"folder"} << "inner" << false << root << folder;
    QTest::newRow("move-into-own-folder") << QStringList{"b.txt"} << "" << false << root << folder;
    QTest::newRow("onto-a-file-row") << QStringList{"folder/one.txt"} << "d.txt" << false << root << folder;
    QTest::newRow("web-address") << QStringList{"https://example.org/x"} << "folder" << false << root << folder;
    QTest::newRow("file-onto-folder") << QStringList{"b.txt"} << "folder" << true
                                      << QStringList{"d.txt", "f.txt", "folder"} << QStringList{"b.txt", "inner", "one.txt"};
    QTest::newRow("one-missing-rest-goes-on") << QStringList{"missing.txt", "d.txt"} << "folder" << true
                                              << QStringList{"b.txt", "f.txt", "folder"} << QStringList{"d.txt", "inner", "one.txt"};
}

void ListViewTest::dropsAreValidatedWhileHoveringAndWhenPerformed()
{
    QFETCH(QStringList, dragged);
    QFETCH(QString, over);
    QFETCH(bool, isAccepted);
    QFETCH(QStringList, rootAfter);
    QFETCH(QStringList, folderAfter);
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    QTRY_COMPARE(shownNames(view).size(), 4);
    view.outlineView()->expand(view.model()->indexOf(urlOf(path("folder"))));
    QTRY_VERIFY(view.model()->indexOf(urlOf(path("folder/inner"))).isValid());
    QList<QUrl> urls;
    for (const QString &name : dragged)
        urls.append(name.contains(QLatin1Char(':')) ? QUrl(name) : urlOf(path(name)));
    const auto data = dragOf(urls);
    QPoint position(200, view.outlineView()->viewport()->height() - 5);
    if (!over.isEmpty()) {
        const QModelIndex row = view.model()->indexOf(urlOf(path(over == "inner" ? "folder/inner" : over)));
        position = view.outlineView()->visualRect(row).center();
    }
    QWidget *viewport = view.outlineView()->viewport();
    QDragEnterEvent enter(position, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(position, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(viewport, &move);
    QCOMPARE(move.isAccepted() && move.dropAction() != Qt::IgnoreAction, isAccepted);
    // Dropped whatever the hover said, as a drop from another program may come.
    QDropEvent drop(position, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(viewport, &drop);
    QCOMPARE(drop.isAccepted(), isAccepted);
    // A drop that is taken runs as a file job: its items land a moment later.
    QTRY_COMPARE(entriesOf(m_root->path()), rootAfter);
    QTRY_COMPARE(entriesOf(path("folder")), folderAfter);
    QCOMPARE(entriesOf(path("folder/inner")), QStringList());
    QTRY_COMPARE(bool(view.findChild<QMessageBox *>()), dragged.contains("missing.txt"));
    auto *failure = view.findChild<QMessageBox *>();
    QCOMPARE(bool(failure), dragged.contains("missing.txt"));
    if (failure) {
        QVERIFY(failure->informativeText().contains("missing.txt"));
        failure->close();
    }
}

void ListViewTest::staleCompletionsAfterSetRootAreDropped()
{
    QVERIFY(QDir(m_root->path()).mkpath(QStringLiteral("other/sub")));
    QVERIFY(writeFile(path("other/x.txt"), "12345"));
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    QTRY_COMPARE(shownNames(view).size(), 5);
    // Sizes are being walked for the folders on screen when the view moves on.
    QTRY_VERIFY(!view.pendingFolderSizeURLs().isEmpty() || !view.folderSizeCache().isEmpty());
    DirectoryListingCache::invalidateAll();
    view.setRoot(urlOf(path("folder")));
    view.setRoot(urlOf(path("other")));
    QVERIFY(view.pendingFolderSizeURLs().isEmpty());
    QTRY_COMPARE(shownNames(view), (QStringList{"sub", "x.txt"}));
    QTest::qWait(100);
    QCOMPARE(shownNames(view), (QStringList{"sub", "x.txt"}));
    QCOMPARE(view.currentDirectoryURL(), urlOf(path("other")));
    for (auto it = view.folderSizeCache().cbegin(); it != view.folderSizeCache().cend(); ++it)
        QVERIFY2(it.key() == urlOf(path("other/sub")), qPrintable(it.key().toString()));
}

void ListViewTest::searchResultsAreShownInsteadOfTheFolder()
{
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    QTRY_COMPARE(shownNames(view).size(), 4);
    const FileItemList results{listed(path("folder"), "one.txt"), listed(path("folder"), "inner")};
    view.showSearchResults(results);
    QCOMPARE(shownNames(view), (QStringList{"inner", "one.txt"}));
    QVERIFY(!view.model()->hasChildren(view.model()->index(0, 0)));
    // What the window previews and opens is what the view shows.
    QCOMPARE(view.currentSortedItems(), (FileItemList{results.at(1), results.at(0)}));
    // A later delivery of the same search keeps the selection.
    view.selectItem(results.at(0).url());
    QVERIFY(writeFile(path("folder/another.txt")));
    const FileItemList more{listed(path("folder"), "one.txt"), listed(path("folder"), "inner"),
                            listed(path("folder"), "another.txt")};
    view.showSearchResults(more);
    QCOMPARE(shownNames(view), (QStringList{"another.txt", "inner", "one.txt"}));
    QCOMPARE(view.selectedURLs(), QList<QUrl>{results.at(0).url()});
    // A change of the folder while searching stays out of the results.
    bool isCreatedListed = false;
    const QMetaObject::Connection connection = connect(
        FolderListingNotifier::instance(), &FolderListingNotifier::listingUpdated, this, [&](const FolderListingUpdate &update) {
            // Not any update: the folder's attributes may still be arriving.
            isCreatedListed = isCreatedListed || update.items.contains(FileItem(urlOf(path("a.txt"))));
        });
    QVERIFY(writeFile(path("a.txt")));
    DirectoryListingCache::refresh(urlOf(m_root->path()));
    QTRY_VERIFY(isCreatedListed);
    disconnect(connection);
    QCOMPARE(shownNames(view), (QStringList{"another.txt", "inner", "one.txt"}));
    QCOMPARE(view.currentSortedItems().size(), 3);
    view.clearSearchResults();
    QCOMPARE(shownNames(view), (QStringList{"a.txt", "b.txt", "d.txt", "f.txt", "folder"}));
}

void ListViewTest::failedFolderSaysWhyInsteadOfLookingEmpty()
{
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    QTRY_COMPARE(shownNames(view).size(), 4);
    QVERIFY(view.statusMessage().isEmpty());
    Q_EMIT FolderListingNotifier::instance()->listingFailed(urlOf(m_root->path()), ListingFailure::missing);
    QCOMPARE(shownNames(view), QStringList());
    QCOMPARE(view.statusMessage(), ListingFailures::localizedDescription(ListingFailure::missing,
                                                                         FileItem::lastKnown(urlOf(m_root->path())).name()));
    // Listed for real: a folder that is not there is no empty folder.
    view.setRoot(urlOf(path("gone")));
    QTRY_VERIFY(!view.statusMessage().isEmpty());
    view.setRoot(urlOf(path("folder")));
    QTRY_COMPARE(shownNames(view), (QStringList{"inner", "one.txt"}));
    QVERIFY(view.statusMessage().isEmpty());
}

void ListViewTest::typeAheadSelectsByNaturalOrder()
{
    QVERIFY(writeFile(path("File 10.txt"), "12345678") && writeFile(path("file 9.txt")));
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    QTRY_COMPARE(shownNames(view).size(), 6);
    view.outlineView()->setFocus();
    view.outlineView()->keyboardSearch(QStringLiteral("FILE 1"));
    QCOMPARE(view.selectedURLs(), QList<QUrl>{urlOf(path("File 10.txt"))});
    // The first in natural order, whatever the view's order; no name that
    // starts so leaves the selection alone.
    view.model()->sort(ListViewModel::sizeColumn, Qt::DescendingOrder);
    for (const auto &[typed, selected] : {std::pair{"fi", "file 9.txt"}, {"q", "file 9.txt"}}) {
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        view.outlineView()->keyboardSearch(QString::fromLatin1(typed));
        QCOMPARE(view.selectedURLs(), QList<QUrl>{urlOf(path(QString::fromLatin1(selected)))});
    }
}

void ListViewTest::datesSizesAndTitlesAreNeverCut_data()
{
    QTest::addColumn<TextSize>("size");
    for (TextSize size : TextSizes::allCases)
        QTest::newRow(qPrintable(TextSizes::displayName(size))) << size;
}

void ListViewTest::datesSizesAndTitlesAreNeverCut()
{
    QFETCH(TextSize, size);
    QFile big(path("big.iso"));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(Q_INT64_C(987654321098)));
    big.close();
    QFile september(path("d.txt"));
    QVERIFY(september.open(QIODevice::ReadWrite));
    QVERIFY(september.setFileTime(QDateTime(QDate(2024, 9, 28), QTime(12, 58)), QFileDevice::FileModificationTime));
    september.close();
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    view.applyTextSize(size);
    QTRY_COMPARE(shownNames(view).size(), 5);
    QTRY_VERIFY(view.folderSizeCache().contains(urlOf(path("folder"))));
    const QFontMetrics cell(TextSizes::font(size));
    QHeaderView *header = view.outlineView()->header();
    const QFontMetrics title(header->font());
    for (int column : {int(ListViewModel::dateColumn), int(ListViewModel::sizeColumn)}) {
        const int width = header->sectionSize(column);
        QVERIFY(title.horizontalAdvance(view.model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()) < width);
        for (int row = 0; row < view.model()->rowCount(); ++row) {
            const QString text = view.model()->index(row, column).data().toString();
            QVERIFY2(cell.horizontalAdvance(text) + 4 <= width, qPrintable(text));
        }
    }
}

void ListViewTest::folderSizesAreWalkedForFolderRowsOnScreenOnly()
{
    for (int i = 0; i < 60; ++i)
        QVERIFY(writeFile(path(QStringLiteral("dir %1/inside").arg(i, 2, 10, QLatin1Char('0'))), QByteArray(i + 1, 'x')));
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    view.resize(800, 300);
    QTRY_COMPARE(shownNames(view).size(), 64);
    const auto urlsOnScreen = [&] {
        QSet<QUrl> urls;
        QTreeView *outline = view.outlineView();
        for (QModelIndex row = outline->indexAt(QPoint(1, 1)); row.isValid() && outline->visualRect(row).top() < outline->viewport()->height();
             row = outline->indexBelow(row))
            urls.insert(view.model()->itemAt(row).url());
        return urls;
    };
    // Each sample: at most two walks, each for a row on screen.
    const auto walksAreForRowsOnScreen = [&] {
        const QList<QUrl> pending = view.pendingFolderSizeURLs();
        const QSet<QUrl> onScreen = urlsOnScreen();
        return pending.size() <= ListViewController::maximumSizeWalks
            && std::all_of(pending.cbegin(), pending.cend(), [&](const QUrl &url) { return onScreen.contains(url); });
    };
    const auto sizesOfRowsOnScreenAreKnown = [&] {
        for (const QUrl &url : urlsOnScreen()) {
            if (QFileInfo(url.toLocalFile()).isDir() && !view.folderSizeCache().contains(url))
                return false;
        }
        return true;
    };
    QVERIFY(QTest::qWaitFor([&] { return !walksAreForRowsOnScreen() || sizesOfRowsOnScreenAreKnown(); }, 5000));
    QVERIFY(walksAreForRowsOnScreen());
    QVERIFY(view.folderSizeCache().size() < 20);
    QCOMPARE(view.folderSizeCache().value(urlOf(path("dir 00"))), 1);

    // Scrolled away before the walks end: they stop, and the rows now shown get theirs.
    view.outlineView()->scrollToBottom();
    QApplication::processEvents();
    QVERIFY(walksAreForRowsOnScreen());
    QVERIFY(QTest::qWaitFor([&] { return !walksAreForRowsOnScreen() || sizesOfRowsOnScreenAreKnown(); }, 5000));
    QVERIFY(walksAreForRowsOnScreen());
    QCOMPARE(view.folderSizeCache().value(urlOf(path("dir 59"))), 60);
    QVERIFY(!view.folderSizeCache().contains(urlOf(path("dir 30"))));

    // A folder that changed is measured again.
    QVERIFY(writeFile(path("dir 59/more"), QByteArray(40, 'y')));
    DirectoryListingCache::refresh(urlOf(m_root->path()), {QStringLiteral("dir 59")});
    QTRY_COMPARE(view.folderSizeCache().value(urlOf(path("dir 59"))), 100);
}

void ListViewTest::thumbnailsAreMadeForRowsOnScreenOnly()
{
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    for (int i = 0; i < 120; ++i)
        QVERIFY(picture.save(path(QStringLiteral("picture %1.png").arg(i, 3, 10, QLatin1Char('0')))));
    ThumbnailLoader::clearMemory();
    const int before = ThumbnailLoader::renderedCount();
    ShownView shown(m_root->path());
    ListViewController &view = shown.view;
    view.resize(800, 300);
    QTRY_COMPARE(shownNames(view).size(), 124);
    QTreeView *outline = view.outlineView();
    const auto picturesOnScreen = [&] {
        int count = 0;
        for (QModelIndex row = outline->indexAt(QPoint(1, 1)); row.isValid() && outline->visualRect(row).top() < outline->viewport()->height();
             row = outline->indexBelow(row))
            count += view.model()->itemAt(row).name().startsWith(QLatin1String("picture")) ? 1 : 0;
        return count;
    };
    const int first = picturesOnScreen();
    QVERIFY(first > 0 && first < 30);
    QVERIFY(QTest::qWaitFor([&] { return ThumbnailLoader::renderedCount() - before >= first; }, 10000));
    QTest::qWait(200);
    QCOMPARE(ThumbnailLoader::renderedCount() - before, first);

    outline->scrollToBottom();
    const int last = picturesOnScreen();
    QVERIFY(QTest::qWaitFor([&] { return ThumbnailLoader::renderedCount() - before >= first + last; }, 10000));
    QTest::qWait(200);
    QCOMPARE(ThumbnailLoader::renderedCount() - before, first + last);
}

void ListViewTest::shownFolderGoingAwaySaysSo_data()
{
    QTest::addColumn<bool>("isReplacedByAFile");
    QTest::addColumn<ListingFailure>("failure");
    QTest::newRow("deleted") << false << ListingFailure::missing;
    QTest::newRow("replaced by a file") << true << ListingFailure::notAFolder;
}

void ListViewTest::shownFolderGoingAwaySaysSo()
{
    QFETCH(bool, isReplacedByAFile);
    QFETCH(ListingFailure, failure);
    ShownView shown(path("folder"));
    ListViewController &view = shown.view;
    QTRY_COMPARE(shownNames(view), (QStringList{"inner", "one.txt"}));
    // Emptied, it is an empty folder, not a failure.
    removeTree(path("folder/inner"));
    QVERIFY(QFile::remove(path("folder/one.txt")));
    QTRY_COMPARE_WITH_TIMEOUT(shownNames(view), QStringList(), 5000);
    QVERIFY(view.statusMessage().isEmpty());
    removeTree(path("folder"));
    if (isReplacedByAFile)
        QVERIFY(writeFile(path("folder"), "a file now"));
    QTRY_COMPARE_WITH_TIMEOUT(view.statusMessage(), ListingFailures::localizedDescription(failure, QStringLiteral("folder")), 5000);
    QCOMPARE(shownNames(view), QStringList());
    view.outlineView()->grab();
}

TW_TEST_MAIN_WITH(QApplication, ListViewTest)
#include "tst_ListView.moc"
