#include "TestHome.h"

#include "FSCore/PreferenceFile.h"
#include "FSCore/PropertyList.h"
#include "FSWindow/ViewModePreferenceStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

class ViewModePreferenceStoreTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { QFile::remove(ViewModePreferenceStore::filePath()); }

    void noFileGivesDefaultsAndWritesNothing();
    void unusableValuesFallBack_data();
    void unusableValuesFallBack();
    void savingOneKeepsTheOtherWithTheStoredTypes();
};

void ViewModePreferenceStoreTest::noFileGivesDefaultsAndWritesNothing()
{
    QDir(PreferenceFile::folderPath()).removeRecursively();
    QCOMPARE(ViewModePreferenceStore::loadViewMode(), ViewMode::column);
    QCOMPARE(ViewModePreferenceStore::loadSortField(), FileSortField::name);
    // Loading makes the folder but no file.
    QVERIFY(QDir(PreferenceFile::folderPath()).exists());
    QVERIFY(!QFile::exists(ViewModePreferenceStore::filePath()));
    QVERIFY(ViewModePreferenceStore::filePath().endsWith(QLatin1String("/Tidewright/ViewPreferences.plist")));
}

void ViewModePreferenceStoreTest::unusableValuesFallBack_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<ViewMode>("mode");
    QTest::addColumn<FileSortField>("field");
    auto row = [](const char *name, const QByteArray &dict, ViewMode mode, FileSortField field) {
        QTest::newRow(name) << dict << mode << field;
    };
    row("stored values", "<dict><key>viewMode</key><integer>1</integer><key>sortField</key><string>size</string></dict>",
        ViewMode::list, FileSortField::size);
    row("icon mode", "<dict><key>viewMode</key><integer>0</integer><key>sortField</key><string>dateModified</string></dict>",
        ViewMode::icon, FileSortField::dateModified);
    row("mode out of range", "<dict><key>viewMode</key><integer>7</integer></dict>", ViewMode::column, FileSortField::name);
    row("negative mode", "<dict><key>viewMode</key><integer>-1</integer></dict>", ViewMode::column, FileSortField::name);
    row("mode as text", "<dict><key>viewMode</key><string>1</string></dict>", ViewMode::column, FileSortField::name);
    row("capitalised field", "<dict><key>sortField</key><string>Name</string><key>viewMode</key><integer>2</integer></dict>",
        ViewMode::column, FileSortField::name);
    row("field as integer", "<dict><key>sortField</key><integer>2</integer><key>viewMode</key><integer>1</integer></dict>",
        ViewMode::list, FileSortField::name);
}

void ViewModePreferenceStoreTest::unusableValuesFallBack()
{
    QFETCH(QByteArray, body);
    QFETCH(ViewMode, mode);
    QFETCH(FileSortField, field);
    QVERIFY(tw::test::writeFile(ViewModePreferenceStore::filePath(), tw::test::plist(body)));
    QCOMPARE(ViewModePreferenceStore::loadViewMode(), mode);
    QCOMPARE(ViewModePreferenceStore::loadSortField(), field);
}

void ViewModePreferenceStoreTest::savingOneKeepsTheOtherWithTheStoredTypes()
{
    QVERIFY(tw::test::writeFile(ViewModePreferenceStore::filePath(),
                                tw::test::plist("<dict><key>sortField</key><string>kind</string></dict>")));
    ViewModePreferenceStore::saveViewMode(ViewMode::list);
    QCOMPARE(ViewModePreferenceStore::loadViewMode(), ViewMode::list);
    QCOMPARE(ViewModePreferenceStore::loadSortField(), FileSortField::kind);
    ViewModePreferenceStore::saveSortField(FileSortField::dateModified);
    QCOMPARE(ViewModePreferenceStore::loadViewMode(), ViewMode::list);
    const std::optional<QVariantMap> stored =
        PropertyList::parseDictionary(tw::test::contentsOf(ViewModePreferenceStore::filePath()));
    QVERIFY(stored);
    QCOMPARE(stored->value(QStringLiteral("viewMode")), QVariant(qlonglong(1)));
    QCOMPARE(stored->value(QStringLiteral("sortField")), QVariant(QStringLiteral("dateModified")));
}

TW_CORE_TEST_MAIN(ViewModePreferenceStoreTest)
#include "tst_ViewModePreferenceStore.moc"
