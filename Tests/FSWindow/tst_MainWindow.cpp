#include "TestHome.h"

#include "FSGetInfo/GetInfoWindowRegistry.h"
#include "FSListView/ListViewController.h"
#include "FSPlatform/PathCodec.h"
#include "FSSidebar/SidebarModel.h"
#include "FSSidebar/SidebarOutlineView.h"
#include "FSSidebar/SidebarViewController.h"
#include "FSUIKit/AppearanceNotifications.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSUIKit/SelectionProviding.h"
#include "FSWindow/AppWindowOpening.h"
#include "FSWindow/ContentContainerViewController.h"
#include "FSWindow/MainWindowController.h"
#include "FSWindow/StatusBarView.h"
#include "FSWindow/ViewModePreferenceStore.h"

#include <QApplication>
#include <QLabel>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUndoStack>

namespace {

QUrl urlOf(const QString &path)
{
    return PathCodec::urlForPath(path);
}

QStringList shownNames(const MainWindowController &window)
{
    QStringList names;
    for (const FileItem &item : window.activeBrowser()->currentSortedItems())
        names << item.name();
    names.sort();
    return names;
}

QString statusText(const MainWindowController &window)
{
    return window.statusBarView()->label()->text();
}

class RecordingOpener : public AppWindowOpening
{
public:
    QList<QUrl> opened;
    void openNewWindow(const QUrl &rootUrl) override { opened.append(rootUrl); }
};

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void switchingViewsKeepsTheFolderAndTheHistory();
    void onlyAClickInTheSidebarNavigates();
    void changesOnDiskKeepTheSelection_data();
    void changesOnDiskKeepTheSelection();
    void aFolderLeftBeforeItsListingArrivesNeverReachesTheStatusLine();
    void aNewTextSizeReachesTheSidebarAndEveryBrowser();
    void browsersOpenInfoAndNewWindowsThroughTheWindow();
    void menuCommandsChangeTheShownFolderAndUndo();
};

void MainWindowTest::init()
{
    ViewModePreferenceStore::saveViewMode(ViewMode::column);
}

void MainWindowTest::switchingViewsKeepsTheFolderAndTheHistory()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("inner")));
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("inner/a.txt"))));
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("inner/b.txt"))));
    const QUrl inner = urlOf(dir.filePath(QStringLiteral("inner")));
    MainWindowController window(urlOf(dir.path()));
    window.showWindow();
    window.navigate(inner, true);

    for (const ViewMode mode : {ViewMode::list, ViewMode::icon, ViewMode::column, ViewMode::column}) {
        window.viewModeChanged(ViewModes::rawValue(mode));
        QCOMPARE(window.contentContainer()->currentChild(), window.browserFor(mode));
        QCOMPARE(ViewModePreferenceStore::loadViewMode(), mode);
        QCOMPARE(window.activeBrowser()->currentDirectoryURL(), inner);
        QTRY_COMPARE(shownNames(window), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    }
    QCOMPARE(window.navigation().historyStack(), (QList<QUrl>{urlOf(dir.path()), inner}));
    QCOMPARE(window.windowTitle(), QStringLiteral("inner"));

    // A mode that is no mode changes nothing.
    window.viewModeChanged(3);
    QCOMPARE(window.currentViewMode(), ViewMode::column);
}

void MainWindowTest::onlyAClickInTheSidebarNavigates()
{
    const QString documents = tw::test::privateHome() + QStringLiteral("/Documents");
    QVERIFY(QDir().mkpath(documents));
    MainWindowController window(urlOf(documents));
    window.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    SidebarViewController *sidebar = window.sidebar();
    // The window's own folder is shown as the sidebar's choice without being chosen.
    QTRY_COMPARE(sidebar->selectedUrl(), std::optional<QUrl>(urlOf(documents)));
    QCOMPARE(window.navigation().historyStack().size(), 1);

    window.navigate(urlOf(tw::test::privateHome()), true);
    QCOMPARE(sidebar->selectedUrl(), std::optional<QUrl>(urlOf(tw::test::privateHome())));
    QCOMPARE(window.navigation().historyStack().size(), 2);

    SidebarOutlineView *outline = sidebar->outlineView();
    const QModelIndex row = static_cast<SidebarModel *>(outline->model())->indexOf(urlOf(documents));
    QVERIFY(row.isValid());
    QTest::mouseClick(outline->viewport(), Qt::LeftButton, {}, outline->visualRect(row).center());
    QCOMPARE(window.currentRootUrl(), urlOf(documents));
    QCOMPARE(window.navigation().historyStack().size(), 3);
}

void MainWindowTest::changesOnDiskKeepTheSelection_data()
{
    QTest::addColumn<ViewMode>("mode");
    QTest::newRow("icon") << ViewMode::icon;
    QTest::newRow("list") << ViewMode::list;
    QTest::newRow("column") << ViewMode::column;
}

void MainWindowTest::changesOnDiskKeepTheSelection()
{
    QFETCH(ViewMode, mode);
    QTemporaryDir dir;
    for (const char *name : {"a.txt", "b.txt", "c.txt"})
        QVERIFY(tw::test::writeFile(dir.filePath(QString::fromLatin1(name))));
    ViewModePreferenceStore::saveViewMode(mode);
    MainWindowController window(urlOf(dir.path()));
    window.showWindow();
    const QUrl chosen = urlOf(dir.filePath(QStringLiteral("b.txt")));
    // Asked before the listing is there, as a window opened on an item is.
    window.selectItem(chosen);
    QTRY_COMPARE(window.activeBrowser()->selectedURLs(), QList<QUrl>{chosen});
    QTRY_VERIFY(statusText(window).contains(QStringLiteral("3 items")));

    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("arrived.txt"))));
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("a.txt"))));
    QTRY_COMPARE(shownNames(window),
                 (QStringList{QStringLiteral("arrived.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")}));
    QCOMPARE(window.activeBrowser()->selectedURLs(), QList<QUrl>{chosen});
    QTRY_VERIFY(statusText(window).contains(QStringLiteral("3 items")));

    // A change the browser made itself (a drop, a rename) reads the folder by difference too.
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("dropped.txt"))));
    window.refreshAllViews();
    QTRY_VERIFY(shownNames(window).contains(QStringLiteral("dropped.txt")));
    QCOMPARE(window.activeBrowser()->selectedURLs(), QList<QUrl>{chosen});
}

void MainWindowTest::aFolderLeftBeforeItsListingArrivesNeverReachesTheStatusLine()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("many")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("one")));
    for (int index = 0; index < 2000; ++index)
        QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("many/%1").arg(index))));
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("one/only"))));
    MainWindowController window(urlOf(dir.path()));
    window.showWindow();
    window.navigate(urlOf(dir.filePath(QStringLiteral("many"))), true);
    window.navigate(urlOf(dir.filePath(QStringLiteral("one"))), true);
    QTRY_VERIFY(statusText(window).contains(QStringLiteral("1 item")));
    // Give the larger listing time to arrive, then check it was dropped.
    QTest::qWait(300);
    QVERIFY2(statusText(window).startsWith(dir.filePath(QStringLiteral("one"))), qPrintable(statusText(window)));
    QVERIFY(statusText(window).contains(QStringLiteral("1 item")));
    QCOMPARE(window.windowTitle(), QStringLiteral("one"));
}

void MainWindowTest::aNewTextSizeReachesTheSidebarAndEveryBrowser()
{
    QTemporaryDir dir;
    MainWindowController window(urlOf(dir.path()));
    for (const TextSize size : {TextSize::large, TextSize::small}) {
        AppearancePreferenceStore::setTextSize(size);
        AppearanceNotifications::instance()->postAppearancePreferencesDidChange();
        QCOMPARE(window.listView()->textSize(), size);
        QCOMPARE(window.sidebar()->textSize(), size);
    }
}

void MainWindowTest::browsersOpenInfoAndNewWindowsThroughTheWindow()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("report.txt"));
    QVERIFY(tw::test::writeFile(file));
    RecordingOpener opener;
    AppWindowOpening::setShared(&opener);
    MainWindowController window(urlOf(dir.path()));
    window.listView()->onShowInfo(FileItem(urlOf(file)));
    QVERIFY(GetInfoWindowRegistry::shared().window(urlOf(file)));
    window.listView()->onOpenInNewWindow(FileItem(urlOf(dir.path())));
    QCOMPARE(opener.opened, QList<QUrl>{urlOf(dir.path())});
    AppWindowOpening::setShared(nullptr);
    // Without an opener, nothing opens and nothing breaks.
    window.listView()->onOpenInNewWindow(FileItem(urlOf(dir.path())));
    GetInfoWindowRegistry::shared().closeAll();
}

// The window's menu items run the file commands on the shown browser, and the
// Edit menu's undo takes the step back.
void MainWindowTest::menuCommandsChangeTheShownFolderAndUndo()
{
    QTemporaryDir dir;
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("a.txt"))));
    ViewModePreferenceStore::saveViewMode(ViewMode::list);
    MainWindowController window(urlOf(dir.path()));
    window.showWindow();
    const QUrl file = urlOf(dir.filePath(QStringLiteral("a.txt")));
    window.selectItem(file);
    QTRY_COMPARE(window.activeBrowser()->selectedURLs(), QList<QUrl>{file});

    // The copy is made by a job; the step is there once it has ended.
    window.duplicateSelection();
    QTRY_COMPARE(window.undoStack()->undoText(), QStringLiteral("Duplicate"));
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("a copy.txt"))));
    QTRY_VERIFY(shownNames(window).contains(QStringLiteral("a copy.txt")));
    window.undo();
    QTRY_VERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("a copy.txt"))));
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("a.txt"))));
}

TW_GUI_TEST_MAIN(MainWindowTest)
#include "tst_MainWindow.moc"
