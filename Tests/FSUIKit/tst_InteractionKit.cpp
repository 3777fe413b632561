#include "ScratchMount.h"
#include "TestHome.h"

#include "FSPlatform/PathCodec.h"
#include "FSUIKit/ClosureMenuItem.h"
#include "FSUIKit/DragOperationResolver.h"
#include "FSUIKit/FilePasteboard.h"
#include "FSUIKit/SpringLoadTimer.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>

namespace {

QUrl fileUrl(const QString &path)
{
    return PathCodec::urlForPath(path);
}

} // namespace

class InteractionKitTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pasteboardKeepsFilesInOrder();
    void pasteboardReadsOnlyLocalFiles_data();
    void pasteboardReadsOnlyLocalFiles();
    void otherFileManagersCanPasteWhatWeCopy();
    void dragKeysDecideCopyOrMove_data();
    void dragKeysDecideCopyOrMove();
    void springLoadingOpensAFolderOnlyAfterAFullRest();
    void springLoadingNeverFiresAfterCancelOrDestruction();
    void closureMenuItemRunsItsHandler();
};

void InteractionKitTest::pasteboardKeepsFilesInOrder()
{
    const QList<QUrl> urls{fileUrl("/tmp/z last.txt"), fileUrl("/tmp/a first"), fileUrl("/tmp/50%.txt")};
    FilePasteboard::write(urls);
    QCOMPARE(FilePasteboard::readURLs(), urls);
    FilePasteboard::write({});
    QCOMPARE(FilePasteboard::readURLs(), QList<QUrl>{});
}

void InteractionKitTest::pasteboardReadsOnlyLocalFiles_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<QUrl>>("expected");
    QTest::newRow("web address only") << "text/uri-list" << QByteArray("https://example.org/a\r\n") << QList<QUrl>{};
    QTest::newRow("mixed keeps files in order")
        << "text/uri-list" << QByteArray("file:///tmp/b\r\nhttps://example.org/\r\nfile:///tmp/a\r\n")
        << QList<QUrl>{fileUrl("/tmp/b"), fileUrl("/tmp/a")};
    QTest::newRow("trailing slash is one form") << "text/uri-list" << QByteArray("file:///tmp/folder/\r\n")
                                                << QList<QUrl>{fileUrl("/tmp/folder")};
    QTest::newRow("plain text is no file") << "text/plain" << QByteArray("/tmp/a") << QList<QUrl>{};
    QTest::newRow("other file manager's copy") << "x-special/gnome-copied-files"
                                               << QByteArray("copy\nfile:///tmp/x%20y\nfile:///tmp/z")
                                               << QList<QUrl>{fileUrl("/tmp/x y"), fileUrl("/tmp/z")};
    QTest::newRow("other file manager's cut") << "x-special/gnome-copied-files" << QByteArray("cut\nfile:///tmp/c\n")
                                              << QList<QUrl>{fileUrl("/tmp/c")};
    QTest::newRow("damaged") << "x-special/gnome-copied-files" << QByteArray("\xff\xfe\n\n::::") << QList<QUrl>{};
    QTest::newRow("empty") << "text/uri-list" << QByteArray() << QList<QUrl>{};
}

void InteractionKitTest::pasteboardReadsOnlyLocalFiles()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, data);
    QFETCH(QList<QUrl>, expected);
    auto *mime = new QMimeData;
    mime->setData(format, data);
    QGuiApplication::clipboard()->setMimeData(mime);
    QCOMPARE(FilePasteboard::readURLs(), expected);
}

void InteractionKitTest::otherFileManagersCanPasteWhatWeCopy()
{
    FilePasteboard::write({fileUrl("/tmp/one two"), fileUrl("/tmp/three")});
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data);
    QCOMPARE(data->data("x-special/gnome-copied-files"), QByteArray("copy\nfile:///tmp/one%20two\nfile:///tmp/three"));
    QCOMPARE(data->data("text/uri-list"), QByteArray("file:///tmp/one%20two\r\nfile:///tmp/three\r\n"));
}

void InteractionKitTest::dragKeysDecideCopyOrMove_data()
{
    QTest::addColumn<bool>("otherVolume");
    QTest::addColumn<Qt::KeyboardModifiers>("keys");
    QTest::addColumn<DragOperationKind>("expected");
    QTest::newRow("plain, same volume") << false << Qt::KeyboardModifiers() << DragOperationKind::move;
    QTest::newRow("ctrl copies") << false << Qt::KeyboardModifiers(Qt::ControlModifier) << DragOperationKind::copy;
    QTest::newRow("ctrl wins over shift") << false << (Qt::ControlModifier | Qt::ShiftModifier) << DragOperationKind::copy;
    QTest::newRow("alt is no key here") << false << Qt::KeyboardModifiers(Qt::AltModifier) << DragOperationKind::move;
    QTest::newRow("plain, other volume") << true << Qt::KeyboardModifiers() << DragOperationKind::copy;
    QTest::newRow("shift moves") << true << Qt::KeyboardModifiers(Qt::ShiftModifier) << DragOperationKind::move;
}

void InteractionKitTest::dragKeysDecideCopyOrMove()
{
    QFETCH(bool, otherVolume);
    QFETCH(Qt::KeyboardModifiers, keys);
    QFETCH(DragOperationKind, expected);
    tw::test::ScratchMount scratch;
    if (otherVolume && !scratch.isMounted())
        QSKIP(qPrintable(scratch.whyNot()));
    tw::test::TemporaryFolder dir;
    QVERIFY(tw::test::writeFile(dir.path() + "/dragged"));
    DragModifierTracker tracker;
    tracker.sample(keys);
    QCOMPARE(tracker.resolve(fileUrl(dir.path() + "/dragged"), fileUrl(otherVolume ? scratch.path() : dir.path())), expected);
    // A new sample replaces the old one entirely.
    tracker.sample(Qt::NoModifier);
    QVERIFY(!tracker.optionHeld() && !tracker.commandHeld());
}

void InteractionKitTest::springLoadingOpensAFolderOnlyAfterAFullRest()
{
    SpringLoadTimer timer;
    QList<QUrl> opened;
    timer.onActivate = [&](const QUrl &url) { opened.append(url); };
    const QUrl a = fileUrl("/tmp/A"), b = fileUrl("/tmp/B");

    timer.hover(a);
    QTest::qWait(500);
    timer.hover(b);
    QElapsedTimer sinceBackOverA;
    sinceBackOverA.start();
    timer.hover(a);
    QTest::qWait(500);
    QCOMPARE(opened, QList<QUrl>{}); // each change of folder started afresh

    // Hover events keep coming while the drag rests; they must not restart it.
    while (opened.isEmpty() && sinceBackOverA.elapsed() < 3000) {
        timer.hover(a);
        QTest::qWait(20);
    }
    QCOMPARE(opened, QList<QUrl>{a});
    QVERIFY2(sinceBackOverA.elapsed() >= SpringLoadTimer::delayMilliseconds - 20, qPrintable(QString::number(sinceBackOverA.elapsed())));
    QVERIFY2(sinceBackOverA.elapsed() < 1500, qPrintable(QString::number(sinceBackOverA.elapsed())));
    QVERIFY(!timer.target());
    QTest::qWait(SpringLoadTimer::delayMilliseconds + 200);
    QCOMPARE(opened.size(), 1); // once
}

void InteractionKitTest::springLoadingNeverFiresAfterCancelOrDestruction()
{
    int activations = 0;
    {
        SpringLoadTimer timer;
        timer.onActivate = [&](const QUrl &) { ++activations; };
        timer.hover(fileUrl("/tmp/A"));
        timer.cancel(); // the drag left the folder
        QVERIFY(!timer.isArmed());
        timer.hover(fileUrl("/tmp/B"));
    }
    QTest::qWait(SpringLoadTimer::delayMilliseconds + 300);
    QCOMPARE(activations, 0);
}

void InteractionKitTest::closureMenuItemRunsItsHandler()
{
    int runs = 0;
    ClosureMenuItem item(QStringLiteral("Duplicate"), [&] { ++runs; });
    QVERIFY(item.shortcut().isEmpty());
    item.trigger();
    item.trigger();
    QCOMPARE(runs, 2);
    ClosureMenuItem empty(QStringLiteral("Nothing"), {});
    empty.trigger(); // an absent handler is no crash
}

TW_GUI_TEST_MAIN(InteractionKitTest)
#include "tst_InteractionKit.moc"
