#include "TestHome.h"

#include "FSPlatform/ContentTypes.h"
#include "FSPlatform/NaturalOrder.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>

class NamesAndOrderTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void namesThatAreNotUtf8KeepTheirBytes_data();
    void namesThatAreNotUtf8KeepTheirBytes();
    void realSurrogatePairsAreNotMistakenForEscapes();
    void naturalOrderHoldsInTheCLocale_data();
    void naturalOrderHoldsInTheCLocale();
    void sortKeysOrderLikeTheComparison();
    void typesComeFromTheRightPartOfTheName_data();
    void typesComeFromTheRightPartOfTheName();
};

void NamesAndOrderTest::namesThatAreNotUtf8KeepTheirBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("utf-8") << QByteArray("Ångström café");
    QTest::newRow("latin-1") << QByteArray("caf\xe9.txt");
    QTest::newRow("lone continuation") << QByteArray("a\x80z");
    QTest::newRow("truncated sequence at end") << QByteArray("abc\xe2\x82");
    QTest::newRow("overlong slash") << QByteArray("x\xc0\xafy");
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xb2\x80");
    QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80");
}

void NamesAndOrderTest::namesThatAreNotUtf8KeepTheirBytes()
{
    QFETCH(QByteArray, bytes);
    const QString decoded = PathCodec::decode(bytes);
    QCOMPARE(PathCodec::encode(decoded), bytes);
    // Through a URL, as every item carries its path.
    const QUrl url = PathCodec::urlForPath(QStringLiteral("/tmp/") + decoded);
    QCOMPARE(PathCodec::encodePath(url), QByteArray("/tmp/") + bytes);
    // The shown form has no lone surrogates left.
    const QString shown = PathCodec::displayForm(decoded);
    QVERIFY(!PathCodec::hasEscapedBytes(shown));
    QCOMPARE(shown.toUtf8().isValidUtf8(), true);
}

void NamesAndOrderTest::realSurrogatePairsAreNotMistakenForEscapes()
{
    // U+1F480 is D83D DC80 in UTF-16: its low half lies in the escape range.
    const QByteArray skull("\xf0\x9f\x92\x80 notes");
    const QString decoded = PathCodec::decode(skull);
    QVERIFY(!PathCodec::hasEscapedBytes(decoded));
    QCOMPARE(PathCodec::encode(decoded), skull);
    QCOMPARE(PathCodec::displayForm(decoded), decoded);
}

void NamesAndOrderTest::naturalOrderHoldsInTheCLocale_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("numbers by value") << QStringLiteral("File 9") << QStringLiteral("File 10");
    QTest::newRow("long numbers") << QStringLiteral("IMG_2") << QStringLiteral("IMG_000123");
    QTest::newRow("number before letters") << QStringLiteral("2 notes") << QStringLiteral("a");
    QTest::newRow("case does not matter") << QStringLiteral("apple") << QStringLiteral("Banana");
    QTest::newRow("accent after bare letter") << QStringLiteral("cafe") << QStringLiteral("café");
    QTest::newRow("accented letter among its base") << QStringLiteral("Ångström") << QStringLiteral("b");
    QTest::newRow("prefix first") << QStringLiteral("Report") << QStringLiteral("Report 2");
}

void NamesAndOrderTest::naturalOrderHoldsInTheCLocale()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QVERIFY2(NaturalOrder::compare(first, second) < 0, qPrintable(first + QStringLiteral(" / ") + second));
    QVERIFY(NaturalOrder::compare(second, first) > 0);
    QVERIFY(NaturalOrder::sortKey(first) < NaturalOrder::sortKey(second));
}

void NamesAndOrderTest::sortKeysOrderLikeTheComparison()
{
    const QStringList names = {QStringLiteral("a"), QStringLiteral("A"), QStringLiteral("x 10"), QStringLiteral("x 9"),
                               QStringLiteral("Résumé"), QStringLiteral("resume"), QStringLiteral("Z"), QString(),
                               QStringLiteral("zeta_000017"), QStringLiteral("zeta_17")};
    for (const QString &a : names) {
        for (const QString &b : names) {
            const int byCompare = NaturalOrder::compare(a, b);
            const int byKeys = NaturalOrder::compareKeys(NaturalOrder::sortKey(a), NaturalOrder::sortKey(b));
            QCOMPARE(byCompare < 0, byKeys < 0);
            QCOMPARE(byCompare == 0, byKeys == 0);
        }
    }
    QCOMPARE(NaturalOrder::compare(QStringLiteral("Notes"), QStringLiteral("notes")), 0);
}

void NamesAndOrderTest::typesComeFromTheRightPartOfTheName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::newRow("capital extension") << QStringLiteral("IMG_0001.JPG") << QStringLiteral("image/jpeg");
    QTest::newRow("two-part extension") << QStringLiteral("archive.tar.gz") << QStringLiteral("application/x-compressed-tar");
    QTest::newRow("dot inside the name") << QStringLiteral("data.backup 5.txt") << QStringLiteral("text/plain");
    QTest::newRow("no known extension") << QStringLiteral("data.backup_000123") << QStringLiteral("application/octet-stream");
    QTest::newRow("whole-name pattern") << QStringLiteral("Makefile") << QStringLiteral("text/x-makefile");
    QTest::newRow("backup suffix") << QStringLiteral("notes.txt~") << QStringLiteral("application/x-trash");
}

void NamesAndOrderTest::typesComeFromTheRightPartOfTheName()
{
    QFETCH(QString, name);
    QFETCH(QString, type);
    // Twice: the second answer comes from the cache and must be the same.
    QCOMPARE(ContentTypes::forFileName(name).name, type);
    QCOMPARE(ContentTypes::forFileName(name).name, type);
    QVERIFY(!ContentTypes::forFileName(name).description.isEmpty());
}

TW_CORE_TEST_MAIN(NamesAndOrderTest)
#include "tst_NamesAndOrder.moc"
