#include "TestHome.h"

#include "FSColumnView/BrowserColumnView.h"
#include "FSColumnView/ColumnBrowserViewController.h"
#include "FSColumnView/ContextMenuBrowser.h"
#include "FSCore/MetadataQuery.h"
#include "FSIconView/ContextMenuCollectionView.h"
#include "FSIconView/IconViewController.h"
#include "FSListView/ListViewController.h"
#include "FSListView/ListViewModel.h"
#include "FSPlatform/PathCodec.h"
#include "FSQuickLook/PreviewPanel.h"
#include "FSSidebar/SidebarOutlineView.h"
#include "FSSidebar/SidebarViewController.h"
#include "FSUIKit/SelectionProviding.h"
#include "FSUIKit/SortedFolderModel.h"
#include "FSWindow/MainToolbarView.h"
#include "FSWindow/MainWindowController.h"
#include "FSWindow/StatusBarView.h"
#include "FSWindow/ViewModePreferenceStore.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>

namespace {

QUrl urlOf(const QString &path)
{
    return PathCodec::urlForPath(path);
}

QStringList namesIn(const QList<FileItem> &items)
{
    QStringList names;
    for (const FileItem &item : items)
        names << item.name();
    names.sort(Qt::CaseInsensitive);
    return names;
}

QStringList shownNames(SelectionProviding *browser)
{
    return namesIn(browser->currentSortedItems());
}

QList<SelectionProviding *> allBrowsers(MainWindowController &window)
{
    return {window.columnView(), window.listView(), window.iconView()};
}

QWidget *itemView(MainWindowController &window, ViewMode mode)
{
    switch (mode) {
    case ViewMode::icon:
        return window.iconView()->collectionView();
    case ViewMode::list:
        return window.listView()->outlineView();
    case ViewMode::column:
        break;
    }
    return window.columnView()->browser()->column(0);
}

// The folder a window is to open on, in `mode`.
QUrl openingIn(const QString &folder, ViewMode mode)
{
    ViewModePreferenceStore::saveViewMode(mode);
    return urlOf(folder);
}

// A window on `folder`, shown and active.
struct ActiveWindow
{
    explicit ActiveWindow(const QString &folder, ViewMode mode)
        : window(openingIn(folder, mode))
    {
        window.showWindow();
        window.activateWindow();
    }
    bool isReady() { return QTest::qWaitForWindowActive(&window); }
    QLineEdit *searchField() { return window.toolbarView()->searchField(); }
    void emptySearchField()
    {
        QTest::keyClick(searchField(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(searchField(), Qt::Key_Backspace);
    }

    MainWindowController window;
};

void addViewModeRows()
{
    QTest::addColumn<ViewMode>("mode");
    QTest::newRow("icon") << ViewMode::icon;
    QTest::newRow("list") << ViewMode::list;
    QTest::newRow("column") << ViewMode::column;
}

// Types `text` key by key; letters beyond ASCII come as the keys that make them.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(c.toUpper().unicode()), QString(c), Qt::NoModifier);
    }
}

void clickItem(MainWindowController &window, ViewMode mode, const QUrl &url)
{
    auto *view = static_cast<QAbstractItemView *>(itemView(window, mode));
    QModelIndex index;
    if (mode == ViewMode::list)
        index = window.listView()->model()->indexOf(url);
    else if (mode == ViewMode::icon)
        index = window.iconView()->model()->indexOf(url);
    else
        index = window.columnView()->columnModel(0)->indexOf(url);
    QVERIFY(index.isValid());
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

} // namespace

class WindowSearchAndQuickLookTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void eachLetterSearchesAgainAndOnlyTheLastDelivers();
    void resultsReachEveryBrowserUntilTheFieldIsEmptied_data();
    void resultsReachEveryBrowserUntilTheFieldIsEmptied();
    void aSearchPastTheWatchLimitSaysSo();
    void spaceWorksThePanelOnlyFromABrowser();
    void arrowsStepThroughTheShownItems_data();
    void arrowsStepThroughTheShownItems();
    void anOpenPanelFollowsTheListAndTheSelection();
    void oneWindowOwnsThePanelAtATime();
};

void WindowSearchAndQuickLookTest::init()
{
    ViewModePreferenceStore::saveViewMode(ViewMode::list);
}

void WindowSearchAndQuickLookTest::cleanup()
{
    PreviewPanel::shared()->hide();
}

void WindowSearchAndQuickLookTest::eachLetterSearchesAgainAndOnlyTheLastDelivers()
{
    QTemporaryDir dir;
    for (const char *name : {"read.txt", "sub/report.txt", "sub/deeper/Reporter.md", "other.txt"})
        QVERIFY(tw::test::writeFile(dir.filePath(QLatin1String(name))));
    ActiveWindow shown(dir.path(), ViewMode::list);
    QVERIFY(shown.isReady());
    MainWindowController &window = shown.window;
    window.iconView();
    QStringList inserted;
    const auto record = [&inserted](auto *model, auto itemAt) {
        QObject::connect(model, &QAbstractItemModel::rowsInserted, model,
                         [&inserted, model, itemAt](const QModelIndex &parent, int first, int last) {
                             for (int row = first; row <= last; ++row)
                                 inserted << itemAt(model, model->index(row, 0, parent)).name();
                         });
    };
    record(window.listView()->model(), [](ListViewModel *model, const QModelIndex &index) { return model->itemAt(index); });
    record(window.iconView()->model(),
           [](SortedFolderModel *model, const QModelIndex &index) { return model->itemAt(index); });
    QTRY_COMPARE(shownNames(window.activeBrowser()).size(), 3);
    inserted.clear();

    shown.searchField()->setFocus();
    for (const QString &typed : {QStringLiteral("r"), QStringLiteral("re"), QStringLiteral("rep")}) {
        QTest::keyClick(shown.searchField(), typed.back().toLatin1());
        // No pause between keys: each one starts its own search at once.
        QCOMPARE(window.searchQuery()->searchText(), typed);
        QCOMPARE(window.searchQuery()->searchScope(), urlOf(dir.path()));
    }
    const QStringList found{QStringLiteral("report.txt"), QStringLiteral("Reporter.md")};
    QTRY_COMPARE(shownNames(window.listView()), found);
    QTRY_VERIFY(!window.searchQuery()->isGathering());
    QCOMPARE(shownNames(window.iconView()), found);
    // Nothing of the searches before reached a browser.
    inserted.sort(Qt::CaseInsensitive);
    QCOMPARE(inserted, (QStringList{"report.txt", "report.txt", "Reporter.md", "Reporter.md"}));
}

void WindowSearchAndQuickLookTest::resultsReachEveryBrowserUntilTheFieldIsEmptied_data()
{
    addViewModeRows();
}

// The browsers of the other modes are made only when first shown, during the search.
void WindowSearchAndQuickLookTest::resultsReachEveryBrowserUntilTheFieldIsEmptied()
{
    QFETCH(ViewMode, mode);
    QTemporaryDir dir;
    for (const char *name : {"sub/Resume.txt", "sub/notes.txt", "top.txt", "sub/.résumé-hidden.txt"})
        QVERIFY(tw::test::writeFile(dir.filePath(QLatin1String(name))));
    ActiveWindow shown(dir.path(), mode);
    QVERIFY(shown.isReady());
    MainWindowController &window = shown.window;
    QTRY_COMPARE(shownNames(window.activeBrowser()), (QStringList{"sub", "top.txt"}));

    // The status line counts what is shown: the results, not the folder,
    // even when the folder changes meanwhile.
    const auto count = [&window] {
        return window.statusBarView()->label()->text().section(QStringLiteral(" — "), 1, 1).section(QLatin1Char(','), 0, 0);
    };
    QTRY_COMPARE(count(), QStringLiteral("2 items"));
    shown.searchField()->setFocus();
    typeText(shown.searchField(), QStringLiteral("résumé"));
    QTRY_COMPARE(shownNames(window.activeBrowser()), QStringList{"Resume.txt"});
    QTRY_COMPARE(count(), QStringLiteral("1 item"));
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("top 2.txt"))));
    QTest::qWait(1500);
    QCOMPARE(count(), QStringLiteral("1 item"));
    for (const ViewMode other : {ViewMode::icon, ViewMode::list, ViewMode::column}) {
        window.viewModeChanged(ViewModes::rawValue(other));
        QCOMPARE(shownNames(window.activeBrowser()), QStringList{"Resume.txt"});
    }

    // Live: made below the searched folder, gone from it.
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("sub/new/RÉSUMÉ 2.txt"))));
    for (SelectionProviding *browser : allBrowsers(window))
        QTRY_COMPARE(shownNames(browser), (QStringList{"Resume.txt", "RÉSUMÉ 2.txt"}));
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("sub/Resume.txt"))));
    for (SelectionProviding *browser : allBrowsers(window))
        QTRY_COMPARE(shownNames(browser), QStringList{"RÉSUMÉ 2.txt"});

    // Going elsewhere keeps the search where it was made, and its results.
    window.navigate(urlOf(dir.filePath(QStringLiteral("sub"))), true);
    QCOMPARE(window.searchQuery()->searchScope(), urlOf(dir.path()));
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("Résumé top.txt"))));
    for (SelectionProviding *browser : allBrowsers(window))
        QTRY_COMPARE(shownNames(browser), (QStringList{"RÉSUMÉ 2.txt", "Résumé top.txt"}));

    QCOMPARE(count(), QStringLiteral("2 items"));

    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("sub/notes.txt"))));
    shown.emptySearchField();
    QVERIFY(!window.searchQuery()->isStarted());
    for (SelectionProviding *browser : allBrowsers(window))
        QTRY_COMPARE(shownNames(browser), QStringList{"new"});
    QTRY_COMPARE(count(), QStringLiteral("1 item"));
}

void WindowSearchAndQuickLookTest::aSearchPastTheWatchLimitSaysSo()
{
    QTemporaryDir dir;
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("a/b/match.txt"))));
    ActiveWindow shown(dir.path(), ViewMode::list);
    QVERIFY(shown.isReady());
    const int limit = MetadataQuery::watchLimit();
    MetadataQuery::setWatchLimit(1);
    QTest::keyClicks(shown.searchField(), QStringLiteral("match"));
    QLabel *status = shown.window.statusBarView()->label();
    QTRY_VERIFY(shown.window.searchQuery()->isLiveUpdateLimited());
    QTRY_VERIFY2(status->text().contains(QStringLiteral("search again")), qPrintable(status->text()));
    MetadataQuery::setWatchLimit(limit);
    // The next search walks again and watches every folder.
    QTest::keyClick(shown.searchField(), Qt::Key_Backspace);
    QTRY_VERIFY(shown.window.searchQuery()->isWatchingAll() && !shown.window.searchQuery()->isGathering());
    QVERIFY(!shown.window.searchQuery()->isLiveUpdateLimited());
    QVERIFY2(!status->text().contains(QStringLiteral("search again")), qPrintable(status->text()));
    QCOMPARE(shownNames(shown.window.activeBrowser()), QStringList{"match.txt"});
}

void WindowSearchAndQuickLookTest::spaceWorksThePanelOnlyFromABrowser()
{
    QTemporaryDir dir;
    for (const char *name : {"a.txt", "b.txt"})
        QVERIFY(tw::test::writeFile(dir.filePath(QLatin1String(name)), name));
    ActiveWindow shown(dir.path(), ViewMode::list);
    QVERIFY(shown.isReady());
    MainWindowController &window = shown.window;
    PreviewPanel *panel = PreviewPanel::shared();
    QAction menuItem;
    menuItem.setProperty("menuAction", QByteArray("toggleQuickLook"));
    QTRY_COMPARE(shownNames(window.activeBrowser()).size(), 2);
    QVERIFY(!window.validateMenuItem(&menuItem));

    const QUrl b = urlOf(dir.filePath(QStringLiteral("b.txt")));
    clickItem(window, ViewMode::list, b);
    QVERIFY(window.validateMenuItem(&menuItem));
    QWidget *outline = window.listView()->outlineView();
    QTest::keyClick(outline, Qt::Key_Space);
    QVERIFY(window.isQuickLookVisible());
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->currentURL(), b);
    QTRY_COMPARE(panel->shownContent().text, QStringLiteral("b.txt"));
    QTest::keyClick(outline, Qt::Key_Space);
    QVERIFY(!window.isQuickLookVisible());
    QVERIFY(!panel->isVisible());

    for (const Qt::KeyboardModifier held : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
        QTest::keyClick(outline, Qt::Key_Space, held);
        QVERIFY(!panel->isVisible());
    }

    // In the search field and in a rename, space is a space.
    shown.searchField()->setFocus();
    QTest::keyClick(shown.searchField(), Qt::Key_Space);
    QCOMPARE(shown.searchField()->text(), QStringLiteral(" "));
    QVERIFY(!panel->isVisible());
    shown.emptySearchField();
    QTRY_COMPARE(shownNames(window.activeBrowser()).size(), 2);
    // The offscreen platform gives the shown panel the keys; a desktop leaves them.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.activeBrowser()->selectItem(b);
    window.renameSelection();
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_End);
    QTest::keyClick(editor, Qt::Key_Space);
    QCOMPARE(editor->text(), QStringLiteral("b.txt "));
    QVERIFY(!panel->isVisible());
    QTest::keyClick(editor, Qt::Key_Escape);
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("b.txt"))));

    // Nor does it act from the sidebar.
    window.sidebar()->outlineView()->setFocus();
    QTest::keyClick(window.sidebar()->outlineView(), Qt::Key_Space);
    QVERIFY(!panel->isVisible());
}

void WindowSearchAndQuickLookTest::arrowsStepThroughTheShownItems_data()
{
    addViewModeRows();
}

void WindowSearchAndQuickLookTest::arrowsStepThroughTheShownItems()
{
    QFETCH(ViewMode, mode);
    QTemporaryDir dir;
    ActiveWindow shown(dir.path(), mode);
    QVERIFY(shown.isReady());
    MainWindowController &window = shown.window;
    const int perRow = mode == ViewMode::icon ? window.iconView()->itemsPerRow() : 4;
    QVERIFY(perRow >= 3);
    const int step = mode == ViewMode::icon ? perRow : 1;
    // A row and two more.
    const int count = perRow + 2;
    for (int index = 0; index < count; ++index)
        QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("file %1.txt").arg(index, 2, 10, QLatin1Char('0')))));
    window.refreshAllViews();
    QTRY_COMPARE(window.activeBrowser()->currentSortedItems().size(), count);
    const FileItemList items = window.activeBrowser()->currentSortedItems();
    PreviewPanel *panel = PreviewPanel::shared();

    clickItem(window, mode, items.at(0).url());
    QWidget *view = QApplication::focusWidget();
    QVERIFY(view && window.browserHasFocus());
    QTest::keyClick(view, Qt::Key_Space);
    QVERIFY(window.isQuickLookVisible());
    QCOMPARE(panel->currentPreviewItemIndex(), 0);

    int expected = 0;
    for (int down = 0; down < 3; ++down) {
        // Stopping at the last item.
        expected = std::min(expected + step, count - 1);
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(panel->currentPreviewItemIndex(), expected);
        QCOMPARE(panel->currentURL(), items.at(expected).url());
        QCOMPARE(window.activeBrowser()->selectedURLs(), QList<QUrl>{items.at(expected).url()});
    }
    QTest::keyClick(view, Qt::Key_Up);
    QCOMPARE(panel->currentPreviewItemIndex(), expected - step);
    QCOMPARE(window.activeBrowser()->selectedURLs(), QList<QUrl>{items.at(expected - step).url()});

    // The panel follows a choice made in the browser.
    clickItem(window, mode, items.at(1).url());
    QTRY_COMPARE(panel->currentURL(), items.at(1).url());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QCOMPARE(panel->currentPreviewItemIndex(), 0);
    QCOMPARE(window.activeBrowser()->selectedURLs(), QList<QUrl>{items.at(0).url()});
}

void WindowSearchAndQuickLookTest::anOpenPanelFollowsTheListAndTheSelection()
{
    QTemporaryDir dir;
    for (const char *name : {"a.txt", "b.txt", "c.txt", "inner/b-notes.txt"})
        QVERIFY(tw::test::writeFile(dir.filePath(QLatin1String(name)), name));
    ActiveWindow shown(dir.path(), ViewMode::list);
    QVERIFY(shown.isReady());
    MainWindowController &window = shown.window;
    PreviewPanel *panel = PreviewPanel::shared();
    QTRY_COMPARE(shownNames(window.activeBrowser()).size(), 4);
    const QUrl b = urlOf(dir.filePath(QStringLiteral("b.txt")));
    clickItem(window, ViewMode::list, b);
    window.toggleQuickLook();
    QCOMPARE(panel->currentPreviewItemIndex(), 1);

    // An item comes in before the shown one: the panel stays on it, at its new place.
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("a2.txt"))));
    QTRY_COMPARE(panel->itemCount(), 5);
    QCOMPARE(panel->currentURL(), b);
    QCOMPARE(panel->currentPreviewItemIndex(), 2);
    QTest::keyClick(window.listView()->outlineView(), Qt::Key_Down);
    QCOMPARE(panel->currentURL(), urlOf(dir.filePath(QStringLiteral("c.txt"))));

    // Search results take the folder's place under the panel.
    window.toolbarView()->searchField()->setText(QStringLiteral("b"));
    QTRY_COMPARE(panel->itemCount(), 2);
    const QUrl notes = urlOf(dir.filePath(QStringLiteral("inner/b-notes.txt")));
    clickItem(window, ViewMode::list, notes);
    QTRY_COMPARE(panel->currentURL(), notes);
    window.viewModeChanged(ViewModes::rawValue(ViewMode::column));
    clickItem(window, ViewMode::column, notes);
    QTRY_COMPARE(panel->currentURL(), notes);
    QCOMPARE(panel->itemCount(), 2);

    // A folder chosen in the column view is previewed itself, not what it holds.
    window.toolbarView()->searchField()->clear();
    const QUrl inner = urlOf(dir.filePath(QStringLiteral("inner")));
    QTRY_VERIFY(window.columnView()->columnModel(0)->indexOf(inner).isValid());
    clickItem(window, ViewMode::column, inner);
    QTRY_COMPARE(panel->currentURL(), inner);
    QCOMPARE(panel->itemCount(), 5);
    window.toggleQuickLook();
}

void WindowSearchAndQuickLookTest::oneWindowOwnsThePanelAtATime()
{
    QTemporaryDir dir;
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("a.txt"))));
    PreviewPanel *panel = PreviewPanel::shared();
    MainWindowController first(urlOf(dir.path()));
    auto *second = new MainWindowController(urlOf(dir.path()));
    first.toggleQuickLook();
    QVERIFY(first.isQuickLookVisible());
    QCOMPARE(panel->owner(), static_cast<QObject *>(&first));

    second->toggleQuickLook();
    QCOMPARE(panel->owner(), static_cast<QObject *>(second));
    QVERIFY(second->isQuickLookVisible());
    QVERIFY(!first.isQuickLookVisible());
    QVERIFY(panel->isVisible());
    // The first window takes it back with one press, not two.
    first.toggleQuickLook();
    QCOMPARE(panel->owner(), static_cast<QObject *>(&first));
    QVERIFY(!second->isQuickLookVisible());

    // Closed by its own control, then the owner goes: nothing is left pointing at it.
    panel->close();
    QVERIFY(!first.isQuickLookVisible());
    second->toggleQuickLook();
    delete second;
    QVERIFY(!panel->isVisible());
    QVERIFY(!panel->dataSource());
    first.toggleQuickLook();
    QCOMPARE(panel->dataSource(), static_cast<PreviewPanelDataSource *>(&first));
}

TW_GUI_TEST_MAIN(WindowSearchAndQuickLookTest)
#include "tst_WindowSearchAndQuickLook.moc"
