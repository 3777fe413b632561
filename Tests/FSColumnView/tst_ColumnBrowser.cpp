#include "TestHome.h"

#include "FSUIKit/SortedFolderModel.h"
#include "FSColumnView/BrowserColumnView.h"
#include "FSColumnView/ColumnBrowserViewController.h"
#include "FSColumnView/ContextMenuBrowser.h"
#include "FSCore/DirectoryListingCache.h"
#include "FSPlatform/PathCodec.h"
#include "FSQuickLook/ThumbnailLoader.h"
#include "FSUIKit/FilePasteboard.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QVBoxLayout>

#include <sys/stat.h>

namespace {

QUrl urlOf(const QString &path)
{
    return PathCodec::urlForPath(path);
}

QStringList folderPaths(const ColumnBrowserViewController &browser)
{
    QStringList paths;
    for (const QUrl &folder : browser.columnFolders())
        paths << folder.toLocalFile();
    return paths;
}

QStringList namesIn(const SortedFolderModel *model)
{
    QStringList names;
    for (const FileItem &item : model->items())
        names << item.name();
    return names;
}

void makeTree(const QString &root, const QStringList &entries)
{
    for (const QString &entry : entries) {
        if (entry.endsWith(QLatin1Char('/')))
            QVERIFY(QDir().mkpath(root + QLatin1Char('/') + entry));
        else
            QVERIFY(tw::test::writeFile(root + QLatin1Char('/') + entry));
    }
}

} // namespace

class ColumnBrowserTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { DirectoryListingCache::invalidateAll(); }

    void rootIsHomeOnlyForFoldersInsideIt_data();
    void rootIsHomeOnlyForFoldersInsideIt();
    void refreshKeepsSelectionAndDropsVanishedColumns();
    void cacheMissFillsLaterWithoutBlocking();
    void staleCompletionsAfterSetRootAreDropped();
    void renameCommitsToEditedItemAfterRowsMoved();
    void typeAheadSelectsByNaturalOrder_data();
    void typeAheadSelectsByNaturalOrder();
    void changesOnDiskArriveAsRowsKeepingSelection();
    void rightClickActsOnTheItemAlone();
    void dropsGoIntoFolderRowsAndNeverIntoThemselves_data();
    void dropsGoIntoFolderRowsAndNeverIntoThemselves();
    void thumbnailsOnlyForRowsOnScreen();
    void searchResultsAreOneColumnOfLeaves();
    void arrowKeysMoveBetweenColumns();
    void oddNamesAreShownAndDrawn();
};

void ColumnBrowserTest::rootIsHomeOnlyForFoldersInsideIt_data()
{
    QTest::addColumn<QString>("target"); // relative to the private home; "+" is a sibling of home
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QString>("selected");

    QTest::newRow("two levels below home") << "a/b" << QStringList{"", "a", "a/b"} << "a/b";
    QTest::newRow("home itself") << "" << QStringList{""} << "";
    QTest::newRow("outside home") << "+outside" << QStringList{"+outside"} << "";
    QTest::newRow("name that only begins like home") << "+2/sub" << QStringList{"+2/sub"} << "";
    // No row leads through a hidden folder: it is shown as its own root, not as home.
    QTest::newRow("inside a hidden folder") << ".hidden/inner" << QStringList{".hidden/inner"} << "";
}

void ColumnBrowserTest::rootIsHomeOnlyForFoldersInsideIt()
{
    QFETCH(QString, target);
    QFETCH(QStringList, columns);
    QFETCH(QString, selected);
    const QString home = tw::test::privateHome();
    makeTree(home, {"a/b/c/", "a/b/file.txt", ".hidden/inner/", "z.txt"});
    makeTree(home + QStringLiteral("outside"), {"x/"});
    makeTree(home + QStringLiteral("2"), {"sub/"});
    const auto resolve = [&](const QString &relative) {
        if (relative.startsWith(QLatin1Char('+')))
            return QDir::cleanPath(home + relative.mid(1));
        return QDir::cleanPath(home + QLatin1Char('/') + relative);
    };
    QStringList expected;
    for (const QString &column : columns)
        expected << resolve(column);

    ColumnBrowserViewController browser(urlOf(home));
    browser.setRoot(urlOf(resolve(target)));
    QTRY_COMPARE(folderPaths(browser), expected);
    if (selected.isEmpty()) {
        QVERIFY(browser.selectedURLs().isEmpty());
        QCOMPARE(browser.currentDirectoryURL(), urlOf(resolve(target)));
    } else {
        QCOMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(resolve(selected))});
        QCOMPARE(browser.currentDirectoryURL(), urlOf(resolve(selected)));
    }
}

void ColumnBrowserTest::refreshKeepsSelectionAndDropsVanishedColumns()
{
    tw::test::TemporaryFolder temporary;
    const QString root = temporary.path();
    makeTree(root, {"p/q/inner.txt", "p/f.txt", "p/r/"});
    ColumnBrowserViewController browser(urlOf(root));
    browser.setRoot(urlOf(root));
    QTRY_COMPARE(browser.columnModel(0)->rowCount(), 1);
    browser.selectItem(urlOf(root + "/p/f.txt"));
    QTRY_COMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(root + "/p/f.txt")});
    QAbstractItemModelTester tester(browser.columnModel(1), QAbstractItemModelTester::FailureReportingMode::QtTest);

    // Rows move under the selection: it stays with the item.
    makeTree(root, {"p/a0.txt", "p/b0.txt"});
    DirectoryListingCache::invalidateAll();
    browser.refresh();
    QTRY_COMPARE(namesIn(browser.columnModel(1)), (QStringList{"a0.txt", "b0.txt", "f.txt", "q", "r"}));
    QCOMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(root + "/p/f.txt")});

    browser.selectItem(urlOf(root + "/p/q"));
    QTRY_COMPARE(folderPaths(browser), (QStringList{root, root + "/p", root + "/p/q"}));
    tw::test::removeTree(root + "/p/q");
    DirectoryListingCache::invalidateAll();
    browser.refresh();
    QTRY_COMPARE(folderPaths(browser), (QStringList{root, root + "/p"}));
    QVERIFY(browser.currentDirectoryURL() != urlOf(root + "/p/q"));

    // The first column's folder itself vanishing leaves an empty column that says so.
    tw::test::removeTree(root);
    DirectoryListingCache::invalidateAll();
    browser.refresh();
    QTRY_COMPARE(folderPaths(browser), QStringList{root});
    QTRY_VERIFY(!browser.columnModel(0)->failureMessage().isEmpty());
    QCOMPARE(browser.columnModel(0)->rowCount(), 0);
}

void ColumnBrowserTest::cacheMissFillsLaterWithoutBlocking()
{
    tw::test::TemporaryFolder temporary;
    makeTree(temporary.path(), {"one.txt", "two/", "three.txt"});
    ColumnBrowserViewController browser(urlOf(tw::test::privateHome()));
    DirectoryListingCache::invalidateAll();
    browser.setRoot(urlOf(temporary.path()));
    SortedFolderModel *model = browser.columnModel(0);
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // A miss is listed in the background: nothing is there until the event loop delivers it.
    QCOMPARE(model->rowCount(), 0);
    QVERIFY(model->isLoading());
    QTRY_COMPARE(namesIn(model), (QStringList{"one.txt", "three.txt", "two"}));

    // A hit fills the column before setRoot returns.
    browser.setRoot(urlOf(temporary.path()));
    QCOMPARE(browser.columnModel(0)->rowCount(), 3);
}

void ColumnBrowserTest::staleCompletionsAfterSetRootAreDropped()
{
    tw::test::TemporaryFolder first;
    tw::test::TemporaryFolder second;
    makeTree(first.path(), {"from-first.txt"});
    makeTree(second.path(), {"from-second.txt"});
    const QString home = tw::test::privateHome();
    makeTree(home, {"deep/er/"});

    ColumnBrowserViewController browser(urlOf(home));
    DirectoryListingCache::invalidateAll();
    browser.setRoot(urlOf(first.path()));
    browser.setRoot(urlOf(second.path()));
    QTRY_COMPARE(namesIn(browser.columnModel(0)), QStringList{"from-second.txt"});
    QTest::qWait(50);
    QCOMPARE(folderPaths(browser), QStringList{second.path()});
    QCOMPARE(namesIn(browser.columnModel(0)), QStringList{"from-second.txt"});

    // A path walk still waiting for its listings must not open its columns later.
    DirectoryListingCache::invalidateAll();
    browser.setRoot(urlOf(home + "/deep/er"));
    browser.setRoot(urlOf(first.path()));
    QTRY_COMPARE(namesIn(browser.columnModel(0)), QStringList{"from-first.txt"});
    QTest::qWait(50);
    QCOMPARE(folderPaths(browser), QStringList{first.path()});
    QVERIFY(browser.selectedURLs().isEmpty());
}

void ColumnBrowserTest::renameCommitsToEditedItemAfterRowsMoved()
{
    tw::test::TemporaryFolder temporary;
    const QString root = temporary.path();
    makeTree(root, {"m.txt", "z.txt"});
    ColumnBrowserViewController browser(urlOf(root));
    browser.resize(600, 400);
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    QTRY_COMPARE(browser.columnModel(0)->rowCount(), 2);
    browser.selectItem(urlOf(root + "/m.txt"));
    QTRY_COMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(root + "/m.txt")});
    browser.beginRename();
    auto *editor = browser.findChild<QLineEdit *>();
    QVERIFY(editor);
    QCOMPARE(editor->selectedText(), QStringLiteral("m.txt"));

    makeTree(root, {"a1.txt", "a2.txt"});
    DirectoryListingCache::refresh(urlOf(root));
    QTRY_COMPARE(namesIn(browser.columnModel(0)), (QStringList{"a1.txt", "a2.txt", "m.txt", "z.txt"}));
    QVERIFY(editor->isVisible());

    editor->setText(QStringLiteral("renamed.txt"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(tw::test::entriesOf(root), (QStringList{"a1.txt", "a2.txt", "renamed.txt", "z.txt"}));
    QTRY_COMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(root + "/renamed.txt")});
}

void ColumnBrowserTest::typeAheadSelectsByNaturalOrder_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("selected");
    QTest::newRow("numbers by value") << "file 1" << "File 10";
    QTest::newRow("case ignored") << "APP" << "apple";
    QTest::newRow("accented") << "RÉS" << "résumé.txt";
    QTest::newRow("nothing starts so") << "q" << "";
}

void ColumnBrowserTest::typeAheadSelectsByNaturalOrder()
{
    QFETCH(QString, typed);
    QFETCH(QString, selected);
    tw::test::TemporaryFolder temporary;
    makeTree(temporary.path(), {"File 9", "File 10", "apple", "résumé.txt", "zebra"});
    ColumnBrowserViewController browser(urlOf(temporary.path()));
    QTRY_COMPARE(browser.columnModel(0)->rowCount(), 5);
    browser.browser()->column(0)->keyboardSearch(typed);
    const QList<QUrl> expected = selected.isEmpty() ? QList<QUrl>{} : QList<QUrl>{urlOf(temporary.path() + '/' + selected)};
    QCOMPARE(browser.selectedURLs(), expected);
}

void ColumnBrowserTest::changesOnDiskArriveAsRowsKeepingSelection()
{
    tw::test::TemporaryFolder temporary;
    const QString root = temporary.path();
    makeTree(root, {"keep.txt", "old.txt"});
    ColumnBrowserViewController browser(urlOf(root));
    QTRY_COMPARE(browser.columnModel(0)->rowCount(), 2);
    QAbstractItemModelTester tester(browser.columnModel(0), QAbstractItemModelTester::FailureReportingMode::QtTest);
    browser.selectItem(urlOf(root + "/keep.txt"));
    QTRY_COMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(root + "/keep.txt")});

    makeTree(root, {"a-new.txt"});
    QVERIFY(QFile::remove(root + "/old.txt"));
    QTRY_COMPARE_WITH_TIMEOUT(namesIn(browser.columnModel(0)), (QStringList{"a-new.txt", "keep.txt"}), 10000);
    QCOMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(root + "/keep.txt")});
}

void ColumnBrowserTest::rightClickActsOnTheItemAlone()
{
    tw::test::TemporaryFolder temporary;
    const QString root = temporary.path();
    makeTree(root, {"a.txt", "b.txt", "c.txt"});
    ColumnBrowserViewController browser(urlOf(root));
    QTRY_COMPARE(browser.columnModel(0)->rowCount(), 3);
    browser.browser()->column(0)->selectAll();
    QCOMPARE(browser.selectedURLs().size(), 3);

    QList<FileItem> announced;
    browser.onSelectionChange = [&](const FileItem &item) { announced << item; };
    std::unique_ptr<QMenu> menu(browser.contextMenu(1, 0));
    QVERIFY(menu);
    QCOMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(root + "/b.txt")});
    QCOMPARE(announced, QList<FileItem>{FileItem(urlOf(root + "/b.txt"))});
    QVERIFY(!browser.browser()->menuAt(0, QPoint(5, 2000)));

    bool changed = false;
    browser.onFileSystemChange = [&] { changed = true; };
    const QList<QAction *> actions = menu->actions();
    const auto duplicate = std::find_if(actions.cbegin(), actions.cend(), [](QAction *action) { return action->text() == "Duplicate"; });
    QVERIFY(duplicate != actions.cend());
    (*duplicate)->trigger();
    QTRY_VERIFY(changed);
    QTRY_COMPARE(browser.columnModel(0)->rowCount(), 4);
    QCOMPARE(tw::test::entriesOf(root).size(), 4);
}

void ColumnBrowserTest::dropsGoIntoFolderRowsAndNeverIntoThemselves_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("column"); // 1: the column that lists box
    QTest::addColumn<QString>("targetRow"); // empty: the column below its rows
    QTest::addColumn<bool>("isTaken");
    QTest::addColumn<QStringList>("entriesAfter");

    const QStringList untouched{"a.txt", "box", "box/inner.txt"};
    QTest::newRow("file onto a folder row moves into it") << "a.txt" << 0 << "box" << true << QStringList{"box", "box/a.txt", "box/inner.txt"};
    QTest::newRow("folder onto itself is refused") << "box" << 0 << "box" << false << untouched;
    QTest::newRow("move into its own folder changes nothing") << "a.txt" << 0 << "" << false << untouched;
    QTest::newRow("folder into its own column is refused") << "box" << 1 << "" << false << untouched;
}

void ColumnBrowserTest::dropsGoIntoFolderRowsAndNeverIntoThemselves()
{
    QFETCH(QString, source);
    QFETCH(int, column);
    QFETCH(QString, targetRow);
    QFETCH(bool, isTaken);
    QFETCH(QStringList, entriesAfter);
    tw::test::TemporaryFolder temporary;
    const QString root = temporary.path();
    makeTree(root, {"a.txt", "box/inner.txt"});
    ColumnBrowserViewController browser(urlOf(root));
    browser.resize(600, 400);
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    QTRY_COMPARE(browser.columnModel(0)->rowCount(), 2);

    if (column == 1) {
        browser.selectItem(urlOf(root + "/box"));
        QTRY_COMPARE(browser.columnFolders().size(), 2);
    }
    BrowserColumnView *view = browser.browser()->column(column);
    const int row = targetRow.isEmpty() ? -1 : browser.columnModel(column)->rowOf(urlOf(root + '/' + targetRow));
    const QPoint where = row < 0 ? QPoint(20, view->viewport()->height() - 5) : view->visualRect(view->model()->index(row, 0)).center();
    std::unique_ptr<QMimeData> data(FilePasteboard::mimeData({urlOf(root + '/' + source)}));
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(where, actions, data.get(), Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    QDragMoveEvent move(where, actions, data.get(), Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(view->viewport(), &move);
    QCOMPARE(move.isAccepted(), isTaken);
    QDropEvent drop(where, actions, data.get(), Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(view->viewport(), &drop);
    QCOMPARE(drop.isAccepted(), isTaken);

    const auto entries = [&root] {
        QStringList found;
        for (const QString &name : tw::test::entriesOf(root)) {
            found << name;
            if (QFileInfo(root + '/' + name).isDir()) {
                for (const QString &inner : tw::test::entriesOf(root + '/' + name))
                    found << name + '/' + inner;
            }
        }
        return found;
    };
    // A drop that is taken runs as a file job: its items land a moment later.
    QTRY_COMPARE_WITH_TIMEOUT(entries(), entriesAfter, 5'000);
}

void ColumnBrowserTest::thumbnailsOnlyForRowsOnScreen()
{
    tw::test::TemporaryFolder temporary;
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(Qt::red);
    for (int i = 0; i < 80; ++i)
        QVERIFY(image.save(QStringLiteral("%1/image %2.png").arg(temporary.path()).arg(i, 2, 10, QLatin1Char('0'))));
    const int renderedBefore = ThumbnailLoader::renderedCount();
    ColumnBrowserViewController browser(urlOf(temporary.path()));
    browser.resize(400, 300);
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    SortedFolderModel *model = browser.columnModel(0);
    QTRY_COMPARE(model->rowCount(), 80);
    BrowserColumnView *view = browser.browser()->column(0);
    QTRY_VERIFY(!view->thumbnailFor(model->itemAt(0)).isNull());
    QTest::qWait(100);
    const int rendered = ThumbnailLoader::renderedCount() - renderedBefore;
    QVERIFY2(rendered > 0 && rendered < 30, qPrintable(QString::number(rendered)));

    view->scrollToBottom();
    QTRY_VERIFY(!view->thumbnailFor(model->itemAt(79)).isNull());
    QVERIFY(view->thumbnailFor(model->itemAt(0)).isNull());
}

void ColumnBrowserTest::searchResultsAreOneColumnOfLeaves()
{
    tw::test::TemporaryFolder temporary;
    const QString root = temporary.path();
    makeTree(root, {"deep/found folder/inside.txt", "elsewhere/Found.txt", "top.txt"});
    // Beside a search field, as in a window.
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLineEdit(&window));
    ColumnBrowserViewController browser(urlOf(root));
    layout->addWidget(&browser);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTRY_COMPARE(browser.columnModel(0)->rowCount(), 3);
    browser.browser()->column(0)->setFocus();
    QList<QUrl> opened;
    ColumnBrowserViewController::setFileOpener([&](const QUrl &url) { opened << url; });

    // As a search hands them over: read on its own threads.
    const auto found = [&](const QString &relative) {
        const QUrl url = urlOf(root + '/' + relative);
        return FileItem(url, FileAttributes::read(url));
    };
    browser.showSearchResults({found("elsewhere/Found.txt"), found("deep/found folder")});
    QCOMPARE(browser.columnFolders(), QList<QUrl>{QUrl()});
    QCOMPARE(namesIn(browser.columnModel(0)), (QStringList{"found folder", "Found.txt"}));
    QCOMPARE(browser.currentDirectoryURL(), urlOf(root));
    // The results' column takes the focus the folder's column had.
    QVERIFY(browser.browser()->column(0)->hasFocus());

    BrowserColumnView *view = browser.browser()->column(0);
    view->selectionModel()->setCurrentIndex(view->model()->index(0, 0), QItemSelectionModel::ClearAndSelect);
    QTest::qWait(20);
    QCOMPARE(browser.columnFolders().size(), 1);
    QCOMPARE(browser.currentDirectoryURL(), urlOf(root + "/deep/found folder"));
    // Opening a folder is selecting it; a file opens with its application.
    Q_EMIT browser.browser()->columnDoubleClicked(0, view->model()->index(0, 0));
    Q_EMIT browser.browser()->columnDoubleClicked(0, view->model()->index(1, 0));
    QCOMPARE(opened, QList<QUrl>{urlOf(root + "/elsewhere/Found.txt")});

    browser.clearSearchResults();
    QTRY_COMPARE(namesIn(browser.columnModel(0)), (QStringList{"deep", "elsewhere", "top.txt"}));
    QCOMPARE(browser.columnFolders(), QList<QUrl>{urlOf(root)});
    QVERIFY(browser.browser()->column(0)->hasFocus());
}

void ColumnBrowserTest::arrowKeysMoveBetweenColumns()
{
    tw::test::TemporaryFolder temporary;
    const QString root = temporary.path();
    makeTree(root, {"p/f.txt", "p/g.txt", "z.txt"});
    ColumnBrowserViewController browser(urlOf(root));
    browser.selectItem(urlOf(root + "/p/g.txt"));
    QTRY_COMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(root + "/p/g.txt")});

    QTest::keyClick(browser.browser()->column(1), Qt::Key_Left);
    QCOMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(root + "/p")});
    QCOMPARE(browser.currentDirectoryURL(), urlOf(root + "/p"));
    QCOMPARE(browser.columnFolders().size(), 2);
    QTest::keyClick(browser.browser()->column(0), Qt::Key_Right);
    QCOMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(root + "/p/f.txt")});
    QTest::keyClick(browser.browser()->column(1), Qt::Key_Down);
    QCOMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(root + "/p/g.txt")});
    QCOMPARE(browser.lastSelectedItem(), std::optional<FileItem>(FileItem(urlOf(root + "/p/g.txt"))));
}

void ColumnBrowserTest::oddNamesAreShownAndDrawn()
{
    tw::test::TemporaryFolder temporary;
    const QString root = temporary.path();
    const QByteArray notUtf8 = QFile::encodeName(root) + "/latin1-caf\xe9";
    QVERIFY(::mkdir(notUtf8.constData(), 0755) == 0);
    makeTree(root, {QString(251, QLatin1Char('n')) + ".txt", "line\nbreak.txt", QStringLiteral("photo\u202Egpj.exe"), "vanishing.png"});
    QVERIFY(QFile::link(root + "/nowhere", root + "/dangling"));
    ColumnBrowserViewController browser(urlOf(root));
    browser.resize(600, 400);
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    QTRY_COMPARE(browser.columnModel(0)->rowCount(), 6);
    // A folder whose name is not UTF-8 opens in the next column.
    const QUrl oddFolder = browser.columnModel(0)->itemAt(1).url();
    QVERIFY(browser.columnModel(0)->itemAt(1).name().startsWith(QLatin1String("latin1-caf")));
    browser.selectItem(oddFolder);
    QTRY_COMPARE(browser.columnFolders(), (QList<QUrl>{urlOf(root), oddFolder}));
    // Gone before the folder's change arrives: drawn from what the listing read.
    QVERIFY(QFile::remove(root + "/vanishing.png"));
    QVERIFY(!browser.browser()->column(0)->viewport()->grab().isNull());
    browser.browser()->column(0)->keyboardSearch("line");
    QCOMPARE(browser.selectedURLs(), QList<QUrl>{urlOf(root + "/line\nbreak.txt")});
    QTRY_COMPARE_WITH_TIMEOUT(browser.columnModel(0)->rowCount(), 5, 5000);
}

TW_GUI_TEST_MAIN(ColumnBrowserTest)
#include "tst_ColumnBrowser.moc"
