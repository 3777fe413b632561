#include "TestHome.h"

#include "FSCore/FileAttributes.h"
#include "FSCore/FileItem.h"
#include "FSGetInfo/ColorSwatchView.h"
#include "FSGetInfo/GetInfoWindowController.h"
#include "FSGetInfo/GetInfoWindowRegistry.h"
#include "FSGetInfo/InfoPanelPrivate.h"
#include "FSGetInfo/MultiItemInfoWindowController.h"
#include "FSPlatform/DefaultApplications.h"
#include "FSPlatform/PathCodec.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString desktopFileIds[] = {QStringLiteral("tidewright-viewer-10.desktop"),
                                  QStringLiteral("tidewright-viewer-9.desktop")};

QUrl urlOf(const QString &path)
{
    return PathCodec::urlForPath(path);
}

FileItem listedItem(const QString &path)
{
    return FileItem(urlOf(path), FileAttributes::read(urlOf(path)));
}

// The permission bits only: what the window changes.
mode_t permissionsOf(const QString &path)
{
    return tw::test::modeOf(path) & 07777;
}

// Sets or clears the immutable flag, which refuses chmod even to root.
bool setImmutable(const QString &path, bool immutable)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
}

// Waits until the window has read the item's mode.
bool permissionsLoaded(GetInfoWindowController &window)
{
    return QTest::qWaitFor([&] { return window.ownerPermissionPopup()->isEnabled(); }, 5000);
}

void choose(QComboBox *popup, int index)
{
    popup->setCurrentIndex(index);
    Q_EMIT popup->activated(index);
}

} // namespace

class GetInfoWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void permissionChangeKeepsOtherBitsAndExecute_data();
    void permissionChangeKeepsOtherBitsAndExecute();
    void permissionChangeStartsFromTheModeOnDiskNow();
    void symbolicLinkShowsAndChangesItsTarget();
    void failedPermissionWriteShowsMessageAndDiskState();
    void vanishedItemIsReportedAndNotEdited();
    void renameFromHiddenExtensionNameKeepsExtension();
    void folderSizeOnlyFromOwnWalkAndCancelledOnClose();
    void registryKeepsOneWindowPerItemAndSet();
    void changeAllSetsDefaultInPrivateMimeappsList();
    void multiItemTotalsAndLabels();
    void controlAndBidiCharactersAreShownHarmlessly();
    void unusualEntriesShowFallbacksAndStayEditable();

private:
    tw::test::TemporaryFolder m_folder;
    QString path(const QString &name) const { return m_folder.path() + QLatin1Char('/') + name; }
};

void GetInfoWindowTest::initTestCase()
{
    // Before the first GIO call, which reads the application folders once.
    // GIO finds the types of a folder's applications in its index, as an
    // installer's update-desktop-database writes it.
    const QString applications = tw::test::privateHome() + QStringLiteral("/.local/share/applications/");
    QByteArray index = "[MIME Cache]\ntext/plain=";
    for (const QString &id : desktopFileIds) {
        const QByteArray name = id == desktopFileIds[0] ? "Tidewright Viewer 10" : "Tidewright Viewer 9";
        QVERIFY(tw::test::writeFile(applications + id, "[Desktop Entry]\nType=Application\nName=" + name
                                                           + "\nExec=true %f\nMimeType=text/plain;\n"));
        index += id.toUtf8() + ';';
    }
    QVERIFY(tw::test::writeFile(applications + QStringLiteral("mimeinfo.cache"), index + '\n'));
}

void GetInfoWindowTest::permissionChangeKeepsOtherBitsAndExecute_data()
{
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("permissionClass");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("shownBefore");
    QTest::addColumn<int>("expected");
    // shownBefore is what the pop-up of that class showed for `mode`.
    QTest::newRow("script stays runnable at read & write") << false << 0755 << 0 << 0 << 0 << 0755;
    QTest::newRow("script read only keeps execute") << false << 0755 << 0 << 1 << 0 << 0555;
    QTest::newRow("everyone shut out of a file") << false << 0644 << 2 << 2 << 1 << 0640;
    QTest::newRow("write-only owner shows no access") << false << 0200 << 0 << 0 << 2 << 0600;
    QTest::newRow("set-user-ID kept") << false << 04755 << 1 << 0 << 1 << 04775;
    QTest::newRow("folder read only for everyone") << true << 0700 << 2 << 1 << 2 << 0705;
    QTest::newRow("folder shut for group") << true << 0755 << 1 << 2 << 1 << 0705;
}

void GetInfoWindowTest::permissionChangeKeepsOtherBitsAndExecute()
{
    QFETCH(bool, isFolder);
    QFETCH(int, mode);
    QFETCH(int, permissionClass);
    QFETCH(int, level);
    QFETCH(int, shownBefore);
    QFETCH(int, expected);
    const QString item = path(QStringLiteral("permissions-%1").arg(QTest::currentDataTag()));
    QVERIFY(isFolder ? QDir().mkdir(item) : tw::test::writeFile(item, "#!/bin/sh\n"));
    QCOMPARE(::chmod(QFile::encodeName(item).constData(), mode), 0);

    GetInfoWindowController window(listedItem(item));
    QVERIFY(permissionsLoaded(window));
    QComboBox *popups[] = {window.ownerPermissionPopup(), window.groupPermissionPopup(),
                           window.everyonePermissionPopup()};
    QCOMPARE(popups[permissionClass]->currentIndex(), shownBefore);
    choose(popups[permissionClass], level);

    QTRY_COMPARE(permissionsOf(item), mode_t(expected));
    QTRY_VERIFY(popups[permissionClass]->isEnabled());
    QCOMPARE(popups[permissionClass]->currentIndex(), level);
    QVERIFY(window.messageLabel()->isHidden());
    QDir(item).removeRecursively() || QFile::remove(item);
}

void GetInfoWindowTest::permissionChangeStartsFromTheModeOnDiskNow()
{
    const QString item = path(QStringLiteral("changed-meanwhile"));
    QVERIFY(tw::test::writeFile(item));
    QCOMPARE(::chmod(QFile::encodeName(item).constData(), 0644), 0);
    GetInfoWindowController window(listedItem(item));
    QVERIFY(permissionsLoaded(window));
    // Someone else makes it private and runnable while the window is open.
    QCOMPARE(::chmod(QFile::encodeName(item).constData(), 0700), 0);
    choose(window.groupPermissionPopup(), 1);
    QTRY_COMPARE(permissionsOf(item), mode_t(0740));
}

void GetInfoWindowTest::symbolicLinkShowsAndChangesItsTarget()
{
    const QString target = path(QStringLiteral("link-target"));
    const QString link = path(QStringLiteral("link"));
    QVERIFY(tw::test::writeFile(target));
    QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0600), 0);
    QVERIFY(QFile::link(target, link));

    GetInfoWindowController window(listedItem(link));
    QVERIFY(permissionsLoaded(window));
    QCOMPARE(window.ownerPermissionPopup()->currentIndex(), 0);
    QCOMPARE(window.groupPermissionPopup()->currentIndex(), 2);
    QTRY_COMPARE(window.sizeValueField()->fullText(), QStringLiteral("0 bytes"));
    choose(window.groupPermissionPopup(), 1);
    QTRY_COMPARE(permissionsOf(target), mode_t(0640));
    QTRY_VERIFY(window.groupPermissionPopup()->isEnabled());
    QCOMPARE(window.groupPermissionPopup()->currentIndex(), 1);
}

void GetInfoWindowTest::failedPermissionWriteShowsMessageAndDiskState()
{
    QString item = path(QStringLiteral("unchangeable"));
    QVERIFY(tw::test::writeFile(item));
    QCOMPARE(::chmod(QFile::encodeName(item).constData(), 0644), 0);
    const bool isImmutable = setImmutable(item, true);
    // Without the right to set that flag, a folder of another owner refuses too.
    if (!isImmutable)
        item = QStringLiteral("/");
    if (!isImmutable && ::geteuid() == 0)
        QSKIP("cannot make an item whose mode cannot be changed");
    const mode_t before = permissionsOf(item);

    GetInfoWindowController window(listedItem(item));
    QVERIFY(permissionsLoaded(window));
    const int shown = window.everyonePermissionPopup()->currentIndex();
    choose(window.everyonePermissionPopup(), shown == 2 ? 0 : 2);

    QTRY_VERIFY(window.messageLabel()->isVisible() || !window.messageLabel()->text().isEmpty());
    QVERIFY(!window.messageLabel()->text().isEmpty());
    QTRY_VERIFY(window.everyonePermissionPopup()->isEnabled());
    QCOMPARE(window.everyonePermissionPopup()->currentIndex(), shown);
    QCOMPARE(permissionsOf(item), before);
    if (isImmutable)
        QVERIFY(setImmutable(item, false));
}

void GetInfoWindowTest::vanishedItemIsReportedAndNotEdited()
{
    const QString item = path(QStringLiteral("vanishing.txt"));
    QVERIFY(tw::test::writeFile(item));
    GetInfoWindowController window(listedItem(item));
    QVERIFY(permissionsLoaded(window));
    QVERIFY(QFile::remove(item));
    // The write finds nothing to read first, and the window looks again.
    choose(window.everyonePermissionPopup(), 2);
    QTRY_VERIFY(window.isItemGone());
    QVERIFY(!window.messageLabel()->text().isEmpty());
    QVERIFY(!window.nameExtField()->isEnabled());
    QVERIFY(!window.ownerPermissionPopup()->isEnabled());
    QVERIFY(!window.hideExtensionCheckbox()->isEnabled());
    QVERIFY(!QFile::exists(item));
}

void GetInfoWindowTest::renameFromHiddenExtensionNameKeepsExtension()
{
    const QString item = path(QStringLiteral("Report.pdf"));
    QVERIFY(tw::test::writeFile(item));
    listedItem(item).setHidesExtension(true);
    GetInfoWindowController window(listedItem(item));
    QCOMPARE(window.nameExtField()->text(), QStringLiteral("Report"));
    QVERIFY(window.hideExtensionCheckbox()->isChecked());

    window.nameExtField()->setText(QStringLiteral("Summary"));
    Q_EMIT window.nameExtField()->editingFinished();
    QTRY_VERIFY(QFile::exists(path(QStringLiteral("Summary.pdf"))));
    QVERIFY(!QFile::exists(item));
    QTRY_COMPARE(window.windowTitle(), QStringLiteral("Summary Info"));
    QCOMPARE(window.fileItem().url(), urlOf(path(QStringLiteral("Summary.pdf"))));

    // A name that is taken leaves both files alone and puts the name back.
    QVERIFY(tw::test::writeFile(path(QStringLiteral("Taken.pdf"))));
    window.nameExtField()->setText(QStringLiteral("Taken"));
    Q_EMIT window.nameExtField()->editingFinished();
    QTRY_COMPARE(window.nameExtField()->text(), QStringLiteral("Summary"));
    QVERIFY(QFile::exists(path(QStringLiteral("Summary.pdf"))));
}

void GetInfoWindowTest::folderSizeOnlyFromOwnWalkAndCancelledOnClose()
{
    const QString folder = path(QStringLiteral("sized"));
    QVERIFY(tw::test::writeFile(folder + QStringLiteral("/a"), QByteArray(100, 'a')));
    QVERIFY(tw::test::writeFile(folder + QStringLiteral("/sub/b"), QByteArray(50, 'b')));
    {
        GetInfoWindowController window(listedItem(folder));
        QCOMPARE(window.sizeValueField()->fullText(), QStringLiteral("Calculating…"));
        QVERIFY(window.openWithPopup()->isHidden() || !window.openWithPopup()->isVisibleTo(&window));
        QTRY_COMPARE(window.sizeValueField()->fullText(), QStringLiteral("150 bytes"));
        FolderSizeCalculator stranger;
        window.acceptFolderSize(&stranger, 999999);
        QCOMPARE(window.sizeValueField()->fullText(), QStringLiteral("150 bytes"));
    }
    GetInfoWindowController closed(listedItem(folder));
    closed.show();
    closed.close();
    QVERIFY(closed.sizeCalculator()->isCancelled());
    QTest::qWait(300); // long enough for a walk of two files to come back
    QCOMPARE(closed.sizeValueField()->fullText(), QStringLiteral("Calculating…"));
}

void GetInfoWindowTest::registryKeepsOneWindowPerItemAndSet()
{
    const QString a = path(QStringLiteral("A.txt"));
    const QString b = path(QStringLiteral("B.txt"));
    QVERIFY(tw::test::writeFile(a) && tw::test::writeFile(b));
    GetInfoWindowRegistry registry;
    GetInfoWindowController *first = registry.show(listedItem(a));
    QCOMPARE(registry.show(listedItem(a)), first);
    MultiItemInfoWindowController *pair = registry.showMultiple({listedItem(a), listedItem(b)});
    QCOMPARE(registry.showMultiple({listedItem(b), listedItem(a), listedItem(b)}), pair);
    QCOMPARE(registry.windowCount(), 2);

    // Renamed in its window, the item keeps that window under its old URL.
    first->nameExtField()->setText(QStringLiteral("A2.txt"));
    Q_EMIT first->nameExtField()->editingFinished();
    QTRY_VERIFY(QFile::exists(path(QStringLiteral("A2.txt"))));
    GetInfoWindowController *second = registry.show(listedItem(path(QStringLiteral("A2.txt"))));
    QVERIFY(second != first);
    QPointer<GetInfoWindowController> closing = first;
    first->close();
    QCOMPARE(registry.window(urlOf(a)), nullptr);
    QCOMPARE(registry.window(urlOf(path(QStringLiteral("A2.txt")))), second);
    QTRY_VERIFY(closing.isNull());

    pair->close();
    QCOMPARE(registry.multiItemWindow({urlOf(a), urlOf(b)}), nullptr);
    QVERIFY(registry.showMultiple({listedItem(a), listedItem(b)}) != nullptr);
    QCOMPARE(registry.windowCount(), 2);
}

void GetInfoWindowTest::changeAllSetsDefaultInPrivateMimeappsList()
{
    const QString item = path(QStringLiteral("notes.txt"));
    QVERIFY(tw::test::writeFile(item, "hello"));
    GetInfoWindowController window(listedItem(item));
    QTRY_VERIFY(window.openWithApps().size() >= 2);
    QStringList names;
    for (const DefaultApplications::Application &application : window.openWithApps())
        names.append(application.name);
    const qsizetype nine = names.indexOf(QStringLiteral("Tidewright Viewer 9"));
    const qsizetype ten = names.indexOf(QStringLiteral("Tidewright Viewer 10"));
    QVERIFY(nine >= 0 && ten > nine); // numbers by value
    QCOMPARE(window.openWithPopup()->count(), names.size());

    window.openWithPopup()->setCurrentIndex(int(ten));
    window.changeAllButton()->click();
    const QString mimeapps = tw::test::privateHome() + QStringLiteral("/.config/mimeapps.list");
    QTRY_VERIFY(QFile::exists(mimeapps));
    QVERIFY(tw::test::contentsOf(mimeapps).contains(QByteArray("text/plain=" + desktopFileIds[0].toUtf8())));
    QCOMPARE(DefaultApplications::forContentType(QStringLiteral("text/plain")).defaultId, desktopFileIds[0]);
    QTRY_VERIFY(window.changeAllButton()->isEnabled());
    QCOMPARE(window.openWithPopup()->currentIndex(), int(ten));
}

void GetInfoWindowTest::multiItemTotalsAndLabels()
{
    const QString one = path(QStringLiteral("multi-1"));
    const QString two = path(QStringLiteral("multi-2"));
    const QString pipe = path(QStringLiteral("multi-pipe"));
    QVERIFY(tw::test::writeFile(one, QByteArray(1000, 'x')) && tw::test::writeFile(two, QByteArray(2000, 'y')));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    FileItem red = listedItem(one);
    red.setLabelColor(LabelColor::red);
    listedItem(two).setLabelColor(LabelColor::red);

    auto marked = [](const MultiItemInfoWindowController &window) {
        QList<LabelColor> colors;
        for (ColorSwatchView *swatch : window.swatches()) {
            if (swatch->isSelectedSwatch)
                colors.append(swatch->color);
        }
        return colors;
    };
    MultiItemInfoWindowController three({listedItem(one), listedItem(two), listedItem(pipe)});
    QCOMPARE(three.sizeValueField()->fullText(), QStringLiteral("3 KB"));
    QCOMPARE(three.kindValueField()->fullText(), QStringLiteral("3 files"));
    QCOMPARE(marked(three), QList<LabelColor>{}); // red, red and none

    MultiItemInfoWindowController pair({listedItem(one), listedItem(two)});
    QCOMPARE(marked(pair), QList<LabelColor>{LabelColor::red});
    pair.applyLabelColor(LabelColor::green);
    QTRY_COMPARE(marked(pair), QList<LabelColor>{LabelColor::green});
    for (const QString &file : {one, two})
        QCOMPARE(listedItem(file).labelColor(), LabelColor::green);
}

void GetInfoWindowTest::controlAndBidiCharactersAreShownHarmlessly()
{
    const QString name = QStringLiteral("evil\u202Egpj\n.exe");
    const QString item = path(name);
    QVERIFY(tw::test::writeFile(item));
    GetInfoWindowController window(listedItem(item));
    for (const QString &shown : {window.windowTitle(), window.nameField()->text(), window.nameExtField()->text()}) {
        QVERIFY2(!shown.contains(QChar(0x202E)) && !shown.contains(QLatin1Char('\n')), qPrintable(shown));
        QVERIFY(shown.contains(QStringLiteral("evil\uFFFDgpj\uFFFD")));
    }
    // Leaving the field untouched renames nothing.
    Q_EMIT window.nameExtField()->editingFinished();
    QTest::qWait(100);
    QVERIFY(QFile::exists(item));
}

void GetInfoWindowTest::unusualEntriesShowFallbacksAndStayEditable()
{
    const QString pipe = path(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    GetInfoWindowController pipeWindow(listedItem(pipe));
    QCOMPARE(pipeWindow.sizeValueField()->fullText(), QStringLiteral("—"));

    // A name that is not UTF-8 is shown with a replacement character and still
    // reaches the file when its mode changes.
    const QByteArray rawName = "caf\xe9.txt";
    const QByteArray rawPath = QFile::encodeName(m_folder.path()) + '/' + rawName;
    QVERIFY(tw::test::writeRawFile(rawPath));
    const QString decoded = PathCodec::decode(rawPath);
    GetInfoWindowController window(listedItem(decoded));
    QCOMPARE(window.windowTitle(), QStringLiteral("caf\uFFFD.txt Info"));
    QVERIFY(permissionsLoaded(window));
    choose(window.everyonePermissionPopup(), 2);
    struct stat status;
    QTRY_VERIFY(::stat(rawPath.constData(), &status) == 0 && (status.st_mode & 07777) == 0640);
}

TW_GUI_TEST_MAIN(GetInfoWindowTest)
#include "tst_GetInfoWindow.moc"
