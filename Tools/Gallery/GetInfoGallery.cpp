#include "GetInfoGallery.h"

#include "FSCore/FileItem.h"
#include "FSGetInfo/GetInfoWindowController.h"
#include "FSGetInfo/GetInfoWindowRegistry.h"
#include "FSGetInfo/MultiItemInfoWindowController.h"
#include "FSPlatform/PathCodec.h"

#include <QDir>
#include <QTimer>

void showGetInfoWindows(GetInfoWindowRegistry &registry, const QStringList &paths)
{
    FileItemList items;
    QList<QWidget *> windows;
    for (const QString &path : paths) {
        const FileItem item(PathCodec::urlForPath(QDir().absoluteFilePath(path)));
        items.append(item);
        windows.append(registry.show(item));
    }
    if (items.size() > 1)
        windows.append(registry.showMultiple(items));
    // Once the background reads have filled them in and they have their sizes.
    QTimer::singleShot(700, windows.first(), [windows] {
        int x = 0;
        for (QWidget *window : windows) {
            window->move(x, 0);
            x += window->frameGeometry().width() + 12;
        }
    });
}
