#include "MainThreadWatchdog.h"
#include "TestHome.h"

#include "FSPlatform/PathCodec.h"
#include "FSSidebar/SidebarViewController.h"
#include "FSWindow/MainWindowController.h"
#include "FSWindow/ServerConnector.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>

// Runs inside ServerConnectionSmb.sh: a real SMB server on 127.0.0.1 on port
// TW_SMB_PORT with a guest share "share" and, as root, a share "private" for
// the account TW_SMB_USER with the password TW_SMB_PASSWORD.

namespace {

// The first sheet of its kind shown on `window` that is not in `seen`.
template<typename Sheet>
Sheet *newSheet(const MainWindowController &window, QList<QDialog *> &seen)
{
    Sheet *found = nullptr;
    const bool isShown = QTest::qWaitFor([&] {
        for (Sheet *sheet : window.findChildren<Sheet *>()) {
            if (sheet->isVisible() && !seen.contains(sheet))
                found = sheet;
        }
        return found != nullptr;
    }, 30'000);
    if (isShown)
        seen.append(found);
    return found;
}

} // namespace

class ConnectToServerSmbTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void connectAsksForAnAccountOnlyWhenTheShareWantsOne_data();
    void connectAsksForAnAccountOnlyWhenTheShareWantsOne();

private:
    QString m_address;
};

void ConnectToServerSmbTest::initTestCase()
{
    const QByteArray port = qgetenv("TW_SMB_PORT");
    QVERIFY2(!port.isEmpty(), "run through ServerConnectionSmb.sh");
    m_address = QStringLiteral("smb://127.0.0.1:%1/").arg(QString::fromLatin1(port));
}

void ConnectToServerSmbTest::connectAsksForAnAccountOnlyWhenTheShareWantsOne_data()
{
    QTest::addColumn<QString>("share");
    // What the password sheet is answered each time it shows: a password, the
    // right one, or a click on "Cancel".
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("isMounted");
    QTest::newRow("guest share") << "share" << QStringList() << true;
    // Before the share is mounted with the account: gvfs keeps an account that
    // worked for the rest of the session.
    QTest::newRow("cancelled") << "private" << QStringList{"<cancel>"} << false;
    QTest::newRow("wrong password, then the right one") << "private" << QStringList{"wrong", "<right>"} << true;
}

void ConnectToServerSmbTest::connectAsksForAnAccountOnlyWhenTheShareWantsOne()
{
    QFETCH(QString, share);
    QFETCH(QStringList, answers);
    QFETCH(bool, isMounted);
    const QString user = qEnvironmentVariable("TW_SMB_USER");
    if (share == QLatin1String("private") && user.isEmpty())
        QSKIP("the share with an account is made only when the server runs as root");

    const QUrl home = PathCodec::urlForPath(tw::test::privateHome());
    MainWindowController window(home);
    window.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy finished(window.serverConnector(), &ServerConnector::connectFinished);

    QList<QDialog *> seen;
    window.connectToServer();
    auto *addressSheet = newSheet<ServerConnectSheet>(window, seen);
    QVERIFY(addressSheet);
    QCOMPARE(addressSheet->windowModality(), Qt::WindowModal);
    // From the moment the mount starts; a mount waited for on the main
    // thread stops it for half a second or more.
    QTest::qWait(100);
    tw::test::MainThreadWatchdog watchdog;
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(addressSheet->addressField()->placeholderText(), QStringLiteral("smb://server/share"));
    addressSheet->addressField()->setText(QStringLiteral("  ") + m_address + share + QStringLiteral("\n"));
    addressSheet->connectButton()->click();

    for (const QString &answer : std::as_const(answers)) {
        auto *sheet = newSheet<ServerPasswordSheet>(window, seen);
        QVERIFY2(sheet, "the share asked for no account");
        // The window is usable meanwhile: only the sheet is modal, to it alone.
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        if (answer == QLatin1String("<cancel>")) {
            sheet->cancelButton()->click();
            continue;
        }
        sheet->userField()->setText(user);
        sheet->passwordField()->setText(answer == QLatin1String("<right>") ? qEnvironmentVariable("TW_SMB_PASSWORD") : answer);
        sheet->connectButton()->click();
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60'000);
    qInfo("connected in %lld ms; longest main-thread gap %lld ms", elapsed.elapsed(), watchdog.longestGap());
    QVERIFY2(watchdog.longestGap() < 200, qPrintable(QStringLiteral("the main thread stood still for %1 ms").arg(watchdog.longestGap())));

    // No more questions than answers, and a cancel is no failure to report.
    const QList<ServerPasswordSheet *> sheets = window.findChildren<ServerPasswordSheet *>();
    QVERIFY(std::none_of(sheets.cbegin(), sheets.cend(), [](const QDialog *sheet) { return sheet->isVisible(); }));
    QCOMPARE(window.findChildren<QMessageBox *>().size(), 0);
    if (!isMounted) {
        QCOMPARE(window.currentRootUrl(), home);
        QCOMPARE(window.sidebar()->sections().at(2).items.size(), 0);
        return;
    }
    const QUrl root = window.currentRootUrl();
    QVERIFY2(root != home, "the window did not go to the share");
    QVERIFY(root.toLocalFile().contains(QStringLiteral("share=") + share));
    QTRY_COMPARE_WITH_TIMEOUT(window.sidebar()->sections().at(2).items.size(), 1, 10'000);
    QCOMPARE(window.sidebar()->sections().at(2).items.first().url(), root);

    QProcess gio;
    gio.start(QStringLiteral("gio"), {QStringLiteral("mount"), QStringLiteral("-u"), m_address + share});
    QVERIFY(gio.waitForFinished(30'000));
}

TW_GUI_TEST_MAIN(ConnectToServerSmbTest)
#include "ConnectToServerSmb.moc"
