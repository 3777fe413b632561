#include "OffscreenScreen.h"
#include "TestHome.h"

#include "FSPlatform/PathCodec.h"
#include "FSUIKit/FilePasteboard.h"
#include "FSWindow/ContentContainerViewController.h"
#include "FSWindow/MainToolbarView.h"
#include "FSUIKit/SelectionProviding.h"
#include "FSWindow/MainWindowController.h"
#include "FSWindow/PreferencesWindowController.h"
#include "TidewrightApp/AppDelegate.h"
#include "TidewrightApp/MainMenu.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>

namespace {

// A browser that records the commands that reach it.
class RecordingBrowser : public QListView
{
    Q_OBJECT
public:
    int renames = 0;
    int trashings = 0;

public Q_SLOTS:
    void renameSelection() { ++renames; }
    void moveSelectionToTrash() { ++trashings; }
};

QMenu *menuTitled(MainWindowController *window, const QString &title)
{
    for (QAction *item : window->menuBar()->actions()) {
        if (item->menu() && item->menu()->title() == title)
            return item->menu();
    }
    return nullptr;
}

QMap<QByteArray, bool> enabledItemsAfterShowing(QMenu *menu)
{
    Q_EMIT menu->aboutToShow();
    QMap<QByteArray, bool> enabled;
    for (QAction *item : menu->actions()) {
        if (!item->isSeparator())
            enabled.insert(item->property("menuAction").toByteArray(), item->isEnabled());
    }
    return enabled;
}

// The item view of the browser the window shows.
QAbstractItemView *browserView(MainWindowController *window)
{
    return window->browserFor(window->currentViewMode())->findChild<QAbstractItemView *>();
}

void selectRow(MainWindowController *window, const QString &name)
{
    const QUrl item = PathCodec::urlForPath(window->currentRootUrl().toLocalFile() + QLatin1Char('/') + name);
    window->selectItem(item);
    QTRY_VERIFY(window->activeBrowser()->selectedURLs().contains(item));
}

} // namespace

class MainMenuTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bareKeysActOnlyWhileABrowserHasFocus();
    void editItemsGoToTheTextFieldBeingEdited();
    void itemsAreEnabledByTheWindowBeforeShowingAndBeforeActing();
    void closingAWindowDropsExactlyItAndTheNextCascadesFromTheLast();
    void preferencesOpenOnePanel();
};

void MainMenuTest::bareKeysActOnlyWhileABrowserHasFocus()
{
    QTemporaryDir dir;
    AppDelegate delegate;
    MainWindowController *window = delegate.openWindow(PathCodec::urlForPath(dir.path()));
    auto *browser = new RecordingBrowser;
    window->findChild<ContentContainerViewController *>()->setContent(browser);
    QVERIFY(QTest::qWaitForWindowActive(window));

    browser->setFocus();
    QTRY_VERIFY(browser->hasFocus());
    QTest::keyClick(browser, Qt::Key_Return);
    QTest::keyClick(browser, Qt::Key_Delete);
    QCOMPARE(browser->renames, 1);
    QCOMPARE(browser->trashings, 1);

    // The search field, and an editor open in the browser for a rename, keep their keys.
    QLineEdit *search = window->toolbarView()->searchField();
    auto *renameEditor = new QLineEdit(browser->viewport());
    renameEditor->show();
    for (QLineEdit *field : {search, renameEditor}) {
        field->setText(QStringLiteral("abc"));
        field->setCursorPosition(0);
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        QSignalSpy returns(field, &QLineEdit::returnPressed);
        QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClick(field, Qt::Key_Delete);
        QCOMPARE(returns.size(), 1);
        QCOMPARE(field->text(), QStringLiteral("bc"));
        QCOMPARE(browser->renames, 1);
        QCOMPARE(browser->trashings, 1);
    }

    // Back in the browser, the keys are commands again.
    browser->setFocus();
    QTRY_VERIFY(browser->hasFocus());
    QTest::keyClick(browser, Qt::Key_Return);
    QCOMPARE(browser->renames, 2);
}

void MainMenuTest::editItemsGoToTheTextFieldBeingEdited()
{
    QTemporaryDir dir;
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("report.txt"))));
    AppDelegate delegate;
    MainWindowController *window = delegate.openWindow(PathCodec::urlForPath(dir.path()));
    QVERIFY(QTest::qWaitForWindowActive(window));
    MainMenu *menu = delegate.mainMenu();

    QLineEdit *search = window->toolbarView()->searchField();
    search->setFocus();
    QTRY_VERIFY(search->hasFocus());
    search->setText(QStringLiteral("needle"));
    menu->action("selectAll")->trigger();
    QCOMPARE(search->selectedText(), QStringLiteral("needle"));
    menu->action("copy")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("needle"));
    QVERIFY(menu->validate(menu->action("cut")));

    // In the browser, Copy copies the selected files and Cut has no taker.
    QAbstractItemView *view = browserView(window);
    view->setFocus();
    QTRY_VERIFY(view->hasFocus());
    selectRow(window, QStringLiteral("report.txt"));
    QVERIFY(!menu->validate(menu->action("cut")));
    menu->action("copy")->trigger();
    QCOMPARE(FilePasteboard::readURLs(), QList<QUrl>{PathCodec::urlForPath(dir.filePath(QStringLiteral("report.txt")))});
}

void MainMenuTest::itemsAreEnabledByTheWindowBeforeShowingAndBeforeActing()
{
    QTemporaryDir dir;
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("a.txt"))));
    QGuiApplication::clipboard()->clear();
    AppDelegate delegate;
    MainWindowController *window = delegate.openWindow(PathCodec::urlForPath(dir.path()));
    QVERIFY(QTest::qWaitForWindowActive(window));
    browserView(window)->setFocus();

    QMenu *file = menuTitled(window, QStringLiteral("File"));
    QVERIFY(file);
    QMap<QByteArray, bool> enabled = enabledItemsAfterShowing(file);
    for (const char *needsSelection : {"duplicateSelection", "moveSelectionToTrash", "renameSelection",
                                       "showInfoForSelection", "toggleQuickLook"})
        QVERIFY2(!enabled.value(needsSelection), needsSelection);
    for (const char *always : {"newWindow", "newFolder", "openSelection", "moveSelectionToEnclosingFolder",
                               "emptyTrash", "performClose"})
        QVERIFY2(enabled.value(always), always);
    QVERIFY(!enabledItemsAfterShowing(menuTitled(window, QStringLiteral("Edit"))).value("paste"));
    // Closed again, the items wait for their shortcut, which asks anew.
    Q_EMIT file->aboutToHide();
    QVERIFY(delegate.mainMenu()->action("duplicateSelection")->isEnabled());

    selectRow(window, QStringLiteral("a.txt"));
    enabled = enabledItemsAfterShowing(file);
    QVERIFY(enabled.value("duplicateSelection") && enabled.value("showInfoForSelection"));
    FilePasteboard::write({PathCodec::urlForPath(dir.filePath(QStringLiteral("a.txt")))});
    QVERIFY(enabledItemsAfterShowing(menuTitled(window, QStringLiteral("Edit"))).value("paste"));

    QMenu *arrangeBy = menuTitled(window, QStringLiteral("View"))->actions().first()->menu();
    QVERIFY(arrangeBy);
    QAction *bySize = arrangeBy->actions().at(2);
    bySize->trigger();
    QCOMPARE(window->sortField(), FileSortField::size);
    Q_EMIT arrangeBy->aboutToShow();
    QList<bool> checks;
    for (QAction *item : arrangeBy->actions())
        checks.append(item->isChecked());
    QCOMPARE(checks, (QList<bool>{false, false, true, false}));

    QMenu *go = menuTitled(window, QStringLiteral("Go"));
    QVERIFY(enabledItemsAfterShowing(go).value("goToEnclosingFolder"));
    window->navigate(PathCodec::urlForPath(QStringLiteral("/")), true);
    QVERIFY(!enabledItemsAfterShowing(go).value("goToEnclosingFolder"));
    // A shortcut that fires anyway does nothing.
    Q_EMIT go->aboutToHide();
    delegate.mainMenu()->action("goToEnclosingFolder")->trigger();
    QCOMPARE(window->currentRootUrl(), PathCodec::urlForPath(QStringLiteral("/")));
}

void MainMenuTest::closingAWindowDropsExactlyItAndTheNextCascadesFromTheLast()
{
    QTemporaryDir dir;
    const QUrl root = PathCodec::urlForPath(dir.path());
    AppDelegate delegate;
    MainWindowController *first = delegate.openWindow(root);
    MainWindowController *second = delegate.openWindow(root);
    MainWindowController *third = delegate.openWindow(root);
    QCOMPARE(second->geometry().topLeft(), first->geometry().topLeft() + QPoint(22, 22));
    second->close();
    QTRY_COMPARE(delegate.windows(), (QList<MainWindowController *>{first, third}));
    third->move(third->pos() + QPoint(-100, 0));
    MainWindowController *fourth = delegate.openWindow(root);
    QCOMPARE(fourth->geometry().topLeft(), third->geometry().topLeft() + QPoint(22, 22));
    QCOMPARE(delegate.windows(), (QList<MainWindowController *>{first, third, fourth}));
}

void MainMenuTest::preferencesOpenOnePanel()
{
    AppDelegate delegate;
    delegate.mainMenu()->action("showPreferences")->trigger();
    PreferencesWindowController *panel = delegate.preferencesWindowController();
    QVERIFY(panel && panel->isVisible());
    panel->close();
    delegate.mainMenu()->action("showPreferences")->trigger();
    QCOMPARE(delegate.preferencesWindowController(), panel);
    QVERIFY(panel->isVisible());
}

TW_WINDOW_TEST_MAIN(MainMenuTest, QSize(1400, 900))

#include "tst_MainMenu.moc"
