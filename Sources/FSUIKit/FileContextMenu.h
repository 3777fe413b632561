#pragma once

#include "FSCore/FileItem.h"
#include "FSCore/LabelColor.h"

#include <QList>

#include <functional>

class QAction;
class QWidget;

// The one context menu of a file item, shared by the column, list and icon
// views. The views decide what each entry does.
namespace FileContextMenu {

struct Handlers
{
    std::function<void()> onGetInfo;
    // Optional: an absent handler leaves its entry out.
    std::function<void()> onRename;
    std::function<void()> onDuplicate;
    std::function<void()> onCompress;
    std::function<void()> onMoveToTrash;
    std::function<void(LabelColor)> onSetLabelColor;
    // Optional, and offered only for folders that can be browsed.
    std::function<void()> onOpenInNewWindow;
    // Optional.
    std::function<void()> onMoveToEnclosingFolder;
};

// The entries for `item`, in menu order, owned by `menu` (the menu they go
// into, which also owns the "Color Label" submenu).
QList<QAction *> items(const FileItem &item, const Handlers &handlers, QWidget *menu);

} // namespace FileContextMenu
