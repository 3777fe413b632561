#include "FSCore/FileListing.h"
#include "FSUIKit/DisplayNameText.h"
#include "FSUIKit/FileDropHandler.h"
#include "FSUIKit/FilePasteboard.h"
#include "FSUIKit/SortedFolderModel.h"
#include "FSUIKit/SpringLoadTimer.h"

#include "ScratchMount.h"
#include "TestHome.h"

#include <QApplication>
#include <QDir>
#include <QListView>
#include <QMimeData>

#include <optional>

using namespace tw::test;

namespace {

// Performs the drop and waits for its job; nothing when no job was started.
std::optional<FileDropHandler::Result> dropAndWait(const QList<QUrl> &sources, const QUrl &folder,
                                                   const DragModifierTracker &tracker)
{
    std::optional<FileDropHandler::Result> result;
    bool isDone = false;
    if (!FileDropHandler::perform(sources, folder, tracker, nullptr, [&](const FileDropHandler::Result &done) {
            result = done;
            isDone = true;
        }))
        return std::nullopt;
    if (!QTest::qWaitFor([&] { return isDone; }, 20'000))
        return std::nullopt;
    return result;
}

} // namespace

class FileDropsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void namesCannotDisguiseThemselves_data();
    void namesCannotDisguiseThemselves();
    void dropIntoItselfOrInPlaceIsRefused_data();
    void dropIntoItselfOrInPlaceIsRefused();
    void oneFailedItemDoesNotStopTheRest();
    void plainDropCopiesFromOtherVolumesAndMovesWithinOne();
    void dropOfNothingUsableIsNoSuccess();
    void dragOverAViewFollowsItsKeysAndOpensRestingFolders();
};

void FileDropsTest::namesCannotDisguiseThemselves_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("override") << QStringLiteral("photo\u202Egpj.exe") << QStringLiteral("photo\uFFFDgpj.exe");
    QTest::newRow("isolate-in-name") << QStringLiteral("a\u2067b") << QStringLiteral("a\uFFFDb");
    QTest::newRow("newline-tab-escape") << QStringLiteral("a\nb\tc\x1B") << QStringLiteral("a\u240Ab\u2409c\u241B");
    QTest::newRow("line-separator") << QStringLiteral("a\u2028b") << QStringLiteral("a\u2424b");
    QTest::newRow("escaped-byte") << QString(QStringLiteral("a") + QChar(0xDCFF)) << QStringLiteral("a\uFFFD");
    QTest::newRow("emoji-kept") << QStringLiteral("\U0001F600.txt") << QStringLiteral("\U0001F600.txt");
    QTest::newRow("hebrew-kept") << QStringLiteral("\u05E9\u05DC\u05D5\u05DD.txt") << QStringLiteral("\u05E9\u05DC\u05D5\u05DD.txt");
}

void FileDropsTest::namesCannotDisguiseThemselves()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QCOMPARE(DisplayNameText::visibleCharacters(name), shown);
    QCOMPARE(DisplayNameText::forDisplay(name), QStringLiteral("\u2068") + shown + QStringLiteral("\u2069"));
}

void FileDropsTest::dropIntoItselfOrInPlaceIsRefused_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<Qt::KeyboardModifiers>("keys");
    QTest::addColumn<int>("expected");
    const auto none = Qt::KeyboardModifiers();
    QTest::newRow("folder-onto-itself") << "A" << "A" << none << int(Qt::IgnoreAction);
    QTest::newRow("folder-into-its-subfolder") << "A" << "A/B" << none << int(Qt::IgnoreAction);
    QTest::newRow("copy-into-itself") << "A" << "A/B" << Qt::KeyboardModifiers(Qt::ControlModifier) << int(Qt::IgnoreAction);
    QTest::newRow("move-into-own-folder") << "A/f.txt" << "A" << none << int(Qt::IgnoreAction);
    QTest::newRow("copy-into-own-folder") << "A/f.txt" << "A" << Qt::KeyboardModifiers(Qt::ControlModifier) << int(Qt::CopyAction);
    QTest::newRow("sibling-with-common-prefix") << "A" << "AB" << none << int(Qt::MoveAction);
    QTest::newRow("file-into-other-folder") << "A/f.txt" << "AB" << none << int(Qt::MoveAction);
}

void FileDropsTest::dropIntoItselfOrInPlaceIsRefused()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(Qt::KeyboardModifiers, keys);
    QFETCH(int, expected);
    TemporaryFolder root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("A/B")) && QDir(root.path()).mkpath(QStringLiteral("AB")));
    QVERIFY(writeFile(root.filePath(QStringLiteral("A/f.txt")), "f"));
    const QStringList before = entriesOf(root.path()) + entriesOf(root.filePath(QStringLiteral("A")));

    DragModifierTracker tracker;
    tracker.sample(keys);
    const QList<QUrl> sources{QUrl::fromLocalFile(root.filePath(source))};
    const QUrl folder = QUrl::fromLocalFile(root.filePath(destination));
    QCOMPARE(int(FileDropHandler::proposedAction(sources, folder, tracker)), expected);
    if (expected != int(Qt::IgnoreAction))
        return;

    // Performed anyway (a drop that arrives without a hover): still nothing changes.
    QVERIFY(!dropAndWait(sources, folder, tracker));
    QCOMPARE(entriesOf(root.path()) + entriesOf(root.filePath(QStringLiteral("A"))), before);
    QCOMPARE(entriesOf(root.filePath(QStringLiteral("A/B"))), QStringList());
}

void FileDropsTest::oneFailedItemDoesNotStopTheRest()
{
    TemporaryFolder root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("A/B")) && QDir(root.path()).mkpath(QStringLiteral("dest")));
    QVERIFY(writeFile(root.filePath(QStringLiteral("one.txt")), "1"));
    QVERIFY(writeFile(root.filePath(QStringLiteral("two.txt")), "2"));
    const QList<QUrl> sources{QUrl::fromLocalFile(root.filePath(QStringLiteral("one.txt"))),
                              QUrl::fromLocalFile(root.filePath(QStringLiteral("missing.txt"))),
                              QUrl::fromLocalFile(root.filePath(QStringLiteral("A"))),
                              QUrl::fromLocalFile(root.filePath(QStringLiteral("two.txt")))};
    DragModifierTracker copying;
    copying.sample(Qt::ControlModifier);
    const auto result = dropAndWait(sources, QUrl::fromLocalFile(root.filePath(QStringLiteral("A/B"))), copying);
    QVERIFY(result && result->succeeded());
    QCOMPARE(result->placed.size(), 2);
    QCOMPARE(result->failures.size(), 2);
    // Refused at once, before the job: listed first.
    QCOMPARE(result->failures.at(0).source, sources.at(2));
    QCOMPARE(result->failures.at(0).message, FileOperationError(FileOperationError::copyIntoItself).localizedDescription());
    QCOMPARE(result->failures.at(1).source, sources.at(1));
    QVERIFY(!result->failures.at(1).message.isEmpty());
    QCOMPARE(entriesOf(root.filePath(QStringLiteral("A/B"))), (QStringList{"one.txt", "two.txt"}));
}

void FileDropsTest::dropOfNothingUsableIsNoSuccess()
{
    auto data = std::make_unique<QMimeData>();
    data->setUrls({QUrl(QStringLiteral("https://example.org/a.txt"))});
    QVERIFY(FileDropHandler::sources(data.get()).isEmpty());
    TemporaryFolder root;
    DragModifierTracker tracker;
    QCOMPARE(FileDropHandler::proposedAction({}, QUrl::fromLocalFile(root.path()), tracker), Qt::IgnoreAction);
    QVERIFY(!dropAndWait({}, QUrl::fromLocalFile(root.path()), tracker));
}

void FileDropsTest::plainDropCopiesFromOtherVolumesAndMovesWithinOne()
{
    ScratchMount other;
    if (!other.isMounted())
        QSKIP(qPrintable(other.whyNot()));
    TemporaryFolder root;
    QVERIFY(writeFile(root.filePath(QStringLiteral("near.txt")), "near"));
    QVERIFY(writeFile(other.path() + QStringLiteral("/far.txt"), "far"));
    QVERIFY(QDir(root.path()).mkdir(QStringLiteral("dest")));
    const QList<QUrl> sources{QUrl::fromLocalFile(other.path() + QStringLiteral("/far.txt")),
                              QUrl::fromLocalFile(root.filePath(QStringLiteral("near.txt")))};
    const auto result = dropAndWait(sources, QUrl::fromLocalFile(root.filePath(QStringLiteral("dest"))), DragModifierTracker());
    QVERIFY(result && result->failures.isEmpty());
    QCOMPARE(entriesOf(root.filePath(QStringLiteral("dest"))), (QStringList{"far.txt", "near.txt"}));
    QCOMPARE(entriesOf(other.path()), QStringList{"far.txt"});
    QCOMPARE(entriesOf(root.path()), QStringList{"dest"});
}

// A view as the browsers set one up: drops go onto folder rows or into the
// shown folder, never onto a file's row.
void FileDropsTest::dragOverAViewFollowsItsKeysAndOpensRestingFolders()
{
    TemporaryFolder root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("shown/Inbox")));
    QVERIFY(writeFile(root.filePath(QStringLiteral("shown/notes.txt")), "n"));
    QVERIFY(writeFile(root.filePath(QStringLiteral("outside/letter.txt")), "dear"));
    const QUrl shown = QUrl::fromLocalFile(root.filePath(QStringLiteral("shown")));
    SortedFolderModel model;
    model.setItems(shown, FileListing::contents(shown));
    QListView view;
    view.setModel(&model);
    view.resize(300, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    FileDropHandler drops(&view);
    drops.targetAt = [&](const QPoint &position) -> std::optional<FileDropHandler::Target> {
        const QModelIndex row = view.indexAt(position);
        if (!row.isValid())
            return FileDropHandler::Target{shown, {}, true};
        if (!model.itemAt(row).isBrowsable())
            return std::nullopt;
        return FileDropHandler::Target{model.itemAt(row).url(), row, false};
    };
    QList<QUrl> opened;
    drops.onSpringLoad = [&](const QUrl &folder, const QModelIndex &) { opened.append(folder); };
    QList<QUrl> placed;
    drops.onDropped = [&](const QUrl &, const QList<QUrl> &, const QList<QUrl> &where) { placed += where; };

    const QModelIndex inbox = model.indexOf(QUrl::fromLocalFile(root.filePath(QStringLiteral("shown/Inbox"))));
    const QPoint overInbox = view.visualRect(inbox).center();
    const QPoint overNotes = view.visualRect(model.indexOf(QUrl::fromLocalFile(root.filePath(QStringLiteral("shown/notes.txt"))))).center();
    const QPoint background(150, 280);
    const QUrl letter = QUrl::fromLocalFile(root.filePath(QStringLiteral("outside/letter.txt")));
    std::unique_ptr<QMimeData> data(FilePasteboard::mimeData({letter}));
    const Qt::DropActions both = Qt::CopyAction | Qt::MoveAction;
    const auto moveTo = [&](const QPoint &where, Qt::KeyboardModifiers keys) {
        QDragMoveEvent move(where, both, data.get(), Qt::LeftButton, keys);
        drops.dragMove(&move);
        return move.isAccepted() ? move.dropAction() : Qt::IgnoreAction;
    };

    QDragEnterEvent enter(overNotes, both, data.get(), Qt::LeftButton, {});
    drops.dragEnter(&enter);
    QVERIFY(enter.isAccepted()); // so that the moves keep coming
    QCOMPARE(enter.dropAction(), Qt::IgnoreAction);
    QCOMPARE(moveTo(overInbox, Qt::ControlModifier), Qt::CopyAction);
    QCOMPARE(drops.highlightedRow(), inbox);
    QCOMPARE(moveTo(overInbox, Qt::ShiftModifier), Qt::MoveAction);
    // A file's row refuses the drop and stops the folder from opening.
    QCOMPARE(moveTo(overNotes, {}), Qt::IgnoreAction);
    QVERIFY(!drops.highlightedRow().isValid() && !drops.springLoadTimer()->isArmed());
    QCOMPARE(moveTo(background, {}), Qt::MoveAction);
    QVERIFY(drops.isHighlightingShownFolder());

    // Resting on the folder opens it, once.
    QCOMPARE(moveTo(overInbox, {}), Qt::MoveAction);
    QTRY_COMPARE_WITH_TIMEOUT(opened, QList<QUrl>{inbox.data(SortedFolderModel::UrlRole).toUrl()}, 2000);
    drops.dragLeave();
    QVERIFY(!drops.highlightedRow().isValid() && !drops.isHighlightingShownFolder());
    QTest::qWait(SpringLoadTimer::delayMilliseconds + 100);
    QCOMPARE(opened.size(), 1);

    // The keys held at the drop decide: Ctrl copies, Shift moves.
    QDropEvent copy(background, both, data.get(), Qt::LeftButton, Qt::ControlModifier);
    drops.drop(&copy);
    QVERIFY(copy.isAccepted());
    QCOMPARE(copy.dropAction(), Qt::CopyAction);
    // The drop is a file job: accepted at once, placed when it ends.
    QTRY_COMPARE_WITH_TIMEOUT(placed.size(), 1, 5'000);
    QCOMPARE(entriesOf(root.filePath(QStringLiteral("outside"))), QStringList{"letter.txt"});
    QDropEvent move(overInbox, both, data.get(), Qt::LeftButton, Qt::ShiftModifier);
    drops.drop(&move);
    QVERIFY(move.isAccepted());
    QTRY_COMPARE_WITH_TIMEOUT(placed.size(), 2, 5'000);
    QCOMPARE(entriesOf(root.filePath(QStringLiteral("outside"))), QStringList());
    QCOMPARE(placed, (QList<QUrl>{QUrl::fromLocalFile(root.filePath(QStringLiteral("shown/letter.txt"))),
                                  QUrl::fromLocalFile(root.filePath(QStringLiteral("shown/Inbox/letter.txt")))}));
    QVERIFY(!drops.springLoadTimer()->isArmed());
}

TW_TEST_MAIN_WITH(QApplication, FileDropsTest)
#include "tst_FileDrops.moc"
