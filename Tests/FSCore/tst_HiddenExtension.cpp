#include "TestHome.h"

#include "FSCore/FileAttributes.h"
#include "FSCore/FileItem.h"
#include "FSCore/FileOperations.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>

namespace {

FileItem listedItem(const QString &path)
{
    const QUrl url = PathCodec::urlForPath(path);
    return FileItem(url, FileAttributes::read(url));
}

} // namespace

class HiddenExtensionTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void renameFromShownNameKeepsHiddenExtension_data();
    void renameFromShownNameKeepsHiddenExtension();
    void flagOnlyHidesWhatIsAnExtension();
};

void HiddenExtensionTest::renameFromShownNameKeepsHiddenExtension_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("shownAfter");
    QTest::newRow("hidden: extension put back") << "Report.pdf" << true << "Summary" << "Summary.pdf" << "Summary";
    QTest::newRow("hidden: typed extension not doubled")
        << "Report.pdf" << true << "Summary.PDF" << "Summary.PDF" << "Summary";
    QTest::newRow("hidden: other extension typed is part of the stem")
        << "Report.pdf" << true << "Summary.txt" << "Summary.txt.pdf" << "Summary.txt";
    QTest::newRow("hidden: spaces trimmed before the extension")
        << "Report.pdf" << true << "  Notes  " << "Notes.pdf" << "Notes";
    QTest::newRow("hidden: unchanged shown name leaves the file")
        << "Report.pdf" << true << "Report" << "Report.pdf" << "Report";
    QTest::newRow("shown: name taken as typed") << "Report.pdf" << false << "Summary" << "Summary" << "Summary";
}

void HiddenExtensionTest::renameFromShownNameKeepsHiddenExtension()
{
    QFETCH(QString, fileName);
    QFETCH(bool, hidden);
    QFETCH(QString, edited);
    QFETCH(QString, expected);
    QFETCH(QString, shownAfter);
    tw::test::TemporaryFolder folder;
    const QString path = folder.path() + QLatin1Char('/') + fileName;
    QVERIFY(tw::test::writeFile(path, "content"));
    listedItem(path).setHidesExtension(hidden);

    const FileItem item = listedItem(path);
    QCOMPARE(item.hidesExtension(), hidden);
    const QUrl renamed = FileOperations::renameFromDisplayName(item, edited);

    QCOMPARE(renamed.fileName(), expected);
    QCOMPARE(tw::test::entriesOf(folder.path()), QStringList{expected});
    QCOMPARE(listedItem(renamed.toLocalFile()).name(), shownAfter);
}

void HiddenExtensionTest::flagOnlyHidesWhatIsAnExtension()
{
    tw::test::TemporaryFolder folder;
    for (const QString &name : {QStringLiteral("README"), QStringLiteral(".profile"), QStringLiteral("Photos.d")}) {
        const QString path = folder.path() + QLatin1Char('/') + name;
        if (name.endsWith(QLatin1String(".d")))
            QVERIFY(QDir().mkdir(path));
        else
            QVERIFY(tw::test::writeFile(path));
        listedItem(path).setHidesExtension(true);
        const FileItem item = listedItem(path);
        QCOMPARE(item.name(), name);
        QCOMPARE(item.fileNameForEditedName(QStringLiteral("Other")), QStringLiteral("Other"));
    }
}

TW_CORE_TEST_MAIN(HiddenExtensionTest)
#include "tst_HiddenExtension.moc"
