#include "TestHome.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/FileItem.h"
#include "FSCore/VolumeInfo.h"
#include "FSCore/WorkQueues.h"
#include "FSPlatform/GvfsMounts.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/Trash.h"
#include "FSQuickLook/ThumbnailLoader.h"
#include "FSUIKit/IconCache.h"
#include "FSUIKit/IconCacheTesting.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/statfs.h>

// Runs inside ServerConnectionSmb.sh. With the share mounted, the server is
// stopped (SIGSTOP): gvfs then blocks every call that reaches the share, for
// as long as the SMB client waits. Every path the main thread takes towards a
// folder of the share must answer at once all the same.

namespace {

constexpr long fuseMagic = 0x65735546;

bool runLoopback(const char *command)
{
    return QProcess::execute(qEnvironmentVariable("TW_SMB_LOOPBACK"),
                             {QString::fromLatin1(command), qEnvironmentVariable("TW_SMB_STATE")})
        == 0;
}

// Ticks every 10 ms on the main thread and keeps the longest gap between ticks.
// A main thread stuck on the share would stay stuck until the SMB client gives
// up, minutes later: after two seconds without a tick the server is resumed
// from another thread, so the test fails instead of hanging.
class Watchdog
{
public:
    Watchdog()
    {
        m_timer.setInterval(10);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = qMax(m_longest, m_sinceTick.elapsed());
            m_sinceTick.restart();
            m_lastTick = m_clock.elapsed();
        });
        m_clock.start();
        m_sinceTick.start();
        m_timer.start();
        m_rescuer = std::thread([this] {
            while (!m_isDone) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (m_clock.elapsed() - m_lastTick > 2000 && !m_hasRescued) {
                    m_hasRescued = true;
                    runLoopback("resume");
                }
            }
        });
    }
    ~Watchdog()
    {
        m_isDone = true;
        m_rescuer.join();
    }
    qint64 longestGap() const { return qMax(m_longest, m_sinceTick.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    QElapsedTimer m_sinceTick;
    qint64 m_longest = 0;
    std::atomic<qint64> m_lastTick {0};
    std::atomic<bool> m_isDone {false};
    std::atomic<bool> m_hasRescued {false};
    std::thread m_rescuer;
};

bool saveImage(const QString &path)
{
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image.save(path, "png");
}

} // namespace

class MainThreadOnStoppedShareTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void mainThreadAnswersWhileTheServerIsStopped();

private:
    QUrl onShare(const QString &relative) const
    {
        return PathCodec::urlForPath(m_root + QLatin1Char('/') + relative);
    }

    QString m_shared;
    QString m_address;
    QString m_root;
    bool m_isPaused = false;
};

void MainThreadOnStoppedShareTest::initTestCase()
{
    m_shared = qEnvironmentVariable("TW_SMB_SHARED");
    const int port = qEnvironmentVariableIntValue("TW_SMB_PORT");
    struct statfs bridge;
    const bool isInSession = !m_shared.isEmpty() && port > 0 && !qEnvironmentVariableIsEmpty("TW_SMB_LOOPBACK")
        && ::statfs(PathCodec::encode(GvfsMounts::fuseFolder()).constData(), &bridge) == 0
        && bridge.f_type == fuseMagic;
    if (!isInSession) {
        const char *reason = "no loopback SMB server and gvfs session: run this test through ServerConnectionSmb.sh";
        if (qgetenv("CI") == "true")
            QFAIL(reason);
        QSKIP(reason);
    }
    m_address = QStringLiteral("smb://127.0.0.1:%1/share").arg(port);
    m_root = GvfsMounts::fuseFolder() + QStringLiteral("/smb-share:port=%1,server=127.0.0.1,share=share").arg(port);
    QVERIFY(QDir().mkpath(m_shared + QStringLiteral("/Photos")));
    QVERIFY(saveImage(m_shared + QStringLiteral("/Photos/seen.png")));
    QCOMPARE(QProcess::execute(QStringLiteral("gio"), {QStringLiteral("mount"), QStringLiteral("-a"), m_address}), 0);
    QVERIFY(QFileInfo(m_root + QStringLiteral("/Photos/seen.png")).isFile());
}

void MainThreadOnStoppedShareTest::cleanupTestCase()
{
    if (m_isPaused)
        runLoopback("resume");
    // What waited on the server must end before the unmount and before the
    // caches it works for are destroyed at exit.
    for (QThreadPool *queue : {WorkQueues::listings(), WorkQueues::icons(), WorkQueues::thumbnails()})
        queue->waitForDone(60000);
    QCoreApplication::sendPostedEvents();
    if (!m_address.isEmpty())
        QProcess::execute(QStringLiteral("gio"), {QStringLiteral("mount"), QStringLiteral("-u"), m_address});
}

void MainThreadOnStoppedShareTest::mainThreadAnswersWhileTheServerIsStopped()
{
    // Answers that come after a failure are dropped with it, not written into
    // this function's gone variables.
    QObject scope;
    // What the window knew before the server stopped: a thumbnail in memory
    // and the attributes of one file.
    const QUrl seen = onShare(QStringLiteral("Photos/seen.png"));
    int seenThumbnails = 0;
    ThumbnailLoader::thumbnail(seen, QSizeF(64, 64), 1.0, &scope, [&](const QImage &) { ++seenThumbnails; });
    QTRY_COMPARE_WITH_TIMEOUT(seenThumbnails, 1, 10000);
    bool hasRead = false;
    FileItem::readAttributes(seen, &scope, [&](const FileItem &) { hasRead = true; });
    QTRY_VERIFY_WITH_TIMEOUT(hasRead, 10000);
    QVERIFY(FileItem::lastKnown(seen).fileSize() > 0);
    // The icon theme is read once per run, from the local disk.
    IconCache::genericIcon();

    // Entries the client never saw, so that nothing can answer from a cache.
    QVERIFY(saveImage(m_shared + QStringLiteral("/Photos/new.png")));
    QVERIFY(QDir().mkpath(m_shared + QStringLiteral("/Unseen/Inner")));
    QVERIFY(tw::test::writeFile(m_shared + QStringLiteral("/Unseen/notes.txt"), "text"));

    QVERIFY(runLoopback("pause"));
    m_isPaused = true;
    // The bridge's own attribute cache lasts about a second.
    QTest::qWait(2500);

    const Watchdog watchdog;
    QString slowest;
    qint64 slowestSpan = 0;
    auto step = [&](const char *name, const std::function<void()> &work) {
        QElapsedTimer timer;
        timer.start();
        work();
        if (timer.elapsed() > slowestSpan) {
            slowestSpan = timer.elapsed();
            slowest = QString::fromLatin1(name);
        }
        QTest::qWait(30);
    };

    const QUrl unseenFolder = onShare(QStringLiteral("Unseen"));
    const QUrl notes = onShare(QStringLiteral("Unseen/notes.txt"));
    const QUrl inner = onShare(QStringLiteral("Unseen/Inner"));
    int memoryAnswers = 0;
    step("thumbnail from memory", [&] {
        ThumbnailLoader::thumbnail(seen, QSizeF(64, 64), 1.0, &scope, [&](const QImage &) { ++memoryAnswers; });
        QCOMPARE(memoryAnswers, 1);
    });
    step("new thumbnail", [&] {
        QVERIFY(ThumbnailLoader::thumbnail(onShare(QStringLiteral("Photos/new.png")), QSizeF(64, 64), 1.0, &scope, {}));
    });
    step("getters of a known item", [&] {
        const FileItem item = FileItem::lastKnown(seen);
        QVERIFY(item.fileSize() > 0 && !item.isDirectory() && item.modificationDate() && item.kindDescription());
        QCOMPARE(item.labelColor(), LabelColor::none);
    });
    step("getters of an item never read", [&] {
        const FileItem item = FileItem::lastKnown(notes);
        QCOMPARE(item.name(), QStringLiteral("notes.txt"));
        QVERIFY(!item.isDirectory() && !item.fileSize() && !item.modificationDate());
        item.kindDescription();
        item.labelColor();
    });
    bool hasReadNotes = false;
    step("attributes read in the background",
         [&] { FileItem::readAttributes(notes, &scope, [&](const FileItem &) { hasReadNotes = true; }); });
    step("trash folders to empty", [] { Trash::trashFolders(); });
    FileItemList listed;
    bool hasListed = false;
    step("listing through the cache", [&] {
        DirectoryListingCache::contents(unseenFolder, &scope, [&](const FileItemList &items) {
            listed = items;
            hasListed = true;
        });
    });
    step("icon of a bare URL", [&] { QVERIFY(!IconCache::icon(inner).isNull()); });
    step("icon of an item", [&] { QVERIFY(!IconCache::icon(FileItem::lastKnown(notes)).isNull()); });
    int iconAnswers = 0;
    step("icon asked asynchronously", [&] {
        IconCache::icon(onShare(QStringLiteral("Unseen/other.txt")), &scope, [&](const QIcon &) { ++iconAnswers; });
        QCOMPARE(iconAnswers, 1);
    });
    step("icon prefetch", [&] { IconCache::prefetch(QList<QUrl> {inner, notes}); });
    step("volumes", [&] {
        VolumeInfo::mountedVolumes();
        QVERIFY(!VolumeInfo::sharedVolumes().isEmpty());
        QCOMPARE(VolumeInfo::remoteHost(PathCodec::urlForPath(m_root)), std::optional<QString>(QStringLiteral("127.0.0.1")));
    });
    QTest::qWait(500);
    const qint64 longest = watchdog.longestGap();
    qInfo("longest main-thread gap %lld ms (slowest step: %s, %lld ms)", longest, qPrintable(slowest), slowestSpan);
    const bool wasListedWhilePaused = hasListed;
    QVERIFY(runLoopback("resume"));
    m_isPaused = false;
    QVERIFY2(longest < 100, qPrintable(QStringLiteral("%1 ms, slowest step: %2").arg(longest).arg(slowest)));
    // Nothing came back while the server was stopped: the work really waited on it.
    QVERIFY(!wasListedWhilePaused);
    // Once the server answers again, what waited arrives.
    QTRY_VERIFY_WITH_TIMEOUT(hasListed && hasReadNotes, 60000);
    QCOMPARE(listed.size(), 2);
    QVERIFY(FileItem::lastKnown(notes).fileSize() == 4);
    IconCache::testing::waitForBackgroundWork();
    QCOMPARE(IconCache::icon(inner).name(), QStringLiteral("folder"));
}

TW_TEST_MAIN_WITH(QGuiApplication, MainThreadOnStoppedShareTest)
#include "MainThreadOnStoppedShare.moc"
