#include "TestHome.h"

#include "FSCore/PreferenceFile.h"
#include "FSCore/PropertyList.h"
#include "FSUIKit/AppearanceNotifications.h"
#include "FSUIKit/AppearancePreferenceStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>

class AppearancePreferenceStoreTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();

    void noFileGivesDefaultsAndWritesNothing();
    void unusableContentsFallBack_data();
    void unusableContentsFallBack();
    void everyCaseSurvivesARoundTrip();
    void everySetBroadcastsAfterWriting();
    void failedWriteStillBroadcasts();

private:
    static QVariantMap storedDictionary();
};

using tw::test::plist;

void AppearancePreferenceStoreTest::init()
{
    const QString path = AppearancePreferenceStore::filePath();
    QFile::remove(path);
    QDir(path).removeRecursively();
}

QVariantMap AppearancePreferenceStoreTest::storedDictionary()
{
    return PropertyList::parseDictionary(tw::test::contentsOf(AppearancePreferenceStore::filePath())).value_or(QVariantMap());
}

void AppearancePreferenceStoreTest::noFileGivesDefaultsAndWritesNothing()
{
    QDir(PreferenceFile::folderPath()).removeRecursively();
    QCOMPARE(AppearancePreferenceStore::textSize(), TextSize::medium);
    QCOMPARE(AppearancePreferenceStore::theme(), AppTheme::graphite10_6);
    QVERIFY(QDir(PreferenceFile::folderPath()).exists());
    QVERIFY(!QFile::exists(AppearancePreferenceStore::filePath()));
    QVERIFY(AppearancePreferenceStore::filePath().endsWith(QLatin1String("/Tidewright/AppearancePreferences.plist")));
}

void AppearancePreferenceStoreTest::unusableContentsFallBack_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<TextSize>("size");
    QTest::addColumn<AppTheme>("theme");
    auto row = [](const char *name, const QByteArray &document, TextSize size, AppTheme theme) {
        QTest::newRow(name) << document << size << theme;
    };
    // Damaged files and strict types are the preference file's; here, which
    // stored values the store takes, and that a bad key leaves the other alone.
    row("stored values",
        plist("<dict><key>textSize</key><integer>2</integer><key>theme</key><string>metal10_4</string></dict>"),
        TextSize::large, AppTheme::metal10_4);
    row("size 3", plist("<dict><key>textSize</key><integer>3</integer></dict>"), TextSize::medium, AppTheme::graphite10_6);
    row("negative size", plist("<dict><key>textSize</key><integer>-1</integer></dict>"), TextSize::medium,
        AppTheme::graphite10_6);
    row("huge size", plist("<dict><key>textSize</key><integer>4294967296</integer></dict>"), TextSize::medium,
        AppTheme::graphite10_6);
    row("size 1 as text", plist("<dict><key>textSize</key><string>1</string><key>theme</key><string>metal10_4</string></dict>"),
        TextSize::medium, AppTheme::metal10_4);
    row("capital M", plist("<dict><key>theme</key><string>Metal10_4</string><key>textSize</key><integer>0</integer></dict>"),
        TextSize::small, AppTheme::graphite10_6);
    row("theme as integer", plist("<dict><key>theme</key><integer>1</integer></dict>"), TextSize::medium,
        AppTheme::graphite10_6);
    row("damaged XML", plist("<dict><key>textSize</key><integer>2</integer><key>theme</key><string>metal10_4</dict>"),
        TextSize::medium, AppTheme::graphite10_6);
}

void AppearancePreferenceStoreTest::unusableContentsFallBack()
{
    QFETCH(QByteArray, document);
    QFETCH(TextSize, size);
    QFETCH(AppTheme, theme);
    QVERIFY(tw::test::writeFile(AppearancePreferenceStore::filePath(), document));
    QCOMPARE(AppearancePreferenceStore::textSize(), size);
    QCOMPARE(AppearancePreferenceStore::theme(), theme);
}

void AppearancePreferenceStoreTest::everyCaseSurvivesARoundTrip()
{
    for (AppTheme theme : AppThemes::allCases) {
        for (TextSize size : TextSizes::allCases) {
            AppearancePreferenceStore::setTheme(theme);
            AppearancePreferenceStore::setTextSize(size);
            QCOMPARE(AppearancePreferenceStore::theme(), theme);
            QCOMPARE(AppearancePreferenceStore::textSize(), size);
            const QVariantMap stored = storedDictionary();
            // The stored types are what other readers of the file expect.
            QCOMPARE(stored.value(QStringLiteral("textSize")), QVariant(qlonglong(TextSizes::rawValue(size))));
            QCOMPARE(stored.value(QStringLiteral("theme")), QVariant(AppThemes::rawValue(theme)));
        }
    }
}

void AppearancePreferenceStoreTest::everySetBroadcastsAfterWriting()
{
    AppearanceNotifications *notifications = AppearanceNotifications::instance();
    QSignalSpy spy(notifications, &AppearanceNotifications::appearancePreferencesDidChange);
    QList<AppTheme> themesSeen;
    QList<TextSize> sizesSeen;
    // Observers re-read the store inside the notification, so it must come
    // after the file holds the new value.
    const QMetaObject::Connection connection =
        connect(notifications, &AppearanceNotifications::appearancePreferencesDidChange, this, [&] {
            themesSeen.append(AppearancePreferenceStore::theme());
            sizesSeen.append(AppearancePreferenceStore::textSize());
        });

    AppearancePreferenceStore::setTheme(AppTheme::metal10_4);
    QCOMPARE(spy.count(), 1); // synchronously, inside the setter
    AppearancePreferenceStore::setTheme(AppTheme::metal10_4);
    QCOMPARE(spy.count(), 2);
    AppearancePreferenceStore::setTextSize(TextSize::large);
    AppearancePreferenceStore::setTextSize(TextSize::large);
    QCOMPARE(spy.count(), 4);
    disconnect(connection);

    QCOMPARE(themesSeen, QList<AppTheme>(4, AppTheme::metal10_4));
    QCOMPARE(sizesSeen, (QList<TextSize>{TextSize::medium, TextSize::medium, TextSize::large, TextSize::large}));
}

void AppearancePreferenceStoreTest::failedWriteStillBroadcasts()
{
    // A folder where the file should be: the write fails even for root, which
    // permission bits would not stop.
    const QString path = AppearancePreferenceStore::filePath();
    QVERIFY(QDir().mkpath(path));
    QVERIFY(tw::test::writeFile(path + QStringLiteral("/inside"), "x"));

    QSignalSpy spy(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange);
    AppearancePreferenceStore::setTheme(AppTheme::metal10_4);
    AppearancePreferenceStore::setTextSize(TextSize::large);
    QCOMPARE(spy.count(), 2);
    // The observers, re-reading, see the settings that actually hold.
    QCOMPARE(AppearancePreferenceStore::theme(), AppTheme::graphite10_6);
    QCOMPARE(AppearancePreferenceStore::textSize(), TextSize::medium);
    QVERIFY(QFile::exists(path + QStringLiteral("/inside")));
}

TW_CORE_TEST_MAIN(AppearancePreferenceStoreTest)
#include "tst_AppearancePreferenceStore.moc"
