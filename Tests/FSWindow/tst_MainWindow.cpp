#include "TestHome.h"

#include "FSPlatform/PathCodec.h"
#include "FSWindow/FolderContentsModel.h"
#include "FSWindow/MainWindowController.h"

#include <QApplication>
#include <QListView>
#include <QTemporaryDir>

namespace {

// The plain list, not the icon grid (a list view too).
QListView *plainList(MainWindowController &window)
{
    for (QListView *view : window.findChildren<QListView *>()) {
        if (qobject_cast<FolderContentsModel *>(view->model()))
            return view;
    }
    return nullptr;
}

QStringList shownNames(MainWindowController &window)
{
    auto *view = plainList(window);
    QStringList names;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        names << view->model()->index(row, 0).data().toString();
    return names;
}

QModelIndex rowNamed(MainWindowController &window, const QString &name)
{
    auto *view = plainList(window);
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        const QModelIndex index = view->model()->index(row, 0);
        if (index.data().toString() == name)
            return index;
    }
    return {};
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void opensAFolderEntersItAndComesBack();
    void changesOnDiskShowUp();
};

void MainWindowTest::opensAFolderEntersItAndComesBack()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Folder 10/inner")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Folder 9")));
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("notes.txt"))));
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral(".hidden"))));
    MainWindowController window(PathCodec::urlForPath(dir.path()));
    window.show();
    QTRY_COMPARE(shownNames(window),
                 (QStringList{QStringLiteral("Folder 9"), QStringLiteral("Folder 10"), QStringLiteral("notes.txt")}));
    QCOMPARE(window.windowTitle(), QDir(dir.path()).dirName());

    auto *view = plainList(window);
    // Activating a file does not navigate; activating a folder does.
    Q_EMIT view->activated(rowNamed(window, QStringLiteral("notes.txt")));
    QCOMPARE(window.navigation().historyStack().size(), 1);
    Q_EMIT view->activated(rowNamed(window, QStringLiteral("Folder 10")));
    QTRY_COMPARE(shownNames(window), QStringList{QStringLiteral("inner")});
    QCOMPARE(window.windowTitle(), QStringLiteral("Folder 10"));

    window.goToEnclosingFolder();
    QTRY_COMPARE(shownNames(window).size(), 3);
    QCOMPARE(window.navigation().historyStack().size(), 3);
    const_cast<NavigationModel &>(window.navigation()).goBack();
    QTRY_COMPARE(shownNames(window), QStringList{QStringLiteral("inner")});
}

void MainWindowTest::changesOnDiskShowUp()
{
    QTemporaryDir dir;
    MainWindowController window(PathCodec::urlForPath(dir.path()));
    QTRY_VERIFY(shownNames(window).isEmpty());
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("arrived"))));
    QTRY_COMPARE(shownNames(window), QStringList{QStringLiteral("arrived")});
}

TW_GUI_TEST_MAIN(MainWindowTest)
#include "tst_MainWindow.moc"
