#include "ScratchMount.h"
#include "TestHome.h"

#include "FSCore/VolumeInfo.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/VolumeEjector.h"
#include "FSSidebar/SidebarItemCell.h"
#include "FSSidebar/SidebarModel.h"
#include "FSSidebar/SidebarOutlineView.h"
#include "FSSidebar/SidebarViewController.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSUIKit/FilePasteboard.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>

#include <gio/gio.h>
#include <sched.h>
#include <sys/mount.h>

namespace {

QUrl urlOf(const QString &path)
{
    return PathCodec::urlForPath(path);
}

QString homeFolder(const QString &name)
{
    return QDir(tw::test::privateHome()).filePath(name);
}

QList<QUrl> urlsIn(const SidebarSection &section)
{
    QList<QUrl> urls;
    for (const FileItem &item : section.items)
        urls.append(item.url());
    return urls;
}

// A tmpfs below the home folder, where it counts as the user's volume.
class HomeMount
{
public:
    enum Kind { tmpfs, loopDisk };

    // GIO leaves a tmpfs to the system; a disk on a loop device is the user's.
    explicit HomeMount(const QString &name, Kind kind = tmpfs)
        : m_path(homeFolder(name)), m_encoded(PathCodec::encode(m_path))
    {
        QDir().mkpath(m_path);
        if (kind == tmpfs) {
            m_isMounted = ::mount("tidewright-test", m_encoded.constData(), "tmpfs", 0, "size=1m") == 0;
            return;
        }
        const QString image = m_image.filePath(QStringLiteral("disk.img"));
        QFile file(image);
        m_isMounted = file.open(QIODevice::WriteOnly) && file.resize(2 << 20)
                      && QProcess::execute(QStringLiteral("mkfs.ext2"), {QStringLiteral("-q"), image}) == 0
                      && QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"),
                                                                      image, m_path}) == 0;
    }
    ~HomeMount() { unmount(); }
    bool isMounted() const { return m_isMounted; }
    QUrl url() const { return urlOf(m_path); }
    QString path() const { return m_path; }
    void unmount()
    {
        if (m_isMounted)
            ::umount2(m_encoded.constData(), MNT_DETACH);
        m_isMounted = false;
    }

private:
    QTemporaryDir m_image;
    QString m_path;
    QByteArray m_encoded;
    bool m_isMounted = false;
};

} // namespace

class SidebarTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void sectionsComeInOrderAndShowEvenWhenEmpty();
    void mountsRebuildTheListWithoutNavigating();
    void rowsFollowTheTextSizeSetInThePreferences();
    void onlyTheUsersClickNavigates();
    void dropsMoveOrCopyByTheKeys_data();
    void dropsMoveOrCopyByTheKeys();
    void dropsIntoItselfOrOntoHeadersAreRefused();
    void aRestingDragOpensTheFolder();
    void ejectFailuresSayWhatHappened_data();
    void ejectFailuresSayWhatHappened();
    void ejectUnmountsWithoutWaiting();
    void namesCannotHideOrReorderCharacters_data();
    void namesCannotHideOrReorderCharacters();

private:
    QModelIndex rowOf(const SidebarViewController &sidebar, const QUrl &url) const;
    int devicesCount(const SidebarViewController &sidebar) const;

    bool m_hasPrivateMounts = false;
    QString m_whyNoMounts;
};

void SidebarTest::initTestCase()
{
    QVERIFY(QDir().mkpath(homeFolder("Desktop")));
    QVERIFY(QDir().mkpath(homeFolder("Documents")));
    // Mounts made here stay in this process's own namespace; it must exist
    // before the mount monitor opens the mount table.
    if (::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0)
        m_hasPrivateMounts = true;
    else
        m_whyNoMounts = QString::fromLocal8Bit(strerror(errno));
}

QModelIndex SidebarTest::rowOf(const SidebarViewController &sidebar, const QUrl &url) const
{
    return static_cast<SidebarModel *>(sidebar.outlineView()->model())->indexOf(url);
}

int SidebarTest::devicesCount(const SidebarViewController &sidebar) const
{
    return int(sidebar.sections().at(0).items.size());
}

void SidebarTest::sectionsComeInOrderAndShowEvenWhenEmpty()
{
    SidebarViewController sidebar;
    QAbstractItemModelTester tester(sidebar.outlineView()->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QList<SidebarSection> &sections = sidebar.sections();
    QCOMPARE(sections.size(), 3);
    QCOMPARE(sections.at(0).title, QStringLiteral("DEVICES"));
    QCOMPARE(sections.at(1).title, QStringLiteral("PLACES"));
    QCOMPARE(sections.at(2).title, QStringLiteral("SHARED"));
    QVERIFY(urlsIn(sections.at(0)).contains(urlOf("/")));
    QList<QUrl> places{urlOf(tw::test::privateHome()), urlOf(homeFolder("Desktop")), urlOf(homeFolder("Documents"))};
    if (QFileInfo(QStringLiteral("/Applications")).isDir())
        places.append(urlOf("/Applications"));
    QCOMPARE(urlsIn(sections.at(1)), places);
    QCOMPARE(sections.at(2).items.size(), VolumeInfo::sharedVolumes().size());

    const QAbstractItemModel *model = sidebar.outlineView()->model();
    QCOMPARE(model->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        const QModelIndex header = model->index(row, 0);
        QCOMPARE(header.data().toString(), sections.at(row).title);
        QVERIFY(!header.flags().testFlag(Qt::ItemIsSelectable));
        QVERIFY(sidebar.outlineView()->isExpanded(header));
    }
    QCOMPARE(rowOf(sidebar, urlOf("/")).data().toString(), SidebarItemCell::shownText("File System"));
}

void SidebarTest::mountsRebuildTheListWithoutNavigating()
{
    if (!m_hasPrivateMounts)
        QSKIP(qPrintable("no private mount namespace: " + m_whyNoMounts));
    SidebarViewController sidebar;
    int navigations = 0;
    sidebar.onSelect = [&](const FileItem &) { ++navigations; };
    QAbstractItemModelTester tester(sidebar.outlineView()->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(sidebar.outlineView()->model(), &QAbstractItemModel::modelReset);
    QSignalSpy inserted(sidebar.outlineView()->model(), &QAbstractItemModel::rowsInserted);
    sidebar.show();
    // The default place is shown as selected a turn later, without navigating.
    QTRY_COMPARE(sidebar.selectedUrl(), std::optional<QUrl>(urlOf(tw::test::privateHome())));
    const int devicesBefore = devicesCount(sidebar);

    HomeMount first(QStringLiteral("First Disk"));
    QVERIFY(first.isMounted());
    QTRY_COMPARE_WITH_TIMEOUT(devicesCount(sidebar), devicesBefore + 1, 5000);
    QVERIFY(rowOf(sidebar, first.url()).isValid());
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(sidebar.selectedUrl(), std::optional<QUrl>(urlOf(tw::test::privateHome())));

    sidebar.selectLocation(first.url());
    HomeMount second(QStringLiteral("Second Disk"));
    QVERIFY(second.isMounted());
    QTRY_COMPARE_WITH_TIMEOUT(devicesCount(sidebar), devicesBefore + 2, 5000);
    QCOMPARE(inserted.size(), 2);
    second.unmount();
    QTRY_COMPARE_WITH_TIMEOUT(devicesCount(sidebar), devicesBefore + 1, 5000);
    QCOMPARE(sidebar.selectedUrl(), std::optional<QUrl>(first.url()));

    // The selected volume goes: no row is selected, and none in its place.
    first.unmount();
    QTRY_COMPARE_WITH_TIMEOUT(devicesCount(sidebar), devicesBefore, 5000);
    QCOMPARE(sidebar.selectedUrl(), std::nullopt);
    QCOMPARE(navigations, 0);
    QCOMPARE(resets.size(), 0);
    for (int row = 0; row < 3; ++row)
        QVERIFY(sidebar.outlineView()->isExpanded(sidebar.outlineView()->model()->index(row, 0)));
}

void SidebarTest::rowsFollowTheTextSizeSetInThePreferences()
{
    AppearancePreferenceStore::setTextSize(TextSize::small);
    SidebarViewController sidebar;
    sidebar.resize(240, 600);
    sidebar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sidebar));
    const QUrl documents = urlOf(homeFolder("Documents"));
    QCOMPARE(sidebar.outlineView()->visualRect(rowOf(sidebar, documents)).height(), 22);
    AppearancePreferenceStore::setTextSize(TextSize::large);
    QCOMPARE(sidebar.textSize(), TextSize::large);
    QCOMPARE(sidebar.outlineView()->visualRect(rowOf(sidebar, documents)).height(), 36);
    QCOMPARE(sidebar.outlineView()->visualRect(sidebar.outlineView()->model()->index(1, 0)).height(), 36);
    AppearancePreferenceStore::setTextSize(TextSize::medium);
}

void SidebarTest::onlyTheUsersClickNavigates()
{
    SidebarViewController sidebar;
    QList<QUrl> navigations;
    sidebar.onSelect = [&](const FileItem &item) { navigations.append(item.url()); };
    sidebar.resize(240, 600);
    sidebar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sidebar));
    SidebarOutlineView *outline = sidebar.outlineView();
    const QUrl documents = urlOf(homeFolder("Documents"));

    sidebar.selectLocation(urlOf(homeFolder("Desktop")));
    sidebar.refreshVolumeSections();
    QCOMPARE(navigations, QList<QUrl>());

    const QPoint onDocuments = outline->visualRect(rowOf(sidebar, documents)).center();
    QTest::mouseClick(outline->viewport(), Qt::LeftButton, {}, onDocuments);
    QCOMPARE(navigations, QList<QUrl>{documents});
    QCOMPARE(sidebar.selectedUrl(), std::optional<QUrl>(documents));
    // A second click on the selected row goes there again (the window may
    // have moved on); the double click it may become is no third visit.
    QTest::mouseClick(outline->viewport(), Qt::LeftButton, {}, onDocuments, 1000);
    QCOMPARE(navigations.size(), 2);
    QTest::mouseDClick(outline->viewport(), Qt::LeftButton, {}, onDocuments);
    QCOMPARE(navigations.size(), 2);

    const QModelIndex places = outline->model()->index(1, 0);
    QTest::mouseClick(outline->viewport(), Qt::LeftButton, {}, outline->visualRect(places).center());
    QCOMPARE(navigations.size(), 2);
    QCOMPARE(sidebar.selectedUrl(), std::optional<QUrl>(documents));

    // The arrow keys choose too, skipping the headers.
    outline->setFocus();
    QTest::keyClick(outline, Qt::Key_Up);
    QCOMPARE(navigations.size(), 3);
    QCOMPARE(navigations.last(), urlOf(homeFolder("Desktop")));
}

void SidebarTest::dropsMoveOrCopyByTheKeys_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("keys");
    QTest::addColumn<bool>("fromOtherVolume");
    QTest::addColumn<bool>("isMoved");
    QTest::newRow("same volume, no keys: moved") << Qt::KeyboardModifiers() << false << true;
    QTest::newRow("Ctrl: copied") << Qt::KeyboardModifiers(Qt::ControlModifier) << false << false;
    QTest::newRow("Shift: moved") << Qt::KeyboardModifiers(Qt::ShiftModifier) << false << true;
    QTest::newRow("Ctrl and Shift: copied") << (Qt::ControlModifier | Qt::ShiftModifier) << false << false;
    QTest::newRow("other volume, no keys: copied") << Qt::KeyboardModifiers() << true << false;
    QTest::newRow("other volume, Shift: moved") << Qt::KeyboardModifiers(Qt::ShiftModifier) << true << true;
}

void SidebarTest::dropsMoveOrCopyByTheKeys()
{
    QFETCH(Qt::KeyboardModifiers, keys);
    QFETCH(bool, fromOtherVolume);
    QFETCH(bool, isMoved);
    tw::test::ScratchMount otherVolume;
    if (fromOtherVolume && !otherVolume.isMounted())
        QSKIP(qPrintable(otherVolume.whyNot()));
    tw::test::TemporaryFolder sameVolume(homeFolder("drag-XXXXXX"));
    const QString source = (fromOtherVolume ? otherVolume.path() : sameVolume.path()) + "/Report.txt";
    QVERIFY(tw::test::writeFile(source, "quarterly"));
    const QString landed = homeFolder("Documents/Report.txt");
    auto cleanUp = qScopeGuard([&] { QFile::remove(landed); });

    SidebarViewController sidebar;
    int changes = 0;
    sidebar.onFileSystemChange = [&] { ++changes; };
    sidebar.resize(240, 600);
    sidebar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sidebar));
    QWidget *viewport = sidebar.outlineView()->viewport();
    const QPointF onDocuments = sidebar.outlineView()->visualRect(rowOf(sidebar, urlOf(homeFolder("Documents")))).center();
    std::unique_ptr<QMimeData> data(FilePasteboard::mimeData({urlOf(source)}));

    QDragEnterEvent enter(onDocuments.toPoint(), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, keys);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(onDocuments.toPoint(), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, keys);
    QApplication::sendEvent(viewport, &move);
    QVERIFY(move.isAccepted());
    QCOMPARE(move.dropAction(), isMoved ? Qt::MoveAction : Qt::CopyAction);
    QDropEvent drop(onDocuments, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, keys);
    QApplication::sendEvent(viewport, &drop);
    QVERIFY(drop.isAccepted());

    QTRY_COMPARE(changes, 1);
    QCOMPARE(tw::test::contentsOf(landed), QByteArray("quarterly"));
    QCOMPARE(QFileInfo::exists(source), !isMoved);
}

void SidebarTest::dropsIntoItselfOrOntoHeadersAreRefused()
{
    SidebarViewController sidebar;
    sidebar.resize(240, 600);
    sidebar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sidebar));
    const QModelIndex documents = rowOf(sidebar, urlOf(homeFolder("Documents")));
    const QModelIndex placesHeader = sidebar.outlineView()->model()->index(1, 0);

    struct Case
    {
        const char *what;
        QList<QUrl> urls;
        QModelIndex target;
    };
    const Case cases[] = {
        {"a folder onto itself", {urlOf(homeFolder("Documents"))}, documents},
        {"a folder into one inside it", {urlOf(tw::test::privateHome())}, documents},
        {"files onto a header", {urlOf(homeFolder("Desktop"))}, placesHeader},
        {"no files at all", {}, documents},
    };
    for (const Case &refused : cases) {
        std::unique_ptr<QMimeData> data(FilePasteboard::mimeData(refused.urls));
        QCOMPARE_EQ(sidebar.validateDrop(data.get(), refused.target, {}), Qt::IgnoreAction);
        QVERIFY2(!sidebar.acceptDrop(data.get(), refused.target, {}) || !refused.urls.isEmpty(), refused.what);
    }
    QVERIFY(QFileInfo(homeFolder("Documents")).isDir());
    QVERIFY(!QFileInfo::exists(homeFolder("Documents/Documents")));
}

void SidebarTest::aRestingDragOpensTheFolder()
{
    SidebarViewController sidebar;
    QList<QUrl> navigations;
    sidebar.onSelect = [&](const FileItem &item) { navigations.append(item.url()); };
    const QUrl desktop = urlOf(homeFolder("Desktop"));
    std::unique_ptr<QMimeData> data(FilePasteboard::mimeData({urlOf(homeFolder("Documents"))}));
    QCOMPARE(sidebar.validateDrop(data.get(), rowOf(sidebar, desktop), {}), Qt::MoveAction);
    QTRY_COMPARE_WITH_TIMEOUT(navigations, QList<QUrl>{desktop}, 5000);
    QCOMPARE(sidebar.selectedUrl(), std::optional<QUrl>(desktop));
}

void SidebarTest::ejectFailuresSayWhatHappened_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("gioMessage");
    QTest::addColumn<bool>("wasShownProcesses");
    QTest::addColumn<QString>("expected");
    const QString inUse = QStringLiteral("“USB Disk” can’t be ejected because it is in use. Close the files and "
                                         "programs that use it, then try again.");
    QTest::newRow("busy") << int(G_IO_ERROR_BUSY) << "Target is busy" << false << inUse;
    QTest::newRow("programs hold it, question declined")
        << int(G_IO_ERROR_FAILED_HANDLED) << "" << true << inUse;
    QTest::newRow("question declined") << int(G_IO_ERROR_FAILED_HANDLED) << "Operation was cancelled" << false
                                       << QStringLiteral("“USB Disk” can’t be ejected.");
    QTest::newRow("other failures pass through")
        << int(G_IO_ERROR_PERMISSION_DENIED) << "Not authorized to perform operation" << false
        << QStringLiteral("Not authorized to perform operation");
}

void SidebarTest::ejectFailuresSayWhatHappened()
{
    QFETCH(int, code);
    QFETCH(QString, gioMessage);
    QFETCH(bool, wasShownProcesses);
    QFETCH(QString, expected);
    QCOMPARE(VolumeEjector::failureMessage(code, gioMessage, wasShownProcesses, QStringLiteral("USB Disk")),
             std::optional<QString>(expected));
}

void SidebarTest::ejectUnmountsWithoutWaiting()
{
    if (!m_hasPrivateMounts)
        QSKIP(qPrintable("no private mount namespace: " + m_whyNoMounts));
    SidebarViewController sidebar;
    QStringList failures;
    sidebar.onEjectFailure = [&](const QString &message) { failures.append(message); };
    // Not a volume the desktop mounted: refused with a message, later.
    sidebar.eject(FileItem(urlOf("/proc")));
    QVERIFY(failures.isEmpty());
    QTRY_COMPARE(failures, QStringList{QStringLiteral("“") + SidebarItemCell::shownText("proc")
                                        + QStringLiteral("” can’t be ejected.")});

    // A disk below the home folder is the user's, and GIO unmounts it.
    failures.clear();
    HomeMount disk(QStringLiteral("Camera Card"), HomeMount::loopDisk);
    if (!disk.isMounted())
        QSKIP("no loop device for a disk of the user's");
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(sidebar, disk.url()).isValid(), 5000);
    {
        // Without udisks GIO runs umount(8), whose refusal comes through as
        // its own words; the disk stays.
        QFile held(disk.path() + "/held.txt");
        QVERIFY(held.open(QIODevice::WriteOnly));
        sidebar.eject(FileItem(disk.url()));
        QTRY_COMPARE_WITH_TIMEOUT(failures.size(), 1, 10000);
        QVERIFY2(failures.first().contains("busy"), qPrintable(failures.first()));
        QVERIFY(rowOf(sidebar, disk.url()).isValid());
    }
    // From its context menu, as the user ejects; places have none.
    failures.clear();
    QVERIFY(!sidebar.makeContextMenu(rowOf(sidebar, urlOf(homeFolder("Documents"))), &sidebar));
    std::unique_ptr<QMenu> menu(sidebar.makeContextMenu(rowOf(sidebar, disk.url()), &sidebar));
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 1);
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("Eject"));
    menu->actions().first()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!rowOf(sidebar, disk.url()).isValid(), 10000);
    QCOMPARE(failures, QStringList());
}

void SidebarTest::namesCannotHideOrReorderCharacters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("shown");
    const QString fsi = QStringLiteral("\u2068");
    const QString pdi = QStringLiteral("\u2069");
    QTest::newRow("plain") << "Backup" << "" << fsi + "Backup" + pdi;
    QTest::newRow("controls become pictures")
        << QStringLiteral("USB\nDisk\x1b\x7f") << "" << fsi + QStringLiteral("USB\u240aDisk\u241b\u2421") + pdi;
    QTest::newRow("direction override cannot flip the name")
        << QStringLiteral("photos\u202egpj.exe") << "" << fsi + QStringLiteral("photos\ufffdgpj.exe") + pdi;
    QTest::newRow("a closing isolate cannot escape")
        << QStringLiteral("a\u2069\u2067b") << "" << fsi + QStringLiteral("a\ufffd\ufffdb") + pdi;
    QTest::newRow("host isolated on its own")
        << QStringLiteral("\u05e9\u05dc\u05d5\u05dd") << QStringLiteral("nas\u200f")
        << fsi + QStringLiteral("\u05e9\u05dc\u05d5\u05dd") + pdi + " (" + fsi + QStringLiteral("nas\ufffd") + pdi + ")";
}

void SidebarTest::namesCannotHideOrReorderCharacters()
{
    QFETCH(QString, name);
    QFETCH(QString, host);
    QFETCH(QString, shown);
    const std::optional<QString> knownHost = host.isEmpty() ? std::nullopt : std::optional<QString>(host);
    QCOMPARE(SidebarItemCell::shownText(name, knownHost), shown);
}

TW_GUI_TEST_MAIN(SidebarTest)
#include "tst_Sidebar.moc"
