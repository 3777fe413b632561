#include "FSUIKit/DisplayNameText.h"
#include "FSUIKit/FileDropHandler.h"
#include "FSUIKit/FilePasteboard.h"

#include "ScratchMount.h"
#include "TestHome.h"

#include <QApplication>
#include <QDir>
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

TW_TEST_MAIN_WITH(QApplication, FileDropsTest)
#include "tst_FileDrops.moc"
