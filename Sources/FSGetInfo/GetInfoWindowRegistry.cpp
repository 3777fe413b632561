#include "GetInfoWindowRegistry.h"

#include "GetInfoWindowController.h"
#include "MultiItemInfoWindowController.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

void bringForward(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

GetInfoWindowRegistry::GetInfoWindowRegistry(QObject *parent)
    : QObject(parent)
{
}

GetInfoWindowRegistry::~GetInfoWindowRegistry()
{
    closeAll();
}

GetInfoWindowRegistry &GetInfoWindowRegistry::shared()
{
    // Owned by the application, and emptied before it tears down its windows.
    static GetInfoWindowRegistry *registry = [] {
        auto *made = new GetInfoWindowRegistry(QCoreApplication::instance());
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, made,
                         &GetInfoWindowRegistry::closeAll);
        return made;
    }();
    return *registry;
}

void GetInfoWindowRegistry::closeAll()
{
    const auto windows = m_windows.values();
    const auto multiItemWindows = m_multiItemWindows.values();
    m_windows.clear();
    m_multiItemWindows.clear();
    qDeleteAll(windows);
    qDeleteAll(multiItemWindows);
}

GetInfoWindowController *GetInfoWindowRegistry::show(const FileItem &item)
{
    const QUrl url = item.url();
    if (GetInfoWindowController *existing = m_windows.value(url)) {
        bringForward(existing);
        return existing;
    }
    auto *controller = new GetInfoWindowController(item);
    m_windows.insert(url, controller);
    connect(controller, &GetInfoWindowController::windowClosed, this, [this, url, controller] {
        // Only the entry of this window: a newer one for the same URL stays.
        if (m_windows.value(url) == controller)
            m_windows.remove(url);
        controller->deleteLater();
    });
    bringForward(controller);
    return controller;
}

QList<QUrl> GetInfoWindowRegistry::keyOf(const QList<QUrl> &urls)
{
    QList<QUrl> key = urls;
    std::sort(key.begin(), key.end());
    key.erase(std::unique(key.begin(), key.end()), key.end());
    return key;
}

MultiItemInfoWindowController *GetInfoWindowRegistry::multiItemWindow(const QList<QUrl> &urls) const
{
    return m_multiItemWindows.value(keyOf(urls));
}

MultiItemInfoWindowController *GetInfoWindowRegistry::showMultiple(const FileItemList &items)
{
    QList<QUrl> urls;
    for (const FileItem &item : items)
        urls.append(item.url());
    const QList<QUrl> key = keyOf(urls);
    if (MultiItemInfoWindowController *existing = m_multiItemWindows.value(key)) {
        bringForward(existing);
        return existing;
    }
    auto *controller = new MultiItemInfoWindowController(items);
    m_multiItemWindows.insert(key, controller);
    connect(controller, &MultiItemInfoWindowController::windowClosed, this, [this, key, controller] {
        if (m_multiItemWindows.value(key) == controller)
            m_multiItemWindows.remove(key);
        controller->deleteLater();
    });
    bringForward(controller);
    return controller;
}
