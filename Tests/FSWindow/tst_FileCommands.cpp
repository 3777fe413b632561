#include "MainThreadWatchdog.h"
#include "ScratchMount.h"
#include "TestHome.h"

#include "FSCore/FileJob.h"
#include "FSCore/FileJobQueue.h"
#include "FSCore/FileOperations.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/Trash.h"
#include "FSUIKit/FilePasteboard.h"
#include "FSUIKit/SelectionProviding.h"
#include "FSWindow/FileCommands.h"
#include "FSWindow/ServerConnector.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QUndoStack>
#include <QWidget>

#include <cerrno>
#include <cstring>

namespace {

class FakeBrowser : public SelectionProviding
{
public:
    QList<QUrl> selection;
    QUrl folder;
    QList<QUrl> selectedURLs() const override { return selection; }
    QUrl currentDirectoryURL() const override { return folder; }
    QList<FileItem> currentSortedItems() const override { return {}; }
    void refresh() override {}
    void beginRename() override {}
    void selectItem(const QUrl &) override {}
};

struct Fixture
{
    tw::test::TemporaryFolder dir{tw::test::privateHome() + QStringLiteral("/work-XXXXXX")};
    QWidget window;
    FakeBrowser browser;
    FileJobQueue queue;
    FileCommands commands{&window};
    Fixture()
    {
        commands.setSelectionProvider([this] { return &browser; });
        commands.setJobQueue(&queue);
    }
    // Waits until the jobs of the commands, undos and redos asked so far have
    // ended and their results are in.
    bool settle()
    {
        return QTest::qWaitFor([this] { return !commands.isBusy(); }, 30'000);
    }
    bool undo()
    {
        commands.undoStack()->undo();
        return settle();
    }
    bool redo()
    {
        commands.undoStack()->redo();
        return settle();
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QUrl url(const QString &name) const { return PathCodec::urlForPath(path(name)); }
    QStringList alerts() const
    {
        QStringList texts;
        for (QMessageBox *box : window.findChildren<QMessageBox *>())
            texts << box->informativeText();
        return texts;
    }
};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

int trashInfoFiles()
{
    return QDir(QString::fromLocal8Bit(Trash::homeTrashPath()) + QStringLiteral("/info"))
        .entryList(QDir::Files).size();
}

} // namespace

class FileCommandsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void enclosingFolderMovesUpOneLevelAndUndoFollowsTheItem();
    void trashUndoRestoresTheNameAndDropsTheInfoFile_data();
    void trashUndoRestoresTheNameAndDropsTheInfoFile();
    void pasteOfAFolderIntoItselfIsRefused_data();
    void pasteOfAFolderIntoItselfIsRefused();
    void pasteRedoRepeatsOnlyWhatSucceeded();
    void pasteIsEnabledOnlyForLocalFiles();
    void undoAndRedoAskedWhileAJobRunsActInOrder();
    void pasteThatEndsEarlyKeepsOnlyWhatSucceeded_data();
    void pasteThatEndsEarlyKeepsOnlyWhatSucceeded();
    void connectSheetMountsOnlyAnAddress_data();
    void connectSheetMountsOnlyAnAddress();
};

void FileCommandsTest::enclosingFolderMovesUpOneLevelAndUndoFollowsTheItem()
{
    Fixture f;
    QVERIFY(tw::test::writeFile(f.path("a/b/x.txt"), "moved"));
    QVERIFY(tw::test::writeFile(f.path("a/x.txt"), "already there"));
    // A column view shows several levels: the selection lies below the shown folder.
    f.browser.folder = f.url("a");
    f.browser.selection = {f.url("a/b/x.txt"), QUrl::fromLocalFile(QStringLiteral("/tidewright-no-such-item"))};
    f.commands.moveSelectionToEnclosingFolder();
    QVERIFY(f.settle());

    QCOMPARE(contents(f.path("a/x 2.txt")), QByteArray("moved"));
    QCOMPARE(tw::test::entriesOf(f.path("a/b")), QStringList());
    QVERIFY2(f.alerts().isEmpty(), "an item at the top is skipped, not moved into its own folder");
    QCOMPARE(f.commands.undoStack()->count(), 1);
    QCOMPARE(f.commands.undoStack()->undoText(), QStringLiteral("Move to Enclosing Folder"));

    QVERIFY(f.undo());
    QCOMPARE(contents(f.path("a/b/x 2.txt")), QByteArray("moved"));
    QCOMPARE(contents(f.path("a/x.txt")), QByteArray("already there"));

    QVERIFY(f.redo());
    QCOMPARE(contents(f.path("a/x 2.txt")), QByteArray("moved"));
    QVERIFY(f.undo());
    QVERIFY(QFile::remove(f.path("a/b/x 2.txt")));
    QVERIFY(f.redo()); // fails: the item is gone
    QVERIFY(tw::test::writeFile(f.path("a/x 2.txt"), "someone else's"));
    QVERIFY(f.undo());
    QCOMPARE(contents(f.path("a/x 2.txt")), QByteArray("someone else's"));
    QCOMPARE(tw::test::entriesOf(f.path("a/b")), QStringList());
}

void FileCommandsTest::trashUndoRestoresTheNameAndDropsTheInfoFile_data()
{
    QTest::addColumn<bool>("nameTakenMeanwhile");
    QTest::addColumn<QString>("restoredName");
    QTest::newRow("name free") << false << QStringLiteral("notes.txt");
    QTest::newRow("name taken") << true << QStringLiteral("notes 2.txt");
}

void FileCommandsTest::trashUndoRestoresTheNameAndDropsTheInfoFile()
{
    QFETCH(bool, nameTakenMeanwhile);
    QFETCH(QString, restoredName);
    Fixture f;
    QVERIFY(tw::test::writeFile(f.path("notes.txt"), "mine"));
    const int infoFilesBefore = trashInfoFiles();
    f.browser.folder = PathCodec::urlForPath(f.dir.path());
    f.browser.selection = {f.url("notes.txt")};
    f.commands.moveSelectionToTrash();
    QVERIFY(f.settle());
    QVERIFY(!QFile::exists(f.path("notes.txt")));
    QCOMPARE(f.commands.undoStack()->undoText(), QStringLiteral("Move to Trash"));
    if (nameTakenMeanwhile)
        QVERIFY(tw::test::writeFile(f.path("notes.txt"), "new"));

    QVERIFY(f.undo());
    QCOMPARE(contents(f.path(restoredName)), QByteArray("mine"));
    QCOMPARE(trashInfoFiles(), infoFilesBefore);
    QCOMPARE(f.commands.undoStack()->redoText(), QStringLiteral("Move to Trash"));

    QVERIFY(f.redo());
    QVERIFY(!QFile::exists(f.path(restoredName)));
    if (nameTakenMeanwhile)
        QCOMPARE(contents(f.path("notes.txt")), QByteArray("new"));
    QVERIFY(f.undo());
    QCOMPARE(contents(f.path(restoredName)), QByteArray("mine"));
    QCOMPARE(trashInfoFiles(), infoFilesBefore);
}

void FileCommandsTest::pasteOfAFolderIntoItselfIsRefused_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("itself") << QStringLiteral("Folder");
    QTest::newRow("a folder inside it") << QStringLiteral("Folder/inner");
}

void FileCommandsTest::pasteOfAFolderIntoItselfIsRefused()
{
    QFETCH(QString, target);
    Fixture f;
    QVERIFY(QDir(f.dir.path()).mkpath(QStringLiteral("Folder/inner")));
    FilePasteboard::write({f.url("Folder")});
    f.browser.folder = f.url(target);
    f.commands.paste();
    QVERIFY(f.settle());
    QCOMPARE(f.alerts(), QStringList{FileOperationError::errorDescription(FileOperationError::copyIntoItself)});
    QCOMPARE(tw::test::entriesOf(f.path("Folder/inner")), QStringList());
    QCOMPARE(tw::test::entriesOf(f.path("Folder")), QStringList{QStringLiteral("inner")});
    QCOMPARE(f.commands.undoStack()->count(), 0);
}

void FileCommandsTest::pasteRedoRepeatsOnlyWhatSucceeded()
{
    Fixture f;
    QVERIFY(tw::test::writeFile(f.path("a.txt"), "a"));
    QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("dest")));
    FilePasteboard::write({f.url("a.txt"), f.url("late.txt")});
    f.browser.folder = f.url("dest");
    f.commands.paste();
    QVERIFY(f.settle());
    QCOMPARE(tw::test::entriesOf(f.path("dest")), QStringList{QStringLiteral("a.txt")});
    QCOMPARE(f.commands.undoStack()->undoText(), QStringLiteral("Paste"));

    QVERIFY(f.undo());
    QCOMPARE(tw::test::entriesOf(f.path("dest")), QStringList());
    QVERIFY(tw::test::writeFile(f.path("late.txt"), "late"));
    QVERIFY(f.redo());
    QCOMPARE(tw::test::entriesOf(f.path("dest")), QStringList{QStringLiteral("a.txt")});

    // A redo that fails leaves nothing for the next undo to trash.
    QVERIFY(f.undo());
    QVERIFY(QFile::remove(f.path("a.txt")));
    QVERIFY(f.redo());
    QVERIFY(tw::test::writeFile(f.path("dest/a.txt"), "someone else's"));
    QVERIFY(f.undo());
    QCOMPARE(contents(f.path("dest/a.txt")), QByteArray("someone else's"));
}

void FileCommandsTest::pasteIsEnabledOnlyForLocalFiles()
{
    Fixture f;
    const auto enabledWith = [&](const QList<QUrl> &urls, const QString &text) {
        auto *data = new QMimeData;
        data->setUrls(urls);
        data->setText(text);
        QGuiApplication::clipboard()->setMimeData(data);
        return f.commands.validate(FileCommands::Command::paste);
    };
    QVERIFY(enabledWith({QUrl::fromLocalFile(QStringLiteral("/etc/hostname"))}, {}));
    QVERIFY(!enabledWith({QUrl(QStringLiteral("https://example.org/a"))}, {}));
    QVERIFY(!enabledWith({}, QStringLiteral("/etc/hostname")));
}

void FileCommandsTest::undoAndRedoAskedWhileAJobRunsActInOrder()
{
    Fixture f;
    QVERIFY(tw::test::writeFile(f.path("a.txt"), "a"));
    QVERIFY(tw::test::writeFile(f.path("c.txt"), "c"));
    f.browser.folder = PathCodec::urlForPath(f.dir.path());
    f.browser.selection = {f.url("a.txt"), f.url("b.txt"), f.url("c.txt")};
    f.commands.duplicateSelection();
    QVERIFY(f.settle());
    QCOMPARE(f.alerts().size(), 1);
    QCOMPARE(tw::test::entriesOf(f.dir.path()),
             (QStringList{"a copy.txt", "a.txt", "c copy.txt", "c.txt"}));
    QCOMPARE(f.commands.undoStack()->count(), 2);

    // Asked faster than the jobs end: each waits for the one before.
    f.commands.undoStack()->undo();
    f.commands.undoStack()->undo();
    f.commands.undoStack()->redo();
    QVERIFY(f.settle());
    QCOMPARE(tw::test::entriesOf(f.dir.path()), (QStringList{"a copy.txt", "a.txt", "c.txt"}));
    QVERIFY(f.undo());
    QCOMPARE(tw::test::entriesOf(f.dir.path()), (QStringList{"a.txt", "c.txt"}));
}

void FileCommandsTest::pasteThatEndsEarlyKeepsOnlyWhatSucceeded_data()
{
    QTest::addColumn<bool>("stopped");
    QTest::newRow("stopped half-way") << true;
    QTest::newRow("onto a full disk") << false;
}

void FileCommandsTest::pasteThatEndsEarlyKeepsOnlyWhatSucceeded()
{
    QFETCH(bool, stopped);
    tw::test::ScratchMount mount("size=1m");
    if (!stopped && !mount.isMounted())
        QSKIP(qPrintable(mount.whyNot()));
    Fixture f;
    QVERIFY(tw::test::writeFile(f.path("small.txt"), "small"));
    if (stopped) {
        // Enough entries that the copy is still under way when it is stopped.
        for (int file = 0; file < 3000; ++file)
            QVERIFY(tw::test::writeFile(f.path("Big/%1/file %2").arg(file / 100).arg(file), "x"));
    } else {
        QVERIFY(tw::test::writeFile(f.path("Big"), QByteArray(2 << 20, 'b')));
    }
    const QString destination = stopped ? f.path("dest") : mount.path();
    QVERIFY(QDir().mkpath(destination));
    FilePasteboard::write({f.url("small.txt"), f.url("Big")});
    f.browser.folder = PathCodec::urlForPath(destination);
    // The window keeps answering: not one file is read or written on its thread.
    const tw::test::MainThreadWatchdog watchdog;
    f.commands.paste();
    if (stopped) {
        QCOMPARE(f.queue.jobs().size(), 1);
        FileJob *job = f.queue.jobs().first();
        QVERIFY(QTest::qWaitFor([job] { return job->progress().itemsDone > 100; }, 20'000));
        job->cancel();
        QVERIFY2(watchdog.longestGap() < 200,
                 qPrintable(QStringLiteral("the main thread stood still for %1 ms").arg(watchdog.longestGap())));
    }
    QVERIFY(f.settle());

    // Nothing partial, no temporary name: the item under way is gone entirely.
    QCOMPARE(tw::test::entriesOf(destination), QStringList{"small.txt"});
    const QStringList alerts = f.alerts();
    QCOMPARE(alerts.size(), stopped ? 0 : 1);
    if (!stopped)
        QVERIFY2(alerts.first().startsWith(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(alerts.first()));
    QCOMPARE(f.commands.undoStack()->undoText(), QStringLiteral("Paste"));
    QVERIFY(f.undo());
    QVERIFY(!QFile::exists(destination + QStringLiteral("/small.txt")));
    QCOMPARE(contents(f.path("small.txt")), QByteArray("small"));
    if (stopped)
        QCOMPARE(tw::test::entriesOf(f.path("Big")).size(), 30);
    else
        QCOMPARE(QFileInfo(f.path("Big")).size(), 2 << 20);
}

void FileCommandsTest::connectSheetMountsOnlyAnAddress_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("failures");
    QTest::newRow("blank") << " \n " << QStringList();
    QTest::newRow("no scheme") << "  server/share " << QStringList{ServerConnection::ConnectError(ServerConnection::ConnectError::invalidAddress).localizedDescription()};
}

void FileCommandsTest::connectSheetMountsOnlyAnAddress()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, failures);
    QWidget window;
    ServerConnector connector(&window);
    QStringList shown;
    connector.onFailure = [&](const QString &message) { shown.append(message); };
    QSignalSpy finished(&connector, &ServerConnector::connectFinished);
    connector.connectToServer();
    auto *sheet = window.findChild<ServerConnectSheet *>();
    QVERIFY(sheet && sheet->isVisible());
    QCOMPARE(sheet->addressField()->size(), ServerConnectSheet::fieldSize);
    QCOMPARE(sheet->focusWidget(), sheet->addressField());
    sheet->addressField()->setText(typed);
    sheet->connectButton()->click();
    if (!failures.isEmpty())
        QVERIFY(finished.wait(10'000));
    QVERIFY(!connector.isConnecting());
    QCOMPARE(shown, failures);
}

TW_GUI_TEST_MAIN(FileCommandsTest)
#include "tst_FileCommands.moc"
