#include "TestHome.h"

#include "FSCore/FileItem.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/ClassicStyle.h"
#include "FSUIKit/FileContextMenu.h"

#include <QApplication>
#include <QMenu>

namespace {

QStringList titlesOf(const QList<QAction *> &actions)
{
    QStringList titles;
    for (const QAction *action : actions)
        titles.append(action->isSeparator() ? QStringLiteral("—") : action->text());
    return titles;
}

// Near-black pixels, as a check mark in the text colour has, in front of the
// swatch of `row`: the swatches themselves are light or saturated.
int markPixels(const QImage &image, const QRect &row)
{
    int count = 0;
    for (int y = row.top(); y <= row.bottom(); ++y) {
        for (int x = row.left(); x < row.left() + 18; ++x) {
            const QColor pixel = image.pixelColor(x, y);
            count += pixel.red() < 90 && pixel.green() < 90 && pixel.blue() < 90;
        }
    }
    return count;
}

} // namespace

class FileContextMenuTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ClassicStyle::apply(*qApp); }
    void entriesAndOrder_data();
    void entriesAndOrder();
    void eachEntryCallsItsOwnHandler();
    void colorLabelMarksTheCurrentColourOnly_data();
    void colorLabelMarksTheCurrentColourOnly();

private:
    tw::test::TemporaryFolder m_dir;
};

void FileContextMenuTest::entriesAndOrder_data()
{
    QTest::addColumn<bool>("isFolder");
    QTest::addColumn<bool>("withOptional");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("folder, every handler")
        << true << true
        << QStringList{"Get Info", "Open in New Window", "Rename", "Move to Enclosing Folder", "Duplicate",
                       "Compress “Item”", "—", "Color Label", "—", "Move to Trash"};
    QTest::newRow("file never opens in a new window")
        << false << true
        << QStringList{"Get Info", "Rename", "Move to Enclosing Folder", "Duplicate", "Compress “Item”", "—",
                       "Color Label", "—", "Move to Trash"};
    QTest::newRow("absent handlers leave their entries out")
        << true << false << QStringList{"Get Info", "Duplicate", "Compress “Item”", "—", "Color Label", "—", "Move to Trash"};
}

void FileContextMenuTest::entriesAndOrder()
{
    QFETCH(bool, isFolder);
    QFETCH(bool, withOptional);
    QFETCH(QStringList, expected);
    const QString path = m_dir.path() + "/Item";
    tw::test::removeTree(path);
    QVERIFY(isFolder ? QDir().mkpath(path) : tw::test::writeFile(path));
    const auto nothing = [] {};
    FileContextMenu::Handlers handlers{nothing, {}, nothing, nothing, nothing, [](LabelColor) {}, {}, {}};
    if (withOptional)
        handlers.onRename = handlers.onOpenInNewWindow = handlers.onMoveToEnclosingFolder = nothing;
    QMenu menu;
    const QList<QAction *> actions = FileContextMenu::items(FileItem(PathCodec::urlForPath(path)), handlers, &menu);
    QCOMPARE(titlesOf(actions), expected);
    for (QAction *action : actions)
        QCOMPARE(action->parent() == &menu || action->menu()->parent() == &menu, true);
}

void FileContextMenuTest::eachEntryCallsItsOwnHandler()
{
    QVERIFY(QDir().mkpath(m_dir.path() + "/Folder"));
    QStringList calls;
    const auto record = [&](const char *name) { return [&calls, name] { calls.append(QLatin1String(name)); }; };
    const FileContextMenu::Handlers handlers{record("info"), record("rename"), record("duplicate"), record("compress"),
                                             record("trash"),
                                             [&](LabelColor color) { calls.append(LabelColors::displayName(color)); },
                                             record("window"), record("enclosing")};
    QMenu menu;
    for (QAction *action : FileContextMenu::items(FileItem(PathCodec::urlForPath(m_dir.path() + "/Folder")), handlers, &menu)) {
        if (action->menu()) {
            action->menu()->actions().at(2)->trigger();
            continue;
        }
        action->trigger();
    }
    QCOMPARE(calls, (QStringList{"info", "window", "rename", "enclosing", "duplicate", "compress", "Green", "trash"}));
}

void FileContextMenuTest::colorLabelMarksTheCurrentColourOnly_data()
{
    QTest::addColumn<LabelColor>("color");
    QTest::newRow("uncoloured marks None") << LabelColor::none;
    QTest::newRow("red marks Red") << LabelColor::red;
}

void FileContextMenuTest::colorLabelMarksTheCurrentColourOnly()
{
    QFETCH(LabelColor, color);
    const QString path = m_dir.path() + "/labelled.txt";
    QVERIFY(tw::test::writeFile(path));
    FileItem item(PathCodec::urlForPath(path));
    item.setLabelColor(color);
    QMenu menu;
    const QList<QAction *> actions = FileContextMenu::items(FileItem(PathCodec::urlForPath(path)), {}, &menu);
    QAction *holder = actions.at(actions.size() - 3);
    QVERIFY(holder->menu());
    QMenu *submenu = holder->menu();
    const QList<QAction *> colours = submenu->actions();
    QCOMPARE(titlesOf(colours), (QStringList{"None", "Gray", "Green", "Purple", "Blue", "Yellow", "Red", "Orange"}));
    submenu->resize(submenu->sizeHint());
    const QImage drawn = submenu->grab().toImage();
    for (int i = 0; i < colours.size(); ++i) {
        const bool isCurrent = LabelColors::allCases[i] == color;
        QCOMPARE(colours[i]->isChecked(), isCurrent);
        QVERIFY(!colours[i]->icon().isNull());
        // The style must draw the mark too, though the entry has an icon.
        QCOMPARE(markPixels(drawn, submenu->actionGeometry(colours[i])) > 0, isCurrent);
    }
    colours.at(1)->trigger(); // no handler given: nothing happens, no crash
}

TW_GUI_TEST_MAIN(FileContextMenuTest)
#include "tst_FileContextMenu.moc"
