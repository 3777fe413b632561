// tidewright-gallery: shows the shared drawing pieces and the preferences panel
// in one theme and text size, for screenshots.
//
//   tidewright-gallery [--theme graphite10_6|metal10_4] [--text-size small|medium|large] [--context-menu]
//                      [--icon-view FOLDER] [--list-view FOLDER] [--columns FOLDER [--rename]]
//                      [--get-info PATH]... [--sidebar] [--file-jobs PATH]... [--quick-look PATH]...
//                      [--main-window FOLDER [--view-mode icon|list|column] [--width W] [--open-menu TITLE]
//                                    [--search TEXT] [--preview NAME] [--sheet connect|password]]
//
// --context-menu also opens the context menu of a file labelled red, with its
// "Color Label" submenu, over the gallery. --icon-view shows the icon browser
// on FOLDER instead, with its second item selected; --list-view shows the list
// view on FOLDER, its first folder expanded and its second row selected;
// --columns shows the column browser on FOLDER, as a window would, with
// --rename its selected folder's name in an editor. --get-info
// shows only the info windows of the paths (and of all of them together when
// there are several). --sidebar shows a window's sidebar alone, with the
// volumes and places of this machine. --main-window shows a main window on
// FOLDER in the view mode given, W points wide if given, with its menu TITLE
// open, TEXT typed in its search field, or its item NAME selected and shown
// in the preview panel as the space bar would.
// --sheet also opens the Connect to Server sheet or a password sheet on the
// window.
// --file-jobs shows the progress panel over a copy of each PATH into a
// temporary folder and a compression of the first, beside the main window if
// there is one; it quits by itself after ten seconds, stopping them, so that
// nothing is left behind.
// --quick-look shows the preview panel on the first path; space and the
// arrows in the small window beside it go through the others.

#include "GalleryWindow.h"
#include "GetInfoGallery.h"
#include "QuickLookGallery.h"

#include "FSColumnView/ColumnBrowserViewController.h"
#include "FSCore/FileItem.h"
#include "FSCore/FileJob.h"
#include "FSCore/FileJobQueue.h"
#include "FSIconView/IconViewController.h"
#include "FSListView/ListViewController.h"
#include "FSGetInfo/GetInfoWindowRegistry.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSSidebar/SidebarViewController.h"
#include "FSUIKit/ClassicStyle.h"
#include "FSUIKit/FileContextMenu.h"
#include "FSWindow/MainToolbarView.h"
#include "FSWindow/MainWindowController.h"
#include "FSWindow/FileJobProgressPanel.h"
#include "FSWindow/PreferencesWindowController.h"
#include "FSWindow/ServerConnector.h"
#include "FSWindow/ViewMode.h"
#include "FSWindow/ViewModePreferenceStore.h"
#include "TidewrightApp/AppDelegate.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTreeView>
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

// A copy of each path into `destination` and a compression of the first,
// under the shared panel at `where`; the application quits after ten seconds,
// stopping them.
void startFileJobs(const QStringList &paths, const QString &destination, const QPoint &where)
{
    FileJobProgressPanel *panel = FileJobProgressPanel::forSharedQueue();
    panel->move(where);
    for (const QString &path : paths) {
        const QUrl source = PathCodec::urlForPath(QFileInfo(path).absoluteFilePath());
        FileJobQueue::shared()->add(FileJob::copy({source}, PathCodec::urlForPath(destination)));
    }
    FileJobQueue::shared()->add(FileJob::compress({PathCodec::urlForPath(QFileInfo(paths.first()).absoluteFilePath())}));
    QTimer::singleShot(10'000, qApp, &QCoreApplication::quit);
}

// The sheet a share that wants an account shows, as for a second try.
void showPasswordSheet(QWidget *window)
{
    ServerConnection::CredentialsRequest request;
    request.server = QStringLiteral("fileserver.local");
    request.share = QStringLiteral("projects");
    request.defaultUser = QStringLiteral("alex");
    request.defaultDomain = QStringLiteral("WORKGROUP");
    request.needsUser = request.needsDomain = request.needsPassword = request.canRemember = true;
    request.attempt = 2;
    auto *sheet = new ServerPasswordSheet(request, window);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->passwordField()->setText(QStringLiteral("secret"));
    sheet->open();
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
    const QCommandLineOption columnsOption(QStringLiteral("columns"), QStringLiteral("show the column browser on a folder"),
                                          QStringLiteral("folder"));
    parser.addOption(menuOption);
    const QCommandLineOption iconViewOption(QStringLiteral("icon-view"), QStringLiteral("show the icon browser on a folder"),
                                            QStringLiteral("folder"));
    parser.addOption(iconViewOption);
    const QCommandLineOption listOption(QStringLiteral("list-view"), QStringLiteral("show the list view on a folder"),
                                        QStringLiteral("folder"));
    parser.addOption(listOption);
    parser.addOption(columnsOption);
    const QCommandLineOption renameOption(QStringLiteral("rename"), QStringLiteral("edit the selected name (with --columns)"));
    parser.addOption(renameOption);
    const QCommandLineOption getInfoOption(QStringLiteral("get-info"), QStringLiteral("show the info window of a path"),
                                           QStringLiteral("path"));
    parser.addOption(getInfoOption);
    const QCommandLineOption windowOption(QStringLiteral("main-window"), QStringLiteral("a main window on FOLDER"),
                                          QStringLiteral("folder"));
    parser.addOption(windowOption);
    const QCommandLineOption viewModeOption(QStringLiteral("view-mode"), QStringLiteral("the window's view mode"),
                                            QStringLiteral("mode"), QStringLiteral("column"));
    parser.addOption(viewModeOption);
    const QCommandLineOption widthOption(QStringLiteral("width"), QStringLiteral("the window's width"),
                                         QStringLiteral("points"));
    parser.addOption(widthOption);
    const QCommandLineOption sidebarOption(QStringLiteral("sidebar"), QStringLiteral("show the sidebar alone"));
    parser.addOption(sidebarOption);
    const QCommandLineOption openMenuOption(QStringLiteral("open-menu"), QStringLiteral("the menu to open"),
                                            QStringLiteral("title"));
    parser.addOption(openMenuOption);
    const QCommandLineOption searchOption(QStringLiteral("search"), QStringLiteral("text for the window's search field"),
                                          QStringLiteral("text"));
    parser.addOption(searchOption);
    const QCommandLineOption previewOption(QStringLiteral("preview"),
                                           QStringLiteral("the item of the window's folder to preview"),
                                           QStringLiteral("name"));
    parser.addOption(previewOption);
    const QCommandLineOption fileJobsOption(QStringLiteral("file-jobs"),
                                            QStringLiteral("show the progress panel over jobs on a path"),
                                            QStringLiteral("path"));
    parser.addOption(fileJobsOption);
    const QCommandLineOption sheetOption(QStringLiteral("sheet"), QStringLiteral("the sheet to open on the window"),
                                         QStringLiteral("connect|password"));
    parser.addOption(sheetOption);
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
    // The view mode is kept with the application's data.
    qputenv("XDG_DATA_HOME", QFile::encodeName(configuration.path()));

    QApplication application(argc, argv);
    ClassicStyle::apply(application);
    // Without a desktop session the icon theme is bare hicolor.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    AppearancePreferenceStore::setTheme(*theme);
    AppearancePreferenceStore::setTextSize(*size);

    if (parser.isSet(windowOption)) {
        const QStringList modes{QStringLiteral("icon"), QStringLiteral("list"), QStringLiteral("column")};
        const std::optional<ViewMode> mode = ViewModes::fromRawValue(int(modes.indexOf(parser.value(viewModeOption))));
        if (!mode)
            return fail(QStringLiteral("unknown view mode %1").arg(parser.value(viewModeOption)));
        ViewModePreferenceStore::saveViewMode(*mode);
        AppDelegate delegate;
        const QString folder = QDir(parser.value(windowOption)).absolutePath();
        MainWindowController *window = delegate.openWindow(PathCodec::urlForPath(folder));
        window->move(0, 0);
        if (parser.isSet(widthOption))
            window->resize(parser.value(widthOption).toInt(), window->height());
        const QString title = parser.value(openMenuOption);
        const QString searchText = parser.value(searchOption);
        const QString previewName = parser.value(previewOption);
        const QString sheet = parser.value(sheetOption);
        QTimer::singleShot(500, window, [window, title, searchText, sheet] {
            for (QAction *item : window->menuBar()->actions()) {
                if (!title.isEmpty() && item->text() == title)
                    window->menuBar()->setActiveAction(item);
            }
            if (!searchText.isEmpty())
                window->toolbarView()->searchField()->setText(searchText);
            if (sheet == QLatin1String("connect"))
                window->connectToServer();
            if (sheet == QLatin1String("password"))
                showPasswordSheet(window);
        });
        if (!previewName.isEmpty()) {
            window->selectItem(PathCodec::urlForPath(folder + QLatin1Char('/') + previewName));
            QTimer::singleShot(800, window, [window] { window->toggleQuickLook(); });
        }
        QTemporaryDir destination;
        if (parser.isSet(fileJobsOption))
            startFileJobs(parser.values(fileJobsOption), destination.path(), window->frameGeometry().topRight() + QPoint(16, 40));
        return application.exec();
    }
    if (parser.isSet(iconViewOption)) {
        const QUrl folder = QUrl::fromLocalFile(QDir::cleanPath(QDir(parser.value(iconViewOption)).absolutePath()));
        auto *browser = new IconViewController(folder);
        browser->setAttribute(Qt::WA_DeleteOnClose);
        QPalette background = browser->palette();
        background.setBrush(QPalette::Window, ClassicStyle::windowBackground(*theme));
        browser->setPalette(background);
        browser->setAutoFillBackground(true);
        browser->setWindowTitle(QStringLiteral("%1, %2").arg(AppThemes::displayName(*theme), TextSizes::displayName(*size)));
        browser->resize(900, 600);
        browser->move(0, 0);
        browser->show();
        QTimer::singleShot(500, browser, [browser] {
            const QList<FileItem> items = browser->currentSortedItems();
            if (items.size() > 1)
                browser->selectItem(items.at(1).url());
        });
        return application.exec();
    }
    if (parser.isSet(listOption)) {
        auto *list = new ListViewController(PathCodec::urlForPath(parser.value(listOption)));
        list->setAttribute(Qt::WA_DeleteOnClose);
        list->resize(900, 520);
        list->move(0, 0);
        list->show();
        QTimer::singleShot(600, list, [list] {
            QTreeView *outline = list->outlineView();
            for (int row = 0; row < outline->model()->rowCount(); ++row) {
                const QModelIndex index = outline->model()->index(row, 0);
                if (outline->model()->hasChildren(index)) {
                    outline->expand(index);
                    break;
                }
            }
            outline->setCurrentIndex(outline->model()->index(1, 0));
            outline->setFocus();
        });
        return application.exec();
    }
    if (parser.isSet(columnsOption)) {
        const QUrl folder = PathCodec::urlForPath(QDir(parser.value(columnsOption)).absolutePath());
        ColumnBrowserViewController columns(folder);
        columns.applyTextSize(*size);
        columns.setRoot(folder);
        columns.resize(1000, 420);
        columns.move(0, 0);
        columns.show();
        if (parser.isSet(renameOption))
            QTimer::singleShot(500, &columns, [&columns] { columns.beginRename(); });
        return application.exec();
    }
    if (parser.isSet(getInfoOption)) {
        showGetInfoWindows(GetInfoWindowRegistry::shared(), parser.values(getInfoOption));
        return application.exec();
    }

    if (parser.isSet(fileJobsOption)) {
        QTemporaryDir destination;
        startFileJobs(parser.values(fileJobsOption), destination.path(), QPoint(40, 40));
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
