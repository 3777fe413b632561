#include "ScratchMount.h"
#include "TestHome.h"

#include "FSPlatform/FileUri.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/ClosureMenuItem.h"
#include "FSUIKit/DragOperationResolver.h"
#include "FSUIKit/FilePasteboard.h"
#include "FSUIKit/SpringLoadTimer.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>

#include <unistd.h>

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
    void pasteboardCarriesFilesInOrderWithTheirBytes();
    void pasteboardReadsOnlyLocalFiles_data();
    void pasteboardReadsOnlyLocalFiles();
    void dragKeysDecideCopyOrMove_data();
    void dragKeysDecideCopyOrMove();
    void springLoadingOpensAFolderOnlyAfterAFullRest();
    void springLoadingNeverFiresAfterCancelOrDestruction();
    void closureMenuItemRunsItsHandler();
};

void InteractionKitTest::pasteboardCarriesFilesInOrderWithTheirBytes()
{
    tw::test::TemporaryFolder dir;
    const QByteArray folder = PathCodec::encode(dir.path());
    // A Latin-1 name: its byte \xe9 is not UTF-8.
    const QByteArray latin1 = folder + "/caf\xe9.txt";
    QVERIFY(tw::test::writeRawFile(latin1));
    const QUrl cafe = fileUrl(PathCodec::decode(latin1));
    const QList<QUrl> urls{fileUrl(dir.path() + "/z last.txt"), cafe, fileUrl(dir.path() + "/50%.txt")};

    FilePasteboard::write(urls);
    // Byte by byte, as other file managers write and read them.
    const QByteArray uri = FileUri::forPath(folder);
    const QByteArray uris[] = {uri + "/z%20last.txt", uri + "/caf%E9.txt", uri + "/50%25.txt"};
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    QCOMPARE(data->data("text/uri-list"), uris[0] + "\r\n" + uris[1] + "\r\n" + uris[2] + "\r\n");
    QCOMPARE(data->data("x-special/gnome-copied-files"), "copy\n" + uris[0] + '\n' + uris[1] + '\n' + uris[2]);
    const QList<QUrl> read = FilePasteboard::readURLs();
    QCOMPARE(read, urls);
    QCOMPARE(::access(PathCodec::encodePath(read[1]).constData(), F_OK), 0);

    // What another file manager puts there for the same file.
    for (const char *format : {"text/uri-list", "x-special/gnome-copied-files"}) {
        auto *theirs = new QMimeData;
        const bool isUriList = qstrcmp(format, "text/uri-list") == 0;
        theirs->setData(QLatin1String(format), isUriList ? QByteArray(uris[1] + "\r\n") : QByteArray("cut\n" + uris[1]));
        QGuiApplication::clipboard()->setMimeData(theirs);
        QCOMPARE(FilePasteboard::readURLs(), QList<QUrl>{cafe});
    }
    FilePasteboard::write({});
    QCOMPARE(FilePasteboard::readURLs(), QList<QUrl>{});
}

void InteractionKitTest::pasteboardReadsOnlyLocalFiles_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<QUrl>>("expected");
    QTest::newRow("files in order, no web address or other host")
        << "text/uri-list"
        << QByteArray("# comment\r\nfile:///tmp/b\r\nhttps://example.org/\r\nfile://nas/tmp/c\r\nfile://localhost/tmp/a\r\n")
        << QList<QUrl>{fileUrl("/tmp/b"), fileUrl("/tmp/a")};
    QTest::newRow("trailing slash is one form") << "text/uri-list" << QByteArray("file:///tmp/folder/\r\n")
                                                << QList<QUrl>{fileUrl("/tmp/folder")};
    QTest::newRow("escaped slash is no name") << "x-special/gnome-copied-files"
                                              << QByteArray("copy\nfile:///tmp/a%2Fb\nfile:///tmp/x%20y")
                                              << QList<QUrl>{fileUrl("/tmp/x y")};
    QTest::newRow("plain text is no file") << "text/plain" << QByteArray("/tmp/a") << QList<QUrl>{};
    QTest::newRow("damaged") << "x-special/gnome-copied-files" << QByteArray("\xff\xfe\n\n::::\nfile:///tmp/%00")
                             << QList<QUrl>{};
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

void InteractionKitTest::dragKeysDecideCopyOrMove_data()
{
    QTest::addColumn<bool>("otherVolume");
    QTest::addColumn<Qt::KeyboardModifiers>("keys");
    QTest::addColumn<DragOperationKind>("expected");
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
    item.trigger();
    QCOMPARE(runs, 1);
    ClosureMenuItem empty(QStringLiteral("Nothing"), {});
    empty.trigger(); // an absent handler is no crash
}

TW_GUI_TEST_MAIN(InteractionKitTest)
#include "tst_InteractionKit.moc"
