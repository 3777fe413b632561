#include "TestHome.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/FileListing.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/IconCache.h"
#include "FSUIKit/IconCacheTesting.h"

#include <QApplication>
#include <QPainter>
#include <QSet>
#include <QThread>

#include <memory>
#include <vector>

class IconCacheTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void firstAsyncRequestCallsBackTwiceLaterOnceAtOnce();
    void lateIconIsDroppedWhenItsContextIsGone();
    void prefetchedPathsAreNotFetchedAgain_data();
    void prefetchedPathsAreNotFetchedAgain();
    void namesFirstEntryGetsTheIconOfWhatItTurnsOutToBe();
    void everyEntryGetsADrawableIcon_data();
    void everyEntryGetsADrawableIcon();
    void itemsOfOneTypeShareOneIconObject();
    void mainThreadMissGoesByTheNameUntilTheBackgroundKnows();
    void concurrentLookupsAgreeAndMakeNoPixmapsOffTheMainThread();

private:
    QUrl urlOf(const QString &name) const { return PathCodec::urlForPath(m_dir.filePath(name)); }

    tw::test::TemporaryFolder m_dir; // holds a name that is not UTF-8
    QUrl m_folderUrl;
    QList<QUrl> m_manyFiles;
};

void IconCacheTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_folderUrl = PathCodec::urlForPath(m_dir.path());
    QVERIFY(tw::test::writeFile(m_dir.filePath(QStringLiteral("photo.jpg")), "not really"));
    QVERIFY(tw::test::writeFile(m_dir.filePath(QStringLiteral("notes.txt")), "text"));
    QVERIFY(tw::test::writeFile(m_dir.filePath(QStringLiteral("data.qqzzunknown")), "?"));
    QVERIFY(tw::test::writeFile(m_dir.filePath(QStringLiteral("README")), "read me"));
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("Folder")));
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.jpg")));
    QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("Folder")), m_dir.filePath(QStringLiteral("link to folder"))));
    QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("nowhere")), m_dir.filePath(QStringLiteral("dangling.txt"))));
    QVERIFY(tw::test::writeRawFile(QFile::encodeName(m_dir.path()) + "/caf\xe9 \xff.txt"));

    const QString many = m_dir.filePath(QStringLiteral("many"));
    QVERIFY(QDir().mkpath(many));
    const QStringList extensions {QStringLiteral("png"), QStringLiteral("txt"), QStringLiteral("mp3")};
    for (int i = 0; i < 600; ++i) {
        const QString path = many + QStringLiteral("/file %1.").arg(i) + extensions.at(i % 3);
        QVERIFY(tw::test::writeRawFile(QFile::encodeName(path)));
        m_manyFiles.append(PathCodec::urlForPath(path));
    }
}

void IconCacheTest::init()
{
    IconCache::testing::waitForBackgroundWork();
    QCoreApplication::sendPostedEvents();
    IconCache::testing::reset();
}

void IconCacheTest::firstAsyncRequestCallsBackTwiceLaterOnceAtOnce()
{
    const QUrl url = urlOf(QStringLiteral("Folder"));
    QObject context;
    QList<QIcon> calls;
    IconCache::icon(url, &context, [&calls](const QIcon &icon) { calls.append(icon); });
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).cacheKey(), IconCache::genericIcon().cacheKey());
    QTRY_COMPARE_WITH_TIMEOUT(calls.size(), 2, 10000);
    QCOMPARE(calls.at(1).name(), QStringLiteral("folder"));
    QVERIFY(calls.at(1).cacheKey() != IconCache::genericIcon().cacheKey());

    QList<QIcon> again;
    IconCache::icon(url, &context, [&again](const QIcon &icon) { again.append(icon); });
    QCOMPARE(again.size(), 1);
    QCOMPARE(again.at(0).cacheKey(), calls.at(1).cacheKey());
    IconCache::testing::waitForBackgroundWork();
    QTest::qWait(50);
    QCOMPARE(again.size(), 1);
    QCOMPARE(calls.size(), 2);
}

void IconCacheTest::lateIconIsDroppedWhenItsContextIsGone()
{
    auto context = std::make_unique<QObject>();
    int calls = 0;
    IconCache::icon(urlOf(QStringLiteral("notes.txt")), context.get(), [&calls](const QIcon &) { ++calls; });
    QCOMPARE(calls, 1);
    context.reset();
    IconCache::testing::waitForBackgroundWork();
    QTest::qWait(50);
    QCOMPARE(calls, 1);
}

void IconCacheTest::prefetchedPathsAreNotFetchedAgain_data()
{
    QTest::addColumn<bool>("fromListing");
    QTest::newRow("bare URLs") << false;
    QTest::newRow("listed items") << true;
}

void IconCacheTest::prefetchedPathsAreNotFetchedAgain()
{
    QFETCH(bool, fromListing);
    if (fromListing)
        IconCache::prefetch(DirectoryListingCache::contents(m_folderUrl));
    else
        IconCache::prefetch(QList<QUrl> {urlOf(QStringLiteral("photo.jpg")), urlOf(QStringLiteral("Folder")),
                                         urlOf(QStringLiteral("notes.txt"))});
    IconCache::testing::waitForBackgroundWork();
    const int fetched = IconCache::testing::pathFetchCount();
    QVERIFY(fetched >= 3);

    QCOMPARE(IconCache::icon(urlOf(QStringLiteral("Folder"))).name(), QStringLiteral("folder"));
    QVERIFY(!IconCache::icon(urlOf(QStringLiteral("photo.jpg"))).isNull());
    int calls = 0;
    IconCache::icon(urlOf(QStringLiteral("notes.txt")), this, [&calls](const QIcon &) { ++calls; });
    QCOMPARE(calls, 1);
    // The item form answers from what prefetch stored, as the URL form does.
    if (fromListing) {
        for (const FileItem &item : DirectoryListingCache::contents(m_folderUrl)) {
            const qint64 fromUrl = IconCache::icon(item.url()).cacheKey();
            QVERIFY2(IconCache::icon(item).cacheKey() == fromUrl, qPrintable(item.name()));
        }
    }
    QCOMPARE(IconCache::testing::pathFetchCount(), fetched);
}

// readdir calls a link to a folder a link, not a folder: the icon its name
// suggests must not stand once its status says it is a folder.
void IconCacheTest::namesFirstEntryGetsTheIconOfWhatItTurnsOutToBe()
{
    int errorNumber = 0;
    bool hasUnknownTypes = false;
    IconCache::prefetch(FileListing::names(m_folderUrl, &errorNumber, &hasUnknownTypes));
    IconCache::testing::waitForBackgroundWork();
    for (const FileItem &item : DirectoryListingCache::contents(m_folderUrl)) {
        if (item.name() == QStringLiteral("link to folder"))
            QCOMPARE(IconCache::icon(item).name(), QStringLiteral("folder"));
    }
}

void IconCacheTest::everyEntryGetsADrawableIcon_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("iconName");
    QTest::newRow("image") << "photo.jpg" << "image-x-generic";
    QTest::newRow("text") << "notes.txt" << "text-x-generic";
    QTest::newRow("unknown extension") << "data.qqzzunknown" << "application-x-generic";
    QTest::newRow("no extension") << "README" << "";
    QTest::newRow("folder") << "Folder" << "folder";
    QTest::newRow("folder named like an image") << "folder.jpg" << "folder";
    QTest::newRow("link to a folder") << "link to folder" << "folder";
    QTest::newRow("dangling link") << "dangling.txt" << "text-x-generic";
    QTest::newRow("vanished file") << "gone.txt" << "text-x-generic";
    QTest::newRow("name not UTF-8") << PathCodec::decode(QByteArray("caf\xe9 \xff.txt")) << "text-x-generic";
}

void IconCacheTest::everyEntryGetsADrawableIcon()
{
    QFETCH(QString, name);
    QFETCH(QString, iconName);
    const QUrl url = PathCodec::childUrl(m_folderUrl, name);
    // The synchronous form may stat off the main thread only.
    QIcon icon;
    std::unique_ptr<QThread> worker(QThread::create([&icon, url] { icon = IconCache::icon(url); }));
    worker->start();
    QVERIFY(worker->wait(10000));
    QVERIFY(!icon.isNull());
    if (!iconName.isEmpty())
        QCOMPARE(icon.name(), iconName);
    const QPixmap drawn = icon.pixmap(32);
    QVERIFY(!drawn.isNull());
    QCOMPARE(drawn.size(), QSize(32, 32));
    // A 2x screen gets twice the pixels, not four times.
    const QPixmap sharp = icon.pixmap(QSize(32, 32), 2.0);
    QCOMPARE(sharp.size(), QSize(64, 64));
    QCOMPARE(sharp.deviceIndependentSize(), QSizeF(32, 32));
    QImage painted(QSize(64, 64), QImage::Format_ARGB32_Premultiplied);
    painted.setDevicePixelRatio(2.0);
    painted.fill(Qt::transparent);
    {
        QPainter painter(&painted);
        icon.paint(&painter, QRect(0, 0, 32, 32));
    }
    // Painting on a 2x device draws those same pixels, unscaled.
    QImage expected = sharp.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    expected.setDevicePixelRatio(2.0);
    QCOMPARE(painted, expected);
    // Not a blank square: the theme's picture (or the drawn stand-in) is there.
    const QImage pixels = drawn.toImage();
    bool hasInk = false;
    for (int y = 0; y < pixels.height() && !hasInk; ++y) {
        for (int x = 0; x < pixels.width() && !hasInk; ++x)
            hasInk = qAlpha(pixels.pixel(x, y)) > 0;
    }
    QVERIFY(hasInk);

    QList<QIcon> calls;
    IconCache::icon(url, this, [&calls](const QIcon &found) { calls.append(found); });
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).cacheKey(), icon.cacheKey());
}

void IconCacheTest::itemsOfOneTypeShareOneIconObject()
{
    QSet<qint64> icons;
    for (const QUrl &url : m_manyFiles)
        icons.insert(IconCache::icon(url).cacheKey());
    IconCache::testing::waitForBackgroundWork();
    for (const QUrl &url : m_manyFiles)
        icons.insert(IconCache::icon(url).cacheKey());
    QCOMPARE(icons.size(), 3);
    QVERIFY(IconCache::testing::themeIconLoadCount() <= 3);
    QCOMPARE(IconCache::testing::pathFetchCount(), int(m_manyFiles.size()));
}

void IconCacheTest::mainThreadMissGoesByTheNameUntilTheBackgroundKnows()
{
    // A stat here could hang the window on a share that stopped answering.
    const QUrl url = urlOf(QStringLiteral("folder.jpg"));
    QCOMPARE(IconCache::icon(url).name(), QStringLiteral("image-x-generic"));
    IconCache::testing::waitForBackgroundWork();
    QCOMPARE(IconCache::icon(url).name(), QStringLiteral("folder"));
    QCOMPARE(IconCache::testing::pathFetchCount(), 1);
}

void IconCacheTest::concurrentLookupsAgreeAndMakeNoPixmapsOffTheMainThread()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QPixmap|not safe")));
    IconCache::prefetch(m_manyFiles);
    std::vector<std::unique_ptr<QThread>> threads;
    QList<QList<qint64>> seen(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back(QThread::create([this, t, &seen] {
            // Each thread walks the files from a different starting point, so
            // that misses and stores of one path meet from several threads.
            for (qsizetype i = 0; i < m_manyFiles.size(); ++i) {
                const QUrl &url = m_manyFiles.at((i + t * 150) % m_manyFiles.size());
                const QIcon icon = IconCache::icon(url);
                seen[t].append(icon.isNull() ? 0 : icon.cacheKey());
            }
        }));
        threads.back()->start();
    }
    for (const auto &thread : threads)
        QVERIFY(thread->wait(30000));
    IconCache::testing::waitForBackgroundWork();

    for (int t = 0; t < 4; ++t) {
        for (qsizetype i = 0; i < m_manyFiles.size(); ++i) {
            const QUrl &url = m_manyFiles.at((i + t * 150) % m_manyFiles.size());
            QCOMPARE(seen.at(t).at(i), IconCache::icon(url).cacheKey());
        }
    }
    // Icons made on workers draw on the main thread.
    QVERIFY(!IconCache::icon(m_manyFiles.first()).pixmap(48).isNull());
}

TW_GUI_TEST_MAIN(IconCacheTest)
#include "tst_IconCache.moc"
