#pragma once

#include "FSCore/FileItem.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QUrl>

class GetInfoWindowController;
class MultiItemInfoWindowController;

// The one owner of every info window: one window per item (by the URL it had
// when its window opened) and one per set of items (order and repeats do not
// matter). Asking again brings the open window to the front; closing a window
// drops it, and the next request makes a fresh one.
class GetInfoWindowRegistry : public QObject
{
    Q_OBJECT
public:
    explicit GetInfoWindowRegistry(QObject *parent = nullptr);
    ~GetInfoWindowRegistry() override;

    // The process-wide registry, made on first use; its windows go when the
    // application quits.
    static GetInfoWindowRegistry &shared();

    GetInfoWindowController *show(const FileItem &item);
    MultiItemInfoWindowController *showMultiple(const FileItemList &items);

    // The open window of an item or a set, or nullptr.
    GetInfoWindowController *window(const QUrl &url) const { return m_windows.value(url); }
    MultiItemInfoWindowController *multiItemWindow(const QList<QUrl> &urls) const;
    int windowCount() const { return int(m_windows.size() + m_multiItemWindows.size()); }

    void closeAll();

private:
    static QList<QUrl> keyOf(const QList<QUrl> &urls);

    QHash<QUrl, GetInfoWindowController *> m_windows;
    QHash<QList<QUrl>, MultiItemInfoWindowController *> m_multiItemWindows;
};
