#include "TestHome.h"

#include "FSPlatform/FileUri.h"
#include "FSPlatform/PathCodec.h"
#include "FSQuickLook/ThumbnailLoader.h"

#include <QCryptographicHash>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPdfWriter>
#include <QtEndian>

using tw::test::TemporaryFolder;

namespace {

QUrl urlOf(const QString &path)
{
    return PathCodec::urlForPath(path);
}

bool saveImage(const QString &path, QSize size, QColor color, const char *format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image.save(path, format);
}

bool savePdf(const QString &path)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter(&writer);
    painter.fillRect(QRect(0, 0, writer.width(), writer.height() / 2), Qt::blue);
    return painter.end();
}

quint32 crc32Of(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG whose header claims 30,000 × 30,000 pixels and whose data stops there.
QByteArray hugePngHeader()
{
    QByteArray ihdr("IHDR");
    quint32 side = qToBigEndian<quint32>(30000);
    ihdr.append(reinterpret_cast<const char *>(&side), 4).append(reinterpret_cast<const char *>(&side), 4);
    ihdr.append("\x08\x06\x00\x00\x00", 5);
    const quint32 length = qToBigEndian<quint32>(13);
    const quint32 crc = qToBigEndian<quint32>(crc32Of(ihdr));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(reinterpret_cast<const char *>(&length), 4) + ihdr
        + QByteArray(reinterpret_cast<const char *>(&crc), 4);
}

// A tEXt chunk of a PNG file, read the way other programs read it.
QByteArray pngText(const QString &path, const QByteArray &key)
{
    const QByteArray png = tw::test::contentsOf(path);
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const quint32 length = qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(png.constData() + at));
        if (png.mid(at + 4, 4) == "tEXt" && png.mid(at + 8, length).startsWith(QByteArray(key + '\0')))
            return png.mid(at + 8 + key.size() + 1, length - key.size() - 1);
        at += 12 + length;
    }
    return {};
}

QString cacheFileFor(const QString &path, const char *flavour = "normal")
{
    const QByteArray uri = FileUri::forPath(QFile::encodeName(path));
    return qEnvironmentVariable("XDG_CACHE_HOME") + "/thumbnails/" + flavour + '/'
        + QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() + ".png";
}

// Asks for a thumbnail at 64 points, scale 2, and counts the answers.
struct Asker
{
    QList<QImage> answers;
    std::shared_ptr<ThumbnailRequest> request;

    void ask(const QString &path, qreal points = 64, QObject *context = nullptr)
    {
        request = ThumbnailLoader::thumbnail(urlOf(path), QSizeF(points, points), 2.0, context,
                                             [this](const QImage &image) { answers.append(image); });
    }
};

} // namespace

class ThumbnailLoaderTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void imagesAndDocumentsGetThumbnails_data();
    void imagesAndDocumentsGetThumbnails();
    void oneThumbnailServesEverySize();
    void filesWithoutThumbnailNeverAnswer_data();
    void filesWithoutThumbnailNeverAnswer();
    void cancelledOrOrphanedRequestsNeverAnswer();
    void diskCacheIsSharedAndFollowsChanges();
    void memoryStaysWithinItsLimit();

private:
    TemporaryFolder m_dir;
};

void ThumbnailLoaderTest::init()
{
    ThumbnailLoader::clearMemory();
    ThumbnailLoader::setMemoryLimit(64 * 1024 * 1024);
}

void ThumbnailLoaderTest::imagesAndDocumentsGetThumbnails_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("expected"); // pixels, for 64 points at scale 2
    QTest::newRow("png, wide") << "wide.png" << QSize(128, 64);
    QTest::newRow("jpeg, decoded at reduced size") << "photo.jpg" << QSize(128, 96);
    QTest::newRow("small image is not enlarged") << "icon.png" << QSize(40, 30);
    QTest::newRow("pdf first page") << "paper.pdf" << QSize(91, 128);
}

void ThumbnailLoaderTest::imagesAndDocumentsGetThumbnails()
{
    QFETCH(QString, name);
    QFETCH(QSize, expected);
    const QString path = m_dir.path() + '/' + name;
    if (name == "wide.png")
        QVERIFY(saveImage(path, QSize(600, 300), Qt::red, "png"));
    else if (name == "photo.jpg")
        QVERIFY(saveImage(path, QSize(2000, 1500), Qt::green, "jpeg"));
    else if (name == "icon.png")
        QVERIFY(saveImage(path, QSize(40, 30), Qt::red, "png"));
    else
        QVERIFY(savePdf(path));

    Asker asker;
    asker.ask(path);
    QVERIFY(asker.request); // not from memory the first time
    QTRY_COMPARE_WITH_TIMEOUT(asker.answers.size(), 1, 10000);
    const QImage image = asker.answers.first();
    QVERIFY(qAbs(image.width() - expected.width()) <= 1 && qAbs(image.height() - expected.height()) <= 1);
    QCOMPARE(image.devicePixelRatio(), 2.0);
    QTest::qWait(100);
    QCOMPARE(asker.answers.size(), 1);
}

void ThumbnailLoaderTest::oneThumbnailServesEverySize()
{
    const QString path = m_dir.path() + "/any size.png";
    QVERIFY(saveImage(path, QSize(800, 800), Qt::red, "png"));
    Asker first;
    first.ask(path, 64);
    QTRY_COMPARE_WITH_TIMEOUT(first.answers.size(), 1, 10000);
    const int rendered = ThumbnailLoader::renderedCount();

    Asker larger;
    larger.ask(path, 128);
    QVERIFY(!larger.request);
    QCOMPARE(larger.answers.size(), 1); // at once, inside the call
    QCOMPARE(larger.answers.first().size(), first.answers.first().size());
    QCOMPARE(ThumbnailLoader::renderedCount(), rendered);
}

void ThumbnailLoaderTest::filesWithoutThumbnailNeverAnswer_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("text") << "notes.txt" << QByteArray("just text");
    QTest::newRow("corrupt png") << "broken.png" << QByteArray("\x89PNG\r\n\x1a\n garbage garbage garbage");
    QTest::newRow("huge dimensions") << "huge.png" << hugePngHeader();
    QTest::newRow("empty jpeg") << "empty.jpg" << QByteArray();
    QTest::newRow("not a pdf") << "fake.pdf" << QByteArray("%PDF-1.4 nothing else");
    QTest::newRow("vanished") << "gone.png" << QByteArray("<none>");
    QTest::newRow("decompression bomb") << "bomb.png" << QByteArray("<bomb>");
}

void ThumbnailLoaderTest::filesWithoutThumbnailNeverAnswer()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    const QString path = m_dir.path() + '/' + name;
    if (contents == "<bomb>") {
        // Some kilobytes on disk, a gigabyte once decoded to 32 bits a pixel.
        QImage bomb(16000, 16000, QImage::Format_Mono);
        bomb.fill(0);
        QVERIFY(bomb.save(path, "png"));
        QVERIFY(QFileInfo(path).size() < 1024 * 1024);
    } else if (contents != "<none>") {
        QVERIFY(tw::test::writeFile(path, contents));
    }
    Asker asker;
    asker.ask(path);
    QVERIFY(asker.request);
    QTest::qWait(700);
    QCOMPARE(asker.answers.size(), 0);
    QCOMPARE(ThumbnailLoader::memoryUsed(), 0);
    // Nothing was remembered: the next request asks again.
    asker.ask(path);
    QVERIFY(asker.request);
}

void ThumbnailLoaderTest::cancelledOrOrphanedRequestsNeverAnswer()
{
    const QString path = m_dir.path() + "/wanted.jpg";
    QVERIFY(saveImage(path, QSize(3000, 2000), Qt::blue, "jpeg"));
    Asker cancelled;
    cancelled.ask(path);
    ThumbnailLoader::cancel(cancelled.request);

    Asker orphaned;
    {
        QObject view;
        orphaned.ask(path, 64, &view);
    }
    Asker wanted;
    wanted.ask(m_dir.path() + "/wanted.jpg", 32);
    QTRY_VERIFY_WITH_TIMEOUT(!wanted.answers.isEmpty(), 10000);
    QTest::qWait(300);
    QCOMPARE(cancelled.answers.size(), 0);
    QCOMPARE(orphaned.answers.size(), 0);
    ThumbnailLoader::cancel({}); // no request: nothing to do
}

void ThumbnailLoaderTest::diskCacheIsSharedAndFollowsChanges()
{
    const QString path = m_dir.path() + "/shared thumb.png";
    QVERIFY(saveImage(path, QSize(500, 500), Qt::red, "png"));
    Asker asker;
    asker.ask(path);
    QTRY_COMPARE_WITH_TIMEOUT(asker.answers.size(), 1, 10000);

    const QString cached = cacheFileFor(path);
    QTRY_VERIFY(QFileInfo::exists(cached));
    QCOMPARE(pngText(cached, "Thumb::URI"), FileUri::forPath(QFile::encodeName(path)));
    QCOMPARE(pngText(cached, "Thumb::MTime"), QByteArray::number(QFileInfo(path).lastModified().toSecsSinceEpoch()));
    QCOMPARE(pngText(cached, "Thumb::Size"), QByteArray::number(QFileInfo(path).size()));
    QVERIFY(!QImage(cached).isNull());
    QCOMPARE(QFileInfo(cached).permissions() & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
    QCOMPARE(tw::test::modeOf(QFileInfo(cached).absolutePath()) & 0777, mode_t(0700));

    // Another run of the program (an empty map) reads it instead of decoding.
    ThumbnailLoader::clearMemory();
    const int rendered = ThumbnailLoader::renderedCount();
    asker.ask(path);
    QTRY_COMPARE_WITH_TIMEOUT(asker.answers.size(), 2, 10000);
    QCOMPARE(ThumbnailLoader::renderedCount(), rendered);

    // The file changes: the map answers at once without a look at the disk,
    // then corrects itself; neither it nor the disk cache keeps the old picture.
    QVERIFY(saveImage(path, QSize(500, 250), Qt::blue, "png"));
    QVERIFY(tw::test::setModificationTime(path, QDateTime::currentSecsSinceEpoch() + 60));
    asker.ask(path);
    QVERIFY(!asker.request);
    QCOMPARE(asker.answers.size(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(asker.answers.size(), 4, 10000);
    QCOMPARE(ThumbnailLoader::renderedCount(), rendered + 1);
    QCOMPARE(asker.answers.last().pixelColor(10, 10), QColor(Qt::blue));
    Asker later;
    later.ask(path);
    QCOMPARE(later.answers.size(), 1);
    QCOMPARE(later.answers.first().pixelColor(10, 10), QColor(Qt::blue));
    QTRY_COMPARE(pngText(cached, "Thumb::MTime"), QByteArray::number(QFileInfo(path).lastModified().toSecsSinceEpoch()));
}

void ThumbnailLoaderTest::memoryStaysWithinItsLimit()
{
    const qint64 oneThumbnail = 128 * 128 * 4;
    ThumbnailLoader::setMemoryLimit(3 * oneThumbnail);
    QStringList paths;
    for (int i = 0; i < 5; ++i) {
        paths.append(m_dir.path() + QStringLiteral("/square %1.png").arg(i));
        QVERIFY(saveImage(paths.last(), QSize(256, 256), QColor::fromHsv(i * 60, 200, 200), "png"));
        Asker asker;
        asker.ask(paths.last());
        QTRY_COMPARE_WITH_TIMEOUT(asker.answers.size(), 1, 10000);
        QVERIFY(ThumbnailLoader::memoryUsed() <= 3 * oneThumbnail);
    }
    Asker newest, oldest;
    newest.ask(paths.last());
    QVERIFY(!newest.request);
    oldest.ask(paths.first());
    QVERIFY(oldest.request); // the least recently used went first
}

TW_TEST_MAIN_WITH(QGuiApplication, ThumbnailLoaderTest)
#include "tst_ThumbnailLoader.moc"
