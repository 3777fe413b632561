#include "TestHome.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSIconView/ContextMenuCollectionView.h"
#include "FSIconView/IconCollectionViewItem.h"
#include "FSIconView/IconViewController.h"
#include "FSQuickLook/ThumbnailLoader.h"
#include "FSUIKit/FilePasteboard.h"
#include "FSUIKit/SortedFolderModel.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>

#include <cstdio>

namespace {

QUrl urlOf(const QString &path)
{
    return QUrl::fromLocalFile(path);
}

// A shown icon view on `folder`, its listing loaded.
std::unique_ptr<IconViewController> openView(const QString &folder, QSize size = {800, 600})
{
    DirectoryListingCache::invalidateAll();
    auto view = std::make_unique<IconViewController>(urlOf(folder));
    view->resize(size);
    view->show();
    if (!QTest::qWaitFor([&] { return !view->model()->isLoading() && view->model()->folder() == urlOf(folder); }))
        return {};
    QApplication::processEvents();
    return view;
}

QStringList namesOf(const IconViewController &view)
{
    QStringList names;
    for (const FileItem &item : view.currentSortedItems())
        names.append(item.name());
    return names;
}

} // namespace

class IconViewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void itemsPerRowIsWhatTheGridShows_data();
    void itemsPerRowIsWhatTheGridShows();
    void renameGoesToTheEditedItemAfterRowsMoved();
    void listingOfAnEarlierRootIsDropped();
    void dropLandsOnFoldersOrTheShownFolderOnly_data();
    void dropLandsOnFoldersOrTheShownFolderOnly();
    void thumbnailsAreMadeOnlyForItemsOnScreen();
    void typingSelectsByNaturalOrder_data();
    void typingSelectsByNaturalOrder();
    void contextMenuSelectsAndActsOnTheClickedItemOnly();
    void oddNamesAreShownAndDrawn();
    void shownFolderGoingAwaySaysSo_data();
    void shownFolderGoingAwaySaysSo();
};

void IconViewTest::itemsPerRowIsWhatTheGridShows_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<TextSize>("size");
    QTest::addColumn<int>("expected");
    QTest::newRow("300 small") << 300 << TextSize::small << 3;
    QTest::newRow("291 small") << 291 << TextSize::small << 2;
    QTest::newRow("narrower than one item") << 60 << TextSize::small << 1;
    QTest::newRow("1200 medium") << 1200 << TextSize::medium << 10;
    QTest::newRow("700 large") << 700 << TextSize::large << 4;
}

void IconViewTest::itemsPerRowIsWhatTheGridShows()
{
    QFETCH(int, width);
    QFETCH(TextSize, size);
    QFETCH(int, expected);
    tw::test::TemporaryFolder dir;
    for (int i = 0; i < 24; ++i)
        QVERIFY(tw::test::writeFile(dir.path() + QStringLiteral("/file %1").arg(i)));
    const auto view = openView(dir.path(), {800, 4000});
    QVERIFY(view);
    view->applyTextSize(size);
    ContextMenuCollectionView *grid = view->collectionView();
    // The grid is the view without its scroll bar.
    view->resize(width + view->width() - grid->viewport()->width() - 15, 4000);
    QApplication::processEvents();
    QCOMPARE(view->itemsPerRow(), expected);

    grid->doItemsLayout();
    const int top = grid->visualRect(view->model()->index(0, 0)).top();
    int inFirstRow = 0;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        inFirstRow += grid->visualRect(view->model()->index(row, 0)).top() == top ? 1 : 0;
    QCOMPARE(inFirstRow, expected);
}

void IconViewTest::renameGoesToTheEditedItemAfterRowsMoved()
{
    tw::test::TemporaryFolder dir;
    for (const char *name : {"b", "c", "d"})
        QVERIFY(tw::test::writeFile(dir.path() + '/' + name, name));
    const auto view = openView(dir.path());
    QVERIFY(view);
    view->selectItem(urlOf(dir.path() + "/c"));
    view->beginRename();
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    QCOMPARE(editor->selectedText(), QStringLiteral("c"));

    // New files sort before the edited one while its editor is open.
    QVERIFY(tw::test::writeFile(dir.path() + "/a1"));
    QVERIFY(tw::test::writeFile(dir.path() + "/a2"));
    DirectoryListingCache::refresh(urlOf(dir.path()), {"a1", "a2"});
    QVERIFY(QTest::qWaitFor([&] { return view->model()->rowCount() == 5; }));
    QVERIFY(QApplication::focusWidget() == editor);

    editor->setText("renamed");
    QTest::keyClick(editor, Qt::Key_Return);
    QVERIFY(QTest::qWaitFor([&] { return namesOf(*view).contains("renamed"); }));
    QCOMPARE(tw::test::entriesOf(dir.path()), (QStringList{"a1", "a2", "b", "d", "renamed"}));
    QFile renamed(dir.path() + "/renamed");
    QVERIFY(renamed.open(QIODevice::ReadOnly));
    QCOMPARE(renamed.readAll(), QByteArray("c"));
}

void IconViewTest::listingOfAnEarlierRootIsDropped()
{
    tw::test::TemporaryFolder first;
    tw::test::TemporaryFolder second;
    for (int i = 0; i < 3000; ++i)
        QVERIFY(tw::test::writeFile(first.path() + QStringLiteral("/old %1").arg(i)));
    QVERIFY(tw::test::writeFile(second.path() + "/new"));
    const auto view = openView(second.path());
    QVERIFY(view);
    DirectoryListingCache::invalidateAll();
    view->setRoot(urlOf(first.path()));
    view->setRoot(urlOf(second.path()));
    QVERIFY(QTest::qWaitFor([&] { return !view->model()->isLoading(); }));
    QTest::qWait(300);
    QCOMPARE(namesOf(*view), QStringList{"new"});
    QCOMPARE(view->currentDirectoryURL(), urlOf(second.path()));
}

void IconViewTest::dropLandsOnFoldersOrTheShownFolderOnly_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target"); // a shown item's name, or empty for the background
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("landsIn");
    QTest::newRow("onto a folder") << "outside/letter.txt" << "Inbox" << true << "shown/Inbox";
    QTest::newRow("on the background") << "outside/letter.txt" << "" << true << "shown";
    QTest::newRow("onto a file") << "outside/letter.txt" << "notes.txt" << false << "outside";
    QTest::newRow("a folder onto itself") << "shown/Inbox" << "Inbox" << false << "shown";
    QTest::newRow("moved into its own folder") << "shown/notes.txt" << "" << false << "shown";
}

void IconViewTest::dropLandsOnFoldersOrTheShownFolderOnly()
{
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(bool, accepted);
    QFETCH(QString, landsIn);
    tw::test::TemporaryFolder dir;
    const QString root = dir.path();
    QVERIFY(QDir().mkpath(root + "/shown/Inbox"));
    QVERIFY(tw::test::writeFile(root + "/shown/notes.txt"));
    QVERIFY(tw::test::writeFile(root + "/outside/letter.txt", "dear"));
    const auto view = openView(root + "/shown");
    QVERIFY(view);
    ContextMenuCollectionView *grid = view->collectionView();
    grid->doItemsLayout();

    QPoint where = grid->viewport()->rect().bottomRight() - QPoint(10, 10);
    if (!target.isEmpty())
        where = grid->visualRect(view->model()->indexOf(urlOf(root + "/shown/" + target))).center();
    std::unique_ptr<QMimeData> data(FilePasteboard::mimeData({urlOf(root + '/' + source)}));
    // Shift moves, whatever the volumes.
    QDragEnterEvent enter(where, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::NoButton, Qt::ShiftModifier);
    QApplication::sendEvent(grid->viewport(), &enter);
    QDragMoveEvent move(where, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::NoButton, Qt::ShiftModifier);
    QApplication::sendEvent(grid->viewport(), &move);
    QCOMPARE(move.isAccepted(), accepted);
    QDropEvent drop(where, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::NoButton, Qt::ShiftModifier);
    QApplication::sendEvent(grid->viewport(), &drop);
    QCOMPARE(drop.isAccepted(), accepted);

    // A drop that is taken runs as a file job: its items land a moment later.
    const QString name = QFileInfo(source).fileName();
    QTRY_VERIFY(QFileInfo::exists(root + '/' + landsIn + '/' + name));
    if (accepted)
        QTRY_VERIFY(!QFileInfo::exists(root + '/' + source));
}

void IconViewTest::thumbnailsAreMadeOnlyForItemsOnScreen()
{
    tw::test::TemporaryFolder dir;
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    for (int i = 0; i < 300; ++i)
        QVERIFY(picture.save(dir.path() + QStringLiteral("/picture %1.png").arg(i, 3, 10, QLatin1Char('0'))));
    ThumbnailLoader::clearMemory();
    const int before = ThumbnailLoader::renderedCount();
    const auto view = openView(dir.path(), {600, 400});
    QVERIFY(view);
    const auto [first, last] = view->collectionView()->visibleRows();
    const int onScreen = last - first + 1;
    QVERIFY(onScreen > 0 && onScreen < 60);
    QVERIFY(QTest::qWaitFor([&] { return ThumbnailLoader::renderedCount() - before >= onScreen; }, 10000));
    QTest::qWait(200);
    QCOMPARE(ThumbnailLoader::renderedCount() - before, onScreen);

    // Scrolled to the end: the new rows get theirs, the rows in between never do.
    view->collectionView()->verticalScrollBar()->setValue(view->collectionView()->verticalScrollBar()->maximum());
    const auto [newFirst, newLast] = view->collectionView()->visibleRows();
    QVERIFY(newFirst > last);
    QVERIFY(QTest::qWaitFor([&, newOnScreen = newLast - newFirst + 1] {
        return ThumbnailLoader::renderedCount() - before >= onScreen + newOnScreen;
    }, 10000));
    QTest::qWait(200);
    QCOMPARE(ThumbnailLoader::renderedCount() - before, onScreen + newLast - newFirst + 1);
}

void IconViewTest::typingSelectsByNaturalOrder_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("selected");
    QTest::newRow("digits by value") << "file 1" << "File 10.txt";
    QTest::newRow("first in natural order") << "fi" << "File 9.txt";
    QTest::newRow("case and accents") << "ECOLE" << "école.txt";
    QTest::newRow("no name starts so: nothing") << "c" << "";
}

void IconViewTest::typingSelectsByNaturalOrder()
{
    QFETCH(QString, typed);
    QFETCH(QString, selected);
    tw::test::TemporaryFolder dir;
    for (const char *name : {"File 10.txt", "File 9.txt", "école.txt", "apple"})
        QVERIFY(tw::test::writeFile(dir.path() + '/' + name));
    const auto view = openView(dir.path());
    QVERIFY(view);
    view->collectionView()->setFocus();
    QTest::keyClicks(view->collectionView(), typed);
    const QList<QUrl> expected = selected.isEmpty() ? QList<QUrl>{} : QList<QUrl>{urlOf(dir.path() + '/' + selected)};
    QCOMPARE(view->selectedURLs(), expected);
}

void IconViewTest::contextMenuSelectsAndActsOnTheClickedItemOnly()
{
    tw::test::TemporaryFolder dir;
    for (const char *name : {"a", "b", "c"})
        QVERIFY(tw::test::writeFile(dir.path() + '/' + name));
    const auto view = openView(dir.path());
    QVERIFY(view);
    SortedFolderModel *model = view->model();
    QItemSelectionModel *selection = view->collectionView()->selectionModel();
    QVERIFY(!view->contextMenu({}));

    selection->select(model->index(0, 0), QItemSelectionModel::ClearAndSelect);
    selection->select(model->index(1, 0), QItemSelectionModel::Select);
    std::unique_ptr<QMenu> menu(view->contextMenu(model->index(1, 0)));
    QVERIFY(menu);
    QCOMPARE(view->selectedURLs().size(), 2);
    menu.reset(view->contextMenu(model->index(2, 0)));
    QCOMPARE(view->selectedURLs(), QList<QUrl>{urlOf(dir.path() + "/c")});

    // Three selected, one clicked: only that one goes to the Trash.
    selection->select(QItemSelection(model->index(0, 0), model->index(2, 0)), QItemSelectionModel::ClearAndSelect);
    menu.reset(view->contextMenu(model->index(1, 0)));
    QCOMPARE(view->selectedURLs().size(), 3);
    const QList<QAction *> actions = menu->actions();
    const auto trash = std::find_if(actions.begin(), actions.end(),
                                    [](QAction *action) { return action->text() == QStringLiteral("Move to Trash"); });
    QVERIFY(trash != actions.end());
    (*trash)->trigger();
    // It runs as a file job.
    QTRY_COMPARE_WITH_TIMEOUT(tw::test::entriesOf(dir.path()), (QStringList{"a", "c"}), 5'000);
    QVERIFY(QTest::qWaitFor([&] { return namesOf(*view) == QStringList{"a", "c"}; }));
}

void IconViewTest::oddNamesAreShownAndDrawn()
{
    tw::test::TemporaryFolder dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray notUtf8 = folder + "/latin1-caf\xe9.txt";
    QVERIFY(std::fclose(std::fopen(notUtf8.constData(), "w")) == 0);
    QVERIFY(tw::test::writeFile(dir.path() + '/' + QString(251, QLatin1Char('n')) + ".txt"));
    QVERIFY(tw::test::writeFile(dir.path() + "/line\nbreak.txt"));
    QVERIFY(tw::test::writeFile(dir.path() + QStringLiteral("/photo\u202Egpj.exe")));
    QVERIFY(QFile::link(dir.path() + "/nowhere", dir.path() + "/dangling"));
    QVERIFY(tw::test::writeFile(dir.path() + "/vanishing.png"));
    const auto view = openView(dir.path());
    QVERIFY(view);
    QCOMPARE(view->model()->rowCount(), 6);
    // Gone before the folder's change arrives: drawn from what the listing read.
    QVERIFY(QFile::remove(dir.path() + "/vanishing.png"));
    QVERIFY(!view->collectionView()->viewport()->grab().isNull());
    view->collectionView()->setFocus();
    QTest::keyClicks(view->collectionView(), "line");
    QCOMPARE(view->selectedURLs(), QList<QUrl>{urlOf(dir.path() + "/line\nbreak.txt")});
    QVERIFY(QTest::qWaitFor([&] { return view->model()->rowCount() == 5; }, 5000));
}

void IconViewTest::shownFolderGoingAwaySaysSo_data()
{
    QTest::addColumn<bool>("isReplacedByAFile");
    QTest::addColumn<ListingFailure>("failure");
    QTest::newRow("deleted") << false << ListingFailure::missing;
    QTest::newRow("replaced by a file") << true << ListingFailure::notAFolder;
}

void IconViewTest::shownFolderGoingAwaySaysSo()
{
    QFETCH(bool, isReplacedByAFile);
    QFETCH(ListingFailure, failure);
    tw::test::TemporaryFolder dir;
    const QString shown = dir.path() + "/Holiday";
    QVERIFY(tw::test::writeFile(shown + "/photo.jpg"));
    const auto view = openView(shown);
    QVERIFY(view);
    QCOMPARE(view->model()->rowCount(), 1);
    tw::test::removeTree(shown);
    if (isReplacedByAFile)
        QVERIFY(tw::test::writeFile(shown, "a file now"));
    const QString message = ListingFailures::localizedDescription(failure, QStringLiteral("Holiday"));
    QVERIFY(QTest::qWaitFor([&] { return view->collectionView()->placeholderText() == message; }, 5000));
    QCOMPARE(view->model()->rowCount(), 0);
}

TW_GUI_TEST_MAIN(IconViewTest)
#include "tst_IconView.moc"
