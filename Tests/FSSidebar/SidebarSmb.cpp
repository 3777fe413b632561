#include "TestHome.h"

#include "FSCore/ServerConnection.h"
#include "FSPlatform/PathCodec.h"
#include "FSSidebar/SidebarItemCell.h"
#include "FSSidebar/SidebarModel.h"
#include "FSSidebar/SidebarOutlineView.h"
#include "FSSidebar/SidebarViewController.h"

#include <QApplication>
#include <QtConcurrent>

// Runs inside ServerConnectionSmb.sh: a real SMB server on 127.0.0.1 on port
// TW_SMB_PORT, sharing TW_SMB_SHARED, and a private gvfs session.

namespace {

QList<QUrl> connectAndWait(const QString &address)
{
    // On a worker, as the window connects, so the main loop sees the mount.
    QFuture<QList<QUrl>> future = QtConcurrent::run([address] {
        try {
            return ServerConnection::connect(address);
        } catch (const OperationError &) {
            return QList<QUrl>();
        }
    });
    QElapsedTimer timer;
    timer.start();
    while (!future.isFinished() && timer.elapsed() < 60000)
        QTest::qWait(20);
    return future.isFinished() ? future.result() : QList<QUrl>();
}

} // namespace

class SidebarSmbTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void aShareShowsWithItsHostUntilEjected();

private:
    QString m_address;
};

void SidebarSmbTest::initTestCase()
{
    const QByteArray port = qgetenv("TW_SMB_PORT");
    QVERIFY2(!port.isEmpty(), "run through ServerConnectionSmb.sh");
    m_address = QStringLiteral("smb://127.0.0.1:%1/share").arg(QString::fromLatin1(port));
    QVERIFY(QDir().mkpath(tw::test::privateHome() + "/Documents"));
}

void SidebarSmbTest::aShareShowsWithItsHostUntilEjected()
{
    SidebarViewController sidebar;
    int navigations = 0;
    sidebar.onSelect = [&](const FileItem &) { ++navigations; };
    QStringList failures;
    sidebar.onEjectFailure = [&](const QString &message) { failures.append(message); };
    sidebar.show();
    QCOMPARE(sidebar.sections().at(2).items.size(), 0);
    const QUrl documents = PathCodec::urlForPath(tw::test::privateHome() + "/Documents");
    sidebar.selectLocation(documents);

    const QList<QUrl> roots = connectAndWait(m_address);
    QCOMPARE(roots.size(), 1);
    sidebar.refreshVolumeSections();
    QTRY_COMPARE_WITH_TIMEOUT(sidebar.sections().at(2).items.size(), 1, 10000);
    const FileItem share = sidebar.sections().at(2).items.first();
    QCOMPARE(share.url(), roots.first());
    const auto *model = static_cast<SidebarModel *>(sidebar.outlineView()->model());
    QCOMPARE(model->indexOf(share.url()).data().toString(),
             SidebarItemCell::shownText(QStringLiteral("share"), QStringLiteral("127.0.0.1")));
    QVERIFY(model->indexOf(share.url()).data(SidebarModel::IsEjectableRole).toBool());
    QCOMPARE(sidebar.selectedUrl(), std::optional<QUrl>(documents));

    sidebar.eject(share);
    QTRY_COMPARE_WITH_TIMEOUT(sidebar.sections().at(2).items.size(), 0, 20000);
    QCOMPARE(failures, QStringList());
    QCOMPARE(sidebar.selectedUrl(), std::optional<QUrl>(documents));
    QCOMPARE(navigations, 0);
}

TW_GUI_TEST_MAIN(SidebarSmbTest)
#include "SidebarSmb.moc"
