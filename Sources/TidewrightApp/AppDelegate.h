#pragma once

#include "FSWindow/AppWindowOpening.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

class MainMenu;
class MainWindowController;
class PreferencesWindowController;

// Starts the application and keeps its main windows, oldest first, and the one
// preferences panel. Every way of asking for windows (launch, the command
// line, a second launch, other programs over D-Bus) ends in showFolders() or
// showItems().
class AppDelegate : public QObject, public AppWindowOpening
{
    Q_OBJECT
public:
    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    // Opens a window per folder of `urls` (the home folder when empty).
    void applicationDidFinishLaunching(const QList<QUrl> &urls = {});

    void openNewWindow(const QUrl &rootUrl) override;
    MainWindowController *openWindow(const QUrl &rootUrl);
    QList<MainWindowController *> windows() const;
    MainMenu *mainMenu() const { return m_mainMenu; }
    PreferencesWindowController *preferencesWindowController() const { return m_preferences.get(); }

    // A window per folder; an item that is not a folder opens its folder with
    // the item selected. What exists is found out on a work queue, since an
    // item may lie on a share that stopped answering. `done` runs on the main
    // thread once every window is open.
    void showFolders(const QList<QUrl> &urls, std::function<void()> done = {});
    // A window per folder holding some of `urls`, with the first of them selected.
    void showItems(const QList<QUrl> &urls);
    void showItemProperties(const QList<QUrl> &urls);

    void newWindow();
    void showPreferences();

private:
    QList<QPointer<MainWindowController>> m_windows;
    std::unique_ptr<PreferencesWindowController> m_preferences;
    MainMenu *m_mainMenu = nullptr;
};
