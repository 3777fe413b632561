#include "TestHome.h"

#include "FSPlatform/PathCodec.h"
#include "FSQuickLook/PreviewContent.h"
#include "FSQuickLook/PreviewPanel.h"
#include "FSQuickLook/PreviewPanelDataSource.h"
#include "FSQuickLook/SpacebarMonitor.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// A JPEG of `size` whose EXIF data says it is to be turned a quarter clockwise.
QByteArray jpegTurnedByExif(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    const QByteArray tiff = QByteArray("MM\0*\0\0\0\x08", 8) // big-endian header, first IFD at 8
        + QByteArray("\0\x01", 2)                           // one entry
        + QByteArray("\x01\x12\0\x03\0\0\0\x01\0\x06\0\0", 12) // orientation (short) = 6
        + QByteArray("\0\0\0\0", 4);
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(body.size()) + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char(length >> 8)).append(char(length & 0xFF)).append(body);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

void writePdf(const QString &path, int pages)
{
    QPdfWriter writer(path);
    QPainter painter(&writer);
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.drawText(100, 100, QStringLiteral("Page %1").arg(page + 1));
    }
}

PreviewContent previewOf(const QString &path)
{
    const std::atomic<bool> cancelled{false};
    return PreviewContent::make(PathCodec::urlForPath(path), 512, cancelled);
}

class ListSource : public QObject, public PreviewPanelDataSource
{
public:
    QList<QUrl> urls;
    QList<int> selected;
    int endings = 0;
    int numberOfPreviewItems(PreviewPanel *) override { return int(urls.size()); }
    QUrl previewPanel(PreviewPanel *, int index) override { return urls.value(index); }
    void previewPanelDidChangeCurrentItem(PreviewPanel *, int index) override { selected.append(index); }
    void previewPanelDidEndOwnership(PreviewPanel *) override { ++endings; }
};

} // namespace

class PreviewPanelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void eachKindOfFileGetsItsPreview_data();
    void eachKindOfFileGetsItsPreview();
    void brokenOrHugeFilesFallBackToTheIcon_data();
    void brokenOrHugeFilesFallBackToTheIcon();
    void oneWindowOwnsThePanelAndTheOneBeforeIsTold();
    void aChangedListShowsTheItemNotTheOldIndex();
    void aStaleRenderIsDropped();
    void spaceActsOnlyInItsOwnWindowAndNeverInAField();
};

void PreviewPanelTest::eachKindOfFileGetsItsPreview_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expected");
    using Kind = PreviewContent::Kind;
    QTest::newRow("jpeg turned by exif") << "photo.jpg" << jpegTurnedByExif(QSize(80, 40)) << int(Kind::image) << "40x80";
    QTest::newRow("pdf") << "paper.pdf" << QByteArray() << int(Kind::document) << "3 pages";
    QTest::newRow("utf-8 text") << "notes.txt" << QByteArray("résumé\n") << int(Kind::text) << "résumé\n";
    QTest::newRow("latin-1 text") << "old.txt" << QByteArray("caf\xe9\n") << int(Kind::text) << "café\n";
    QTest::newRow("source without a known type") << "Makefile" << QByteArray("all:\n\ttrue\n") << int(Kind::text)
                                                 << "all:\n\ttrue\n";
    QTest::newRow("binary named text") << "data.txt" << QByteArray("ab\0cd", 5) << int(Kind::generic) << "";
    QTest::newRow("binary without a type") << "blob" << QByteArray("\x7f" "ELF\0\0\x01", 7) << int(Kind::generic) << "";
    QTest::newRow("long text is cut") << "long.txt" << QByteArray(300 * 1024, 'a') << int(Kind::text) << "cut";
}

void PreviewPanelTest::eachKindOfFileGetsItsPreview()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(int, kind);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (name.endsWith(QLatin1String(".pdf")))
        writePdf(path, 3);
    else
        QVERIFY(tw::test::writeFile(path, contents));
    const PreviewContent content = previewOf(path);
    QCOMPARE(int(content.kind), kind);
    switch (content.kind) {
    case PreviewContent::Kind::image:
        QCOMPARE(QStringLiteral("%1x%2").arg(content.image.width()).arg(content.image.height()), expected);
        QCOMPARE(content.imageSize, content.image.size());
        break;
    case PreviewContent::Kind::document:
        QCOMPARE(QStringLiteral("%1 pages").arg(content.pageCount), expected);
        QVERIFY(!content.image.isNull());
        break;
    case PreviewContent::Kind::text:
        if (expected == QLatin1String("cut")) {
            QVERIFY(content.isTextCut);
            QCOMPARE(content.text.size(), PreviewContent::textLimit);
        } else {
            QCOMPARE(content.text, expected);
        }
        break;
    default:
        break;
    }
}

void PreviewPanelTest::brokenOrHugeFilesFallBackToTheIcon_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("broken jpeg") << "broken.jpg" << QByteArray("\xFF\xD8\xFF\xE0 not really", 15);
    // A header claiming a picture far too big to decode.
    QByteArray png = QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) + QByteArray("\0\x01\x86\xa0\0\x01\x86\xa0\x08\x02\0\0\0", 13);
    QTest::newRow("huge png") << "huge.png" << png;
    QTest::newRow("broken pdf") << "broken.pdf" << QByteArray("%PDF-1.4 nothing else");
    QTest::newRow("pipe") << "pipe.txt" << QByteArray();
    QTest::newRow("folder") << "folder" << QByteArray();
}

void PreviewPanelTest::brokenOrHugeFilesFallBackToTheIcon()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (name == QLatin1String("pipe.txt")) {
        // Opening a pipe for reading would wait for a writer that never comes.
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (name == QLatin1String("folder")) {
        for (const char *entry : {"a", "b", "c", ".hidden"})
            QVERIFY(tw::test::writeFile(path + QLatin1Char('/') + QLatin1String(entry)));
    } else {
        QVERIFY(tw::test::writeFile(path, contents));
    }
    const PreviewContent content = previewOf(path);
    if (name == QLatin1String("folder")) {
        QCOMPARE(content.kind, PreviewContent::Kind::folder);
        QCOMPARE(content.itemCount, 3);
    } else {
        QCOMPARE(content.kind, PreviewContent::Kind::generic);
        QVERIFY(content.image.isNull());
    }
    QVERIFY(content.attributes.exists);
}

void PreviewPanelTest::oneWindowOwnsThePanelAndTheOneBeforeIsTold()
{
    PreviewPanel *panel = PreviewPanel::shared();
    ListSource first;
    auto *second = new ListSource;
    first.urls = {QUrl::fromLocalFile(QStringLiteral("/nonexistent/a"))};
    second->urls = first.urls;
    panel->setDataSource(&first, &first);
    panel->setDataSource(&first, &first);
    QCOMPARE(first.endings, 0);
    panel->setDataSource(second, second);
    QCOMPARE(first.endings, 1);
    panel->reloadData();
    panel->show();
    // The window that owns it goes: nothing of it is asked again.
    delete second;
    QVERIFY(!panel->dataSource());
    QVERIFY(!panel->isVisible());
    panel->reloadData();
    QCOMPARE(panel->itemCount(), 0);

    // Closed by its own control: the owner hears it.
    panel->setDataSource(&first, &first);
    panel->show();
    panel->close();
    QCOMPARE(first.endings, 2);
    QVERIFY(!panel->dataSource());
}

void PreviewPanelTest::aChangedListShowsTheItemNotTheOldIndex()
{
    QTemporaryDir dir;
    ListSource source;
    for (const char *name : {"a.txt", "b.txt", "c.txt", "x.txt"}) {
        QVERIFY(tw::test::writeFile(dir.filePath(QLatin1String(name)), name));
        source.urls.append(PathCodec::urlForPath(dir.filePath(QLatin1String(name))));
    }
    const QUrl b = source.urls.at(1);
    source.urls.removeLast();
    PreviewPanel *panel = PreviewPanel::shared();
    panel->setDataSource(&source, &source);
    panel->reloadData();
    panel->setCurrentPreviewItemIndex(1);
    QTRY_COMPARE(panel->shownContent().url, b);

    source.urls.prepend(PathCodec::urlForPath(dir.filePath(QStringLiteral("x.txt"))));
    panel->reloadData();
    QCOMPARE(panel->currentPreviewItemIndex(), 2);
    QCOMPARE(panel->currentURL(), b);

    // Stepping is clamped to the list and the browser is told.
    panel->step(5);
    QCOMPARE(panel->currentPreviewItemIndex(), 3);
    panel->step(-9);
    QCOMPARE(panel->currentPreviewItemIndex(), 0);
    QCOMPARE(source.selected, QList<int>({3, 0}));
    // The shown item leaves the list: the panel moves on rather than keep it.
    source.urls = {source.urls.at(3)};
    panel->reloadData();
    QTRY_COMPARE(panel->shownContent().url, source.urls.at(0));
    panel->releaseOwnership(&source);
}

void PreviewPanelTest::aStaleRenderIsDropped()
{
    QTemporaryDir dir;
    ListSource source;
    for (int i = 0; i < 5; ++i) {
        const QString path = dir.filePath(QStringLiteral("%1.pdf").arg(i));
        writePdf(path, 1);
        source.urls.append(PathCodec::urlForPath(path));
    }
    PreviewPanel *panel = PreviewPanel::shared();
    panel->setDataSource(&source, &source);
    QSignalSpy shown(panel, &PreviewPanel::previewShown);
    panel->reloadData();
    for (int i = 1; i < 5; ++i)
        panel->setCurrentPreviewItemIndex(i);
    QTRY_VERIFY(!panel->isRendering());
    QTest::qWait(100);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.at(0).at(0).toUrl(), source.urls.at(4));
    panel->releaseOwnership(&source);
}

void PreviewPanelTest::spaceActsOnlyInItsOwnWindowAndNeverInAField()
{
    QWidget first;
    QWidget second;
    auto *view = new QWidget(&first);
    view->setFocusPolicy(Qt::StrongFocus);
    auto *field = new QLineEdit(&first);
    auto *otherView = new QWidget(&second);
    int firstToggles = 0;
    int secondToggles = 0;
    QList<int> arrows;
    bool shown = false;
    SpacebarMonitor firstMonitor(&first);
    firstMonitor.onToggle = [&] { ++firstToggles; };
    firstMonitor.isPreviewShown = [&] { return shown; };
    firstMonitor.onArrow = [&](int direction) { arrows.append(direction); };
    SpacebarMonitor secondMonitor(&second);
    secondMonitor.onToggle = [&] { ++secondToggles; };

    QTest::keyClick(view, Qt::Key_Space);
    QCOMPARE(firstToggles, 1);
    QCOMPARE(secondToggles, 0);
    QTest::keyClick(otherView, Qt::Key_Space);
    QCOMPARE(firstToggles, 1);
    QCOMPARE(secondToggles, 1);
    QTest::keyClick(view, Qt::Key_Space, Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_Space, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Space, Qt::AltModifier);
    QCOMPARE(firstToggles, 1);
    QTest::keyClick(field, Qt::Key_Space);
    QCOMPARE(firstToggles, 1);
    QCOMPARE(field->text(), QStringLiteral(" "));

    QTest::keyClick(view, Qt::Key_Down);
    QVERIFY(arrows.isEmpty());
    shown = true;
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Up);
    QCOMPARE(arrows, QList<int>({1, -1}));
}

QTEST_MAIN(PreviewPanelTest)
#include "tst_PreviewPanel.moc"
