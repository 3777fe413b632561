#include "FileContextMenu.h"

#include "ClosureMenuItem.h"
#include "LabelSwatchImage.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPixmap>

namespace FileContextMenu {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("FileContextMenu", text);
}

// The menu's icons are 12 points; drawn at the screen's scale so they stay sharp.
QIcon swatchIcon(LabelColor color, QWidget *menu)
{
    const qreal scale = menu ? menu->devicePixelRatioF() : 1.0;
    QPixmap pixmap = QPixmap::fromImage(LabelSwatchImage::make(color, 12, scale));
    pixmap.setDevicePixelRatio(scale);
    return QIcon(pixmap);
}

QAction *labelColorEntry(const FileItem &item, const std::function<void(LabelColor)> &onSetLabelColor, QWidget *menu)
{
    auto *submenu = new QMenu(tr("Color Label"), menu);
    // Read once: the menu shows the colour the item had when it opened.
    const LabelColor current = item.labelColor();
    for (const LabelColor color : LabelColors::allCases) {
        auto *entry = new ClosureMenuItem(LabelColors::displayName(color), [onSetLabelColor, color] {
            if (onSetLabelColor)
                onSetLabelColor(color);
        }, submenu);
        entry->setIcon(swatchIcon(color, menu));
        entry->setIconVisibleInMenu(true);
        entry->setCheckable(true);
        entry->setChecked(color == current);
        submenu->addAction(entry);
    }
    return submenu->menuAction();
}

QAction *separator(QObject *owner)
{
    auto *action = new QAction(owner);
    action->setSeparator(true);
    return action;
}

} // namespace

QList<QAction *> items(const FileItem &item, const Handlers &handlers, QWidget *menu)
{
    QList<QAction *> entries;
    const auto add = [&](const QString &title, const std::function<void()> &handler) {
        entries.append(new ClosureMenuItem(title, handler, menu));
    };
    add(tr("Get Info"), handlers.onGetInfo);
    if (item.isBrowsable() && handlers.onOpenInNewWindow)
        add(tr("Open in New Window"), handlers.onOpenInNewWindow);
    if (handlers.onRename)
        add(tr("Rename"), handlers.onRename);
    if (handlers.onMoveToEnclosingFolder)
        add(tr("Move to Enclosing Folder"), handlers.onMoveToEnclosingFolder);
    add(tr("Duplicate"), handlers.onDuplicate);
    add(tr("Compress “%1”").arg(item.name()), handlers.onCompress);
    entries.append(separator(menu));
    entries.append(labelColorEntry(item, handlers.onSetLabelColor, menu));
    entries.append(separator(menu));
    add(tr("Move to Trash"), handlers.onMoveToTrash);
    return entries;
}

} // namespace FileContextMenu
