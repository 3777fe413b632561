#include "OffscreenScreen.h"
#include "TestHome.h"

#include "FSPlatform/PathCodec.h"
#include "FSUIKit/AppearanceNotifications.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSUIKit/MetalTexture.h"
#include "FSWindow/StatusBarView.h"
#include "FSWindow/MainWindowController.h"

#include <QApplication>
#include <QLabel>
#include <QSettings>
#include <QSplitter>

namespace {

const QString frameKey = QStringLiteral("TidewrightMainWindowFrame");
const QString sidebarKey = QStringLiteral("NSSplitView Subview Frames MainSplitView");
// The one screen of the test platform (see TW_WINDOW_TEST_MAIN below).
const QRect screenArea(0, 0, 1400, 900);

QRect defaultFrame()
{
    QRect frame(QPoint(0, 0), MainWindowController::defaultContentSize);
    frame.moveCenter(screenArea.center());
    return frame;
}

int sidebarWidth(const MainWindowController &window)
{
    return window.splitView()->sizes().first();
}

} // namespace

class MainWindowFrameTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { QSettings().clear(); }
    void storedFrameIsUsedOnlyWhenLargeEnoughAndOnScreen_data();
    void storedFrameIsUsedOnlyWhenLargeEnoughAndOnScreen();
    void resetPutsEveryWindowBackToItsDefaultSizeAndSidebar();
    void aWindowWhoseFolderIsDeletedMovesToTheNearestFolderAbove();
    void everyWindowTakesANewThemeAndTextSizeAtOnce();
};

void MainWindowFrameTest::storedFrameIsUsedOnlyWhenLargeEnoughAndOnScreen_data()
{
    QTest::addColumn<QVariant>("storedFrame");
    QTest::addColumn<QVariant>("storedSidebar");
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<int>("sidebar");
    QTest::newRow("nothing stored") << QVariant() << QVariant() << defaultFrame() << 150;
    QTest::newRow("a usable frame") << QVariant(QStringLiteral("{{100, 50}, {900, 600}}")) << QVariant(180)
                                    << QRect(100, 50, 900, 600) << 180;
    QTest::newRow("narrower than the minimum") << QVariant(QStringLiteral("{{100, 50}, {600, 600}}")) << QVariant()
                                               << defaultFrame() << 150;
    QTest::newRow("over the screen's edge") << QVariant(QStringLiteral("{{1000, 50}, {900, 600}}")) << QVariant()
                                            << defaultFrame() << 150;
    QTest::newRow("not a rectangle") << QVariant(QStringLiteral("{{100, 50}, {900}}")) << QVariant(QStringLiteral("x"))
                                     << defaultFrame() << 150;
}

void MainWindowFrameTest::storedFrameIsUsedOnlyWhenLargeEnoughAndOnScreen()
{
    QFETCH(QVariant, storedFrame);
    QFETCH(QVariant, storedSidebar);
    QFETCH(QRect, frame);
    QFETCH(int, sidebar);
    if (storedFrame.isValid())
        QSettings().setValue(frameKey, storedFrame);
    if (storedSidebar.isValid())
        QSettings().setValue(sidebarKey, storedSidebar);
    QTemporaryDir dir;
    MainWindowController window(PathCodec::urlForPath(dir.path()));
    window.showWindow();
    QCOMPARE(window.geometry(), frame);
    QCOMPARE(sidebarWidth(window), sidebar);
    QVERIFY(!window.navigation().canGoBack() && !window.navigation().canGoForward());
}

void MainWindowFrameTest::resetPutsEveryWindowBackToItsDefaultSizeAndSidebar()
{
    QTemporaryDir dir;
    const QUrl root = PathCodec::urlForPath(dir.path());
    MainWindowController nearCentre(root);
    MainWindowController nearEdge(root);
    nearCentre.showWindow();
    nearEdge.showWindow();
    nearCentre.setGeometry(400, 200, 700, 500);
    nearEdge.setGeometry(10, 10, 700, 500);
    nearCentre.splitView()->setSizes({200, 500});
    nearEdge.splitView()->setSizes({200, 500});
    // The last window moved decides where the next one opens.
    QTRY_COMPARE(QSettings().value(frameKey).toString(), QStringLiteral("{{10, 10}, {700, 500}}"));

    AppearanceNotifications::instance()->postResetWindowLayoutRequested();

    QRect aboutCentre(QPoint(0, 0), MainWindowController::defaultContentSize);
    aboutCentre.moveCenter(QRect(400, 200, 700, 500).center());
    QCOMPARE(nearCentre.geometry(), aboutCentre);
    // 1075 × 700 about its old centre would hang off the screen: centred instead.
    QCOMPARE(nearEdge.geometry(), defaultFrame());
    QCOMPARE(sidebarWidth(nearCentre), 150);
    QCOMPARE(sidebarWidth(nearEdge), 150);
}

void MainWindowFrameTest::aWindowWhoseFolderIsDeletedMovesToTheNearestFolderAbove()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("a/b/c")));
    MainWindowController window(PathCodec::urlForPath(dir.filePath(QStringLiteral("a/b/c"))));
    window.show();
    QTRY_VERIFY(window.windowTitle() == QStringLiteral("c"));
    QVERIFY(QDir(dir.filePath(QStringLiteral("a/b"))).removeRecursively());
    QTRY_COMPARE_WITH_TIMEOUT(window.currentRootUrl(), PathCodec::urlForPath(dir.filePath(QStringLiteral("a"))), 5000);
    QCOMPARE(window.windowTitle(), QStringLiteral("a"));
    QCOMPARE(window.navigation().historyStack().size(), 2);
}

void MainWindowFrameTest::everyWindowTakesANewThemeAndTextSizeAtOnce()
{
    QTemporaryDir dir;
    const QUrl root = PathCodec::urlForPath(dir.path());
    MainWindowController first(root);
    MainWindowController second(root);
    AppearancePreferenceStore::setTheme(AppTheme::metal10_4);
    AppearancePreferenceStore::setTextSize(TextSize::large);
    for (MainWindowController *window : {&first, &second}) {
        QCOMPARE(window->palette().brush(QPalette::Window).textureImage(), MetalTexture::image());
        QCOMPARE(window->statusBarView()->label()->font().pixelSize(), 19);
    }
    AppearancePreferenceStore::setTheme(AppTheme::graphite10_6);
    AppearancePreferenceStore::setTextSize(TextSize::small);
    for (MainWindowController *window : {&first, &second}) {
        QCOMPARE(window->palette().brush(QPalette::Window).color(), QColor(204, 204, 204));
        QCOMPARE(window->statusBarView()->label()->font().pixelSize(), 12);
    }
}

TW_WINDOW_TEST_MAIN(MainWindowFrameTest, screenArea.size())

#include "tst_MainWindowFrame.moc"
