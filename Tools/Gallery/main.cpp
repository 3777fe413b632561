// tidewright-gallery: shows the shared drawing pieces and the preferences panel
// in one theme and text size, for screenshots.
//
//   tidewright-gallery [--theme graphite10_6|metal10_4] [--text-size small|medium|large] [--context-menu]
//                      [--get-info PATH]... [--sidebar] [--quick-look PATH]...
//
// --context-menu also opens the context menu of a file labelled red, with its
// "Color Label" submenu, over the gallery. --get-info shows only the info
// windows of the paths (and of all of them together when there are several).
// --sidebar shows a window's sidebar alone, with the volumes and places of
// this machine. --quick-look shows the preview panel on the first path; space
// and the arrows in the small window beside it go through the others.

#include "GalleryWindow.h"
#include "GetInfoGallery.h"
#include "QuickLookGallery.h"

#include "FSCore/FileItem.h"
#include "FSGetInfo/GetInfoWindowRegistry.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSUIKit/ClassicStyle.h"
#include "FSSidebar/SidebarViewController.h"
#include "FSUIKit/FileContextMenu.h"
#include "FSWindow/PreferencesWindowController.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

std::optional<TextSize> textSizeNamed(const QString &name)
{
    // Fixed option words, not the localized display names.
    const QString words[] = {QStringLiteral("small"), QStringLiteral("medium"), QStringLiteral("large")};
    for (TextSize size : TextSizes::allCases) {
        if (words[TextSizes::rawValue(size)] == name)
            return size;
    }
    return std::nullopt;
}

// The menu a view shows for a red file, open at `where` with its colour
// submenu beside it, as if the pointer rested on "Color Label".
void popUpContextMenu(const QString &folder, const QPoint &where, QWidget *owner)
{
    const QString path = folder + QStringLiteral("/Invoice.pdf");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    FileItem item(PathCodec::urlForPath(path));
    item.setLabelColorOrLog(LabelColor::red);
    const auto nothing = [] {};
    auto *menu = new QMenu(owner);
    menu->addActions(FileContextMenu::items(
        item, {nothing, nothing, nothing, nothing, nothing, [](LabelColor) {}, {}, nothing}, menu));
    menu->popup(where);
    for (QAction *action : menu->actions()) {
        if (action->menu()) {
            menu->setActiveAction(action);
            action->menu()->popup(menu->geometry().topRight() + menu->actionGeometry(action).topLeft());
        }
    }
}

int fail(const QString &message)
{
    std::fprintf(stderr, "tidewright-gallery: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    QCommandLineParser parser;
    const QCommandLineOption themeOption(QStringLiteral("theme"), QStringLiteral("graphite10_6 or metal10_4"),
                                         QStringLiteral("theme"), QStringLiteral("graphite10_6"));
    const QCommandLineOption sizeOption(QStringLiteral("text-size"), QStringLiteral("small, medium or large"),
                                        QStringLiteral("size"), QStringLiteral("medium"));
    const QCommandLineOption menuOption(QStringLiteral("context-menu"), QStringLiteral("open a file's context menu"));
    parser.addOption(themeOption);
    parser.addOption(sizeOption);
    const QCommandLineOption sidebarOption(QStringLiteral("sidebar"), QStringLiteral("show the sidebar alone"));
    parser.addOption(menuOption);
    const QCommandLineOption getInfoOption(QStringLiteral("get-info"), QStringLiteral("show the info window of a path"),
                                           QStringLiteral("path"));
    parser.addOption(getInfoOption);
    parser.addOption(sidebarOption);
    const QCommandLineOption quickLookOption(QStringLiteral("quick-look"), QStringLiteral("preview a path"),
                                             QStringLiteral("path"));
    parser.addOption(quickLookOption);
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    const std::optional<AppTheme> theme = AppThemes::fromRawValue(parser.value(themeOption));
    if (!theme)
        return fail(QStringLiteral("unknown theme %1").arg(parser.value(themeOption)));
    const std::optional<TextSize> size = textSizeNamed(parser.value(sizeOption));
    if (!size)
        return fail(QStringLiteral("unknown text size %1").arg(parser.value(sizeOption)));

    // The panel reads and writes the real preference file: give it a private
    // configuration folder so that looking never changes the user's settings.
    QTemporaryDir configuration;
    if (!configuration.isValid())
        return fail(QStringLiteral("cannot make a temporary folder"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configuration.path()));

    QApplication application(argc, argv);
    ClassicStyle::apply(application);
    // Without a desktop session the icon theme is bare hicolor.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    AppearancePreferenceStore::setTheme(*theme);
    AppearancePreferenceStore::setTextSize(*size);

    if (parser.isSet(getInfoOption)) {
        showGetInfoWindows(GetInfoWindowRegistry::shared(), parser.values(getInfoOption));
        return application.exec();
    }

    if (parser.isSet(quickLookOption)) {
        showQuickLook(parser.values(quickLookOption), *theme, *size);
        return application.exec();
    }

    if (parser.isSet(sidebarOption)) {
        SidebarViewController sidebar;
        sidebar.setWindowTitle(QStringLiteral("Sidebar — %1, %2")
                                   .arg(AppThemes::displayName(*theme), TextSizes::displayName(*size)));
        sidebar.resize(240, 520);
        sidebar.move(0, 0);
        sidebar.show();
        sidebar.activateWindow();
        return application.exec();
    }

    GalleryWindow gallery(*theme, *size);
    gallery.move(0, 0);
    gallery.show();

    PreferencesWindowController preferences;
    // Below the gallery: at the large size the gallery fills most of the screen width.
    preferences.move(0, gallery.frameGeometry().bottom() + 16);
    preferences.show();
    if (parser.isSet(menuOption)) {
        QTimer::singleShot(300, &gallery, [&] {
            popUpContextMenu(configuration.path(), gallery.geometry().topLeft() + QPoint(260, 60), &gallery);
        });
    }
    return application.exec();
}
