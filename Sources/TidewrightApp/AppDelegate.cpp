#include "AppDelegate.h"

#include "MainMenu.h"

#include "FSCore/FileItem.h"
#include "FSCore/MainThread.h"
#include "FSCore/WorkQueues.h"
#include "FSGetInfo/GetInfoWindowRegistry.h"
#include "FSPlatform/PathCodec.h"
#include "FSWindow/MainWindowController.h"
#include "FSWindow/PreferencesWindowController.h"

#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QScreen>
#include <QThreadPool>

namespace {

// How far down and right of the last window a new one opens.
constexpr QPoint cascadeOffset(22, 22);

QUrl homeUrl()
{
    return PathCodec::urlForPath(QDir::homePath());
}

QUrl parentOf(const QUrl &url)
{
    return PathCodec::urlForPath(QDir::cleanPath(url.toLocalFile() + QStringLiteral("/..")));
}

} // namespace

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent)
{
    m_mainMenu = new MainMenu({[this] { newWindow(); }, [this] { showPreferences(); },
                               [] {
                                   QApplication::closeAllWindows();
                                   QApplication::quit();
                               }},
                              this);
    AppWindowOpening::setShared(this);
}

AppDelegate::~AppDelegate()
{
    if (AppWindowOpening::shared() == this)
        AppWindowOpening::setShared(nullptr);
    for (const QPointer<MainWindowController> &window : std::as_const(m_windows))
        delete window.data();
}

void AppDelegate::applicationDidFinishLaunching(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        openWindow(homeUrl());
    else
        showFolders(urls);
}

void AppDelegate::openNewWindow(const QUrl &rootUrl)
{
    openWindow(rootUrl);
}

MainWindowController *AppDelegate::openWindow(const QUrl &rootUrl)
{
    auto *window = new MainWindowController(rootUrl);
    m_mainMenu->install(window->menuBar());
    const MainWindowController *last = m_windows.isEmpty() ? nullptr : m_windows.last().data();
    if (last) {
        QRect frame = window->geometry();
        frame.moveTopLeft(last->geometry().topLeft() + cascadeOffset);
        const QScreen *screen = last->screen();
        if (screen && !screen->availableGeometry().contains(frame))
            frame.moveTopLeft(screen->availableGeometry().topLeft());
        window->setGeometry(frame);
    }
    m_windows.append(window);
    connect(window, &QObject::destroyed, this, [this, window] {
        m_windows.removeIf([window](const QPointer<MainWindowController> &entry) {
            return entry.isNull() || entry.data() == window;
        });
    });
    window->showWindow();
    window->raise();
    window->activateWindow();
    return window;
}

QList<MainWindowController *> AppDelegate::windows() const
{
    QList<MainWindowController *> result;
    for (const auto &window : m_windows) {
        if (window)
            result.append(window);
    }
    return result;
}

void AppDelegate::showFolders(const QList<QUrl> &urls, std::function<void()> done)
{
    QPointer<AppDelegate> guard(this);
    WorkQueues::listings()->start([guard, urls, done = std::move(done)] {
        QList<bool> isFolder;
        for (const QUrl &url : urls)
            isFolder.append(FileItem(url).isBrowsable());
        MainThread::post([guard, urls, isFolder, done] {
            if (!guard)
                return;
            QList<QUrl> items;
            for (qsizetype index = 0; index < urls.size(); ++index) {
                if (isFolder[index])
                    guard->openWindow(urls[index]);
                else
                    items.append(urls[index]);
            }
            guard->showItems(items);
            if (done)
                done();
        });
    });
}

void AppDelegate::showItems(const QList<QUrl> &urls)
{
    QList<QUrl> folders;
    for (const QUrl &url : urls) {
        const QUrl folder = parentOf(url);
        if (folders.contains(folder))
            continue;
        folders.append(folder);
        openWindow(folder)->selectItem(url);
    }
}

void AppDelegate::showItemProperties(const QList<QUrl> &urls)
{
    if (urls.size() == 1) {
        GetInfoWindowRegistry::shared().show(FileItem(urls.first()));
        return;
    }
    FileItemList items;
    for (const QUrl &url : urls)
        items.append(FileItem(url));
    if (!items.isEmpty())
        GetInfoWindowRegistry::shared().showMultiple(items);
}

void AppDelegate::newWindow()
{
    openWindow(homeUrl());
}

void AppDelegate::showPreferences()
{
    if (!m_preferences)
        m_preferences = std::make_unique<PreferencesWindowController>();
    m_preferences->show();
    m_preferences->raise();
    m_preferences->activateWindow();
}
