#pragma once

#include "FSCore/FileItem.h"

#include <QList>
#include <QUrl>

// What the main window asks of the browser view it shows, whichever of the
// three it is. The window never reaches a view any other way.
class SelectionProviding
{
public:
    virtual ~SelectionProviding() = default;

    // In the view's order; empty when nothing is selected.
    virtual QList<QUrl> selectedURLs() const = 0;
    // The folder the view shows, where new folders are made.
    virtual QUrl currentDirectoryURL() const = 0;
    // The items of that folder in the order the view shows them.
    virtual QList<FileItem> currentSortedItems() const = 0;
    // Reads the shown folder again from the listing cache and shows it.
    virtual void refresh() = 0;
    // Starts editing the selected item's name in place.
    virtual void beginRename() = 0;
    virtual void selectItem(const QUrl &url) = 0;
};
