#include "TestHome.h"

#include "FSCore/PreferenceFile.h"
#include "FSCore/PropertyList.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

using tw::test::plist;

class PropertyListTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyTypeSurvivesARoundTrip();
    void damagedDocumentsAreRefused_data();
    void damagedDocumentsAreRefused();
    void valuesKeepTheirExactType();
    void preferenceFileKeepsKeysItDoesNotKnowAndReadsTypesStrictly();
    void damagedPreferenceFileIsReplacedOnWrite_data();
    void damagedPreferenceFileIsReplacedOnWrite();
    void writesLeaveNoTemporaryFiles();
};

void PropertyListTest::everyTypeSurvivesARoundTrip()
{
    QVariantMap nested;
    nested.insert(QStringLiteral("inner"), QVariantList{qlonglong(1), QStringLiteral("two"), true});
    QVariantMap dictionary;
    dictionary.insert(QStringLiteral("integer"), qlonglong(-42));
    dictionary.insert(QStringLiteral("big"), qlonglong(9007199254740993));
    dictionary.insert(QStringLiteral("real"), 2.5);
    dictionary.insert(QStringLiteral("string"), QStringLiteral("Ångström <&> “quoted”"));
    dictionary.insert(QStringLiteral("empty string"), QString());
    dictionary.insert(QStringLiteral("yes"), true);
    dictionary.insert(QStringLiteral("no"), false);
    dictionary.insert(QStringLiteral("date"), QDateTime(QDate(2026, 12, 7), QTime(1, 2, 3), Qt::UTC));
    dictionary.insert(QStringLiteral("data"), QByteArray("\x00\x01\xff", 3));
    dictionary.insert(QStringLiteral("dict"), nested);
    dictionary.insert(QStringLiteral("empty array"), QVariantList());

    const std::optional<QByteArray> xml = PropertyList::serialize(dictionary);
    QVERIFY(xml);
    const std::optional<QVariantMap> back = PropertyList::parseDictionary(*xml);
    QVERIFY(back);
    QCOMPARE(*back, dictionary);
    QCOMPARE(back->value(QStringLiteral("big")).metaType().id(), int(QMetaType::LongLong));
}

void PropertyListTest::damagedDocumentsAreRefused_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary") << QByteArray("bplist00\xd1\x01\x02", 11);
    QTest::newRow("root is an array") << plist("<array><integer>1</integer></array>");
    QTest::newRow("truncated") << plist("<dict><key>textSize</key><integer>2</integer>").left(60);
    QTest::newRow("key without value") << plist("<dict><key>textSize</key></dict>");
    QTest::newRow("value without key") << plist("<dict><integer>1</integer></dict>");
    QTest::newRow("integer that is text") << plist("<dict><key>a</key><integer>two</integer></dict>");
    QTest::newRow("integer too large") << plist("<dict><key>a</key><integer>99999999999999999999</integer></dict>");
    QTest::newRow("unknown element") << plist("<dict><key>a</key><color>red</color></dict>");
    QTest::newRow("text between elements") << plist("<dict>stray<key>a</key><true/></dict>");
    QTest::newRow("true with content") << plist("<dict><key>a</key><true>yes</true></dict>");
    QTest::newRow("two roots") << plist("<dict></dict><dict></dict>");
    QTest::newRow("bad base64") << plist("<dict><key>a</key><data>!!!</data></dict>");
    QTest::newRow("wrong root element") << QByteArray("<?xml version=\"1.0\"?><dict></dict>");
    QByteArray deep;
    for (int i = 0; i < 200; ++i)
        deep += "<array>";
    for (int i = 0; i < 200; ++i)
        deep += "</array>";
    QTest::newRow("nested too deep") << plist("<dict><key>a</key>" + deep + "</dict>");
    QTest::newRow("entity expansion") << QByteArray(
        "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
        "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">]>"
        "<plist version=\"1.0\"><dict><key>a</key><string>&e;&e;&e;&e;&e;&e;&e;&e;</string></dict></plist>");
}

void PropertyListTest::damagedDocumentsAreRefused()
{
    QFETCH(QByteArray, document);
    QCOMPARE(PropertyList::parseDictionary(document), std::nullopt);
}

void PropertyListTest::valuesKeepTheirExactType()
{
    const std::optional<QVariantMap> map = PropertyList::parseDictionary(
        plist("<dict><key>n</key><integer> 7 </integer><key>s</key><string>1</string><key>r</key><real>1</real></dict>"));
    QVERIFY(map);
    QCOMPARE(map->value(QStringLiteral("n")).metaType().id(), int(QMetaType::LongLong));
    QCOMPARE(map->value(QStringLiteral("s")).metaType().id(), int(QMetaType::QString));
    QCOMPARE(map->value(QStringLiteral("r")).metaType().id(), int(QMetaType::Double));
}

void PropertyListTest::preferenceFileKeepsKeysItDoesNotKnowAndReadsTypesStrictly()
{
    const PreferenceFile file(QStringLiteral("Test.plist"));
    QVERIFY(file.setValue(QStringLiteral("theirs"), QVariantList{QStringLiteral("kept")}));
    QVERIFY(file.setValue(QStringLiteral("mine"), 3));
    QVERIFY(file.setValue(QStringLiteral("text"), QStringLiteral("1")));
    QVERIFY(file.setValue(QStringLiteral("real"), 1.0));
    QVERIFY(file.setValue(QStringLiteral("flag"), true));
    QCOMPARE(file.integer(QStringLiteral("mine")), qlonglong(3));
    QCOMPARE(file.read().value(QStringLiteral("theirs")), QVariant(QVariantList{QStringLiteral("kept")}));
    // Strict types: "1", 1.0 and true are not the integer 1, nor 3 a string.
    for (const char *key : {"text", "real", "flag", "theirs"})
        QCOMPARE(file.integer(QString::fromUtf8(key)), std::nullopt);
    QCOMPARE(file.string(QStringLiteral("mine")), std::nullopt);
    QVERIFY(QFile::remove(file.path()));
}

void PropertyListTest::damagedPreferenceFileIsReplacedOnWrite_data()
{
    QTest::addColumn<QByteArray>("contents");
    // How a document is refused is the parser's; here, the file is replaced.
    QTest::newRow("garbage") << QByteArray("\x89PNG\r\n\x1a\n garbage", 17);
    QTest::newRow("huge") << QByteArray(3 << 20, ' ');
}

void PropertyListTest::damagedPreferenceFileIsReplacedOnWrite()
{
    QFETCH(QByteArray, contents);
    const PreferenceFile file(QStringLiteral("Damaged.plist"));
    QVERIFY(tw::test::writeFile(file.path(), contents));
    QVERIFY(file.read().isEmpty());
    QVERIFY(file.setValue(QStringLiteral("viewMode"), 1));
    const QVariantMap map = file.read();
    QCOMPARE(map.keys(), QStringList{QStringLiteral("viewMode")});
    QVERIFY(QFile::remove(file.path()));
}

void PropertyListTest::writesLeaveNoTemporaryFiles()
{
    const PreferenceFile file(QStringLiteral("Atomic.plist"));
    for (int i = 0; i < 5; ++i)
        QVERIFY(file.setValue(QStringLiteral("n"), i));
    QCOMPARE(QDir(PreferenceFile::folderPath()).entryList(QDir::Files), QStringList{QStringLiteral("Atomic.plist")});
    QVERIFY(QFile::remove(file.path()));
}

TW_CORE_TEST_MAIN(PropertyListTest)
#include "tst_PropertyList.moc"
