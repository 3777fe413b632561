#include "TestHome.h"

#include "FSCore/FileJob.h"
#include "FSCore/FileJobQueue.h"
#include "FSCore/FileOperationsTesting.h"
#include "FSPlatform/PathCodec.h"
#include "FSWindow/FileJobProgressPanel.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>

using tw::test::TemporaryFolder;
using tw::test::writeFile;

namespace {

QUrl urlOf(const QString &path)
{
    return PathCodec::urlForPath(path);
}

} // namespace

class FileJobProgressPanelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void onlyJobsLongerThanHalfASecondShow();

private:
    TemporaryFolder m_dir;
    QSemaphore m_release;
};

void FileJobProgressPanelTest::cleanup()
{
    FileOperations::testing::setBeforeTakingName({});
}

void FileJobProgressPanelTest::onlyJobsLongerThanHalfASecondShow()
{
    QVERIFY(writeFile(m_dir.path() + "/quick.txt", "q"));
    QVERIFY(writeFile(m_dir.path() + "/slow.txt", "s"));
    QVERIFY(writeFile(m_dir.path() + "/slower.txt", "s"));
    QVERIFY(writeFile(m_dir.path() + "/Into/.keep"));
    // The slow copies wait, just before taking their names, until the test lets them go.
    FileOperations::testing::setBeforeTakingName([this](const QUrl &candidate) {
        if (!candidate.toLocalFile().endsWith(QLatin1String("quick.txt")))
            m_release.acquire();
    });

    FileJobQueue queue;
    FileJobProgressPanel panel(&queue);
    auto *quick = FileJob::copy({urlOf(m_dir.path() + "/quick.txt")}, urlOf(m_dir.path() + "/Into"));
    auto *slow = FileJob::copy({urlOf(m_dir.path() + "/slow.txt")}, urlOf(m_dir.path() + "/Into"));
    QSignalSpy quickFinished(quick, &FileJob::finished);
    queue.add(quick);
    queue.add(slow);
    QVERIFY(quickFinished.wait(5'000));

    QTest::qWait(FileJobProgressPanel::showDelayMilliseconds - 150);
    QVERIFY(!panel.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(panel.isVisible(), 1'000);
    QCOMPARE(panel.shownJobs(), QList<FileJob *>{slow});

    // A second job joins the same panel, after its own half second.
    auto *slower = FileJob::copy({urlOf(m_dir.path() + "/slower.txt")}, urlOf(m_dir.path() + "/Into"));
    queue.add(slower);
    QTRY_COMPARE_WITH_TIMEOUT(panel.shownJobs(), (QList<FileJob *>{slow, slower}), 2'000);

    // With both file-job threads held, a third waits its turn and says so
    // until a thread is free.
    QVERIFY(writeFile(m_dir.path() + "/slowest.txt", "s"));
    auto *slowest = FileJob::copy({urlOf(m_dir.path() + "/slowest.txt")}, urlOf(m_dir.path() + "/Into"));
    queue.add(slowest);
    QTRY_COMPARE_WITH_TIMEOUT(panel.shownJobs(), (QList<FileJob *>{slow, slower, slowest}), 2'000);
    const auto waitingRows = [&panel] {
        const QList<QLabel *> labels = panel.findChildren<QLabel *>();
        return std::count_if(labels.begin(), labels.end(),
                             [](const QLabel *label) { return label->text() == QStringLiteral("Waiting…"); });
    };
    QCOMPARE(waitingRows(), 1);

    const QList<QPushButton *> stopButtons = panel.findChildren<QPushButton *>();
    QCOMPARE(stopButtons.size(), 3);
    stopButtons.first()->click();
    QVERIFY(slow->isCancelRequested());
    QVERIFY(!slower->isCancelRequested());

    QSignalSpy finished(&queue, &FileJobQueue::jobFinished);
    m_release.release(1);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5'000);
    QTRY_COMPARE_WITH_TIMEOUT(waitingRows(), 0, 2'000);
    m_release.release(2);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 3, 5'000);
    QVERIFY(panel.shownJobs().isEmpty());
    QVERIFY(!panel.isVisible());
}

TW_GUI_TEST_MAIN(FileJobProgressPanelTest)
#include "tst_FileJobProgressPanel.moc"
