#include "AppDelegate.h"

#include "FSPlatform/PathCodec.h"
#include "FSWindow/MainWindowController.h"

#include <QDir>

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent)
{
}

void AppDelegate::applicationDidFinishLaunching()
{
    openNewWindow(PathCodec::urlForPath(QDir::homePath()))->show();
}

MainWindowController *AppDelegate::openNewWindow(const QUrl &rootUrl)
{
    auto *window = new MainWindowController(rootUrl);
    m_windows.append(window);
    connect(window, &QObject::destroyed, this, [this] {
        m_windows.removeIf([](const QPointer<MainWindowController> &entry) { return entry.isNull(); });
    });
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
