#include "TestHome.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSPlatform/PathCodec.h"
#include "FSWindow/NavigationModel.h"

#include <QCoreApplication>
#include <QTemporaryDir>

namespace {

QUrl url(const char *path)
{
    return PathCodec::urlForPath(QString::fromUtf8(path));
}

} // namespace

class NavigationModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void historyFollowsTheRules_data();
    void historyFollowsTheRules();
    void effectsRunInOrderOnEveryNavigation();
    void navigationListsTheFolderAfresh();
};

void NavigationModelTest::historyFollowsTheRules_data()
{
    // Steps: "open X" (navigate with history), "back", "forward", "up", "segment N".
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("canGoBack");
    QTest::addColumn<bool>("canGoForward");

    QTest::newRow("new window") << QStringList() << QStringList{QStringLiteral("/a")} << 0 << false << false;
    QTest::newRow("opening after going back drops the forward entries")
        << QStringList{QStringLiteral("open /b"), QStringLiteral("open /c"), QStringLiteral("back"), QStringLiteral("back"),
                       QStringLiteral("open /d")}
        << QStringList{QStringLiteral("/a"), QStringLiteral("/d")} << 1 << true << false;
    QTest::newRow("opening the current folder adds nothing")
        << QStringList{QStringLiteral("open /b"), QStringLiteral("open /b")}
        << QStringList{QStringLiteral("/a"), QStringLiteral("/b")} << 1 << true << false;
    QTest::newRow("back at the oldest entry does nothing")
        << QStringList{QStringLiteral("back"), QStringLiteral("back")} << QStringList{QStringLiteral("/a")} << 0 << false << false;
    QTest::newRow("forward at the newest entry does nothing")
        << QStringList{QStringLiteral("open /b"), QStringLiteral("forward")}
        << QStringList{QStringLiteral("/a"), QStringLiteral("/b")} << 1 << true << false;
    QTest::newRow("in the middle both ways are open")
        << QStringList{QStringLiteral("open /b"), QStringLiteral("open /c"), QStringLiteral("back")}
        << QStringList{QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c")} << 1 << true << true;
    QTest::newRow("forward after back returns")
        << QStringList{QStringLiteral("open /b"), QStringLiteral("back"), QStringLiteral("forward")}
        << QStringList{QStringLiteral("/a"), QStringLiteral("/b")} << 1 << true << false;
    QTest::newRow("control segments go back and forward; others do nothing")
        << QStringList{QStringLiteral("open /b"), QStringLiteral("segment 0"), QStringLiteral("segment 2"),
                       QStringLiteral("segment -1")}
        << QStringList{QStringLiteral("/a"), QStringLiteral("/b")} << 0 << false << true;
    QTest::newRow("enclosing folder adds an entry")
        << QStringList{QStringLiteral("open /a/b/Documents"), QStringLiteral("up")}
        << QStringList{QStringLiteral("/a"), QStringLiteral("/a/b/Documents"), QStringLiteral("/a/b")} << 2 << true << false;
    QTest::newRow("enclosing folder of the root does nothing")
        << QStringList{QStringLiteral("open /"), QStringLiteral("up"), QStringLiteral("up")}
        << QStringList{QStringLiteral("/a"), QStringLiteral("/")} << 1 << true << false;
    QTest::newRow("enclosing folder of a top folder is the root")
        << QStringList{QStringLiteral("up")} << QStringList{QStringLiteral("/a"), QStringLiteral("/")} << 1 << true << false;
}

void NavigationModelTest::historyFollowsTheRules()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, history);
    QFETCH(int, index);
    QFETCH(bool, canGoBack);
    QFETCH(bool, canGoForward);

    NavigationModel model(url("/a"));
    bool backButton = false, forwardButton = false;
    model.setEffects({{}, {}, [&](bool back, bool forward) { backButton = back; forwardButton = forward; }, {}, {}});
    for (const QString &step : steps) {
        if (step.startsWith(QLatin1String("open ")))
            model.navigate(PathCodec::urlForPath(step.mid(5)), true);
        else if (step == QLatin1String("back"))
            model.goBack();
        else if (step == QLatin1String("forward"))
            model.goForward();
        else if (step == QLatin1String("up"))
            model.goToEnclosingFolder();
        else if (step.startsWith(QLatin1String("segment ")))
            model.navigationControlClicked(step.mid(8).toInt());
    }
    QStringList paths;
    for (const QUrl &entry : model.historyStack())
        paths << entry.toLocalFile();
    QCOMPARE(paths, history);
    QCOMPARE(model.historyIndex(), index);
    QCOMPARE(model.currentRootUrl(), model.historyStack().at(index));
    QCOMPARE(model.canGoBack(), canGoBack);
    QCOMPARE(model.canGoForward(), canGoForward);
    if (!steps.isEmpty()) {
        QCOMPARE(backButton, canGoBack);
        QCOMPARE(forwardButton, canGoForward);
    }
}

void NavigationModelTest::effectsRunInOrderOnEveryNavigation()
{
    NavigationModel model(url("/a"));
    QStringList calls;
    model.setEffects({
        [&](const QUrl &folder) { calls << QStringLiteral("browsers ") + folder.toLocalFile(); },
        [&](const QUrl &folder) { calls << QStringLiteral("watcher ") + folder.toLocalFile(); },
        [&](bool back, bool forward) { calls << QStringLiteral("buttons %1 %2").arg(back).arg(forward); },
        [&](const QUrl &folder) { calls << QStringLiteral("status ") + folder.toLocalFile(); },
        [&](const QUrl &folder) { calls << QStringLiteral("title ") + folder.toLocalFile(); },
    });
    QVERIFY(calls.isEmpty()); // making the model runs nothing
    model.navigate(url("/b"), true);
    model.navigate(url("/b"), true); // the current folder again still reloads
    const QStringList once = {QStringLiteral("browsers /b"), QStringLiteral("watcher /b"), QStringLiteral("buttons 1 0"),
                              QStringLiteral("status /b"), QStringLiteral("title /b")};
    QCOMPARE(calls, once + once);
    calls.clear();
    model.goBack();
    QCOMPARE(calls.first(), QStringLiteral("browsers /a"));
    QCOMPARE(calls.at(2), QStringLiteral("buttons 0 1"));
}

void NavigationModelTest::navigationListsTheFolderAfresh()
{
    QTemporaryDir dir;
    const QUrl folder = PathCodec::urlForPath(dir.path());
    QVERIFY(DirectoryListingCache::contents(folder).isEmpty());
    QVERIFY(tw::test::writeFile(dir.filePath(QStringLiteral("new"))));
    NavigationModel model(url("/a"));
    model.navigate(folder, true);
    QCOMPARE(DirectoryListingCache::contents(folder).size(), 1);
}

TW_CORE_TEST_MAIN(NavigationModelTest)
#include "tst_NavigationModel.moc"
