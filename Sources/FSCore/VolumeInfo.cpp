#include "VolumeInfo.h"

#include "FSPlatform/GvfsMounts.h"
#include "FSPlatform/MountTable.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/VisibleVolumes.h"

#include <QCoreApplication>

namespace VolumeInfo {

namespace {

FileItemList volumes(bool local)
{
    FileItemList items;
    for (const VisibleVolume &volume : VisibleVolumes::current()) {
        if (volume.isNetwork != local)
            items.append(FileItem(volume.url));
    }
    return items;
}

} // namespace

FileItemList mountedVolumes()
{
    return volumes(true);
}

FileItemList sharedVolumes()
{
    return volumes(false);
}

std::optional<QString> remoteHost(const QUrl &volume)
{
    if (!volume.isLocalFile())
        return std::nullopt;
    const QString path = volume.toLocalFile();
    const QString fuseFolder = GvfsMounts::fuseFolder();
    if (MountTable::isAtOrBelow(path, fuseFolder) && path != fuseFolder) {
        const QString folderName = path.mid(fuseFolder.size() + 1).section(QLatin1Char('/'), 0, 0);
        return GvfsMounts::hostFromFolderName(folderName);
    }
    const std::optional<MountEntry> entry = MountTable::entryHolding(MountTable::read(), path);
    if (!entry)
        return std::nullopt;
    return MountTable::hostFromSource(entry->source);
}

QString displayName(const QUrl &volume)
{
    const QString path = volume.toLocalFile();
    if (path == QLatin1String("/"))
        return QCoreApplication::translate("VolumeInfo", "File System");
    const QString fuseFolder = GvfsMounts::fuseFolder();
    const QString folderName = PathCodec::displayForm(path.section(QLatin1Char('/'), -1));
    if (MountTable::isAtOrBelow(path, fuseFolder) && path.section(QLatin1Char('/'), 0, -2) == fuseFolder)
        return GvfsMounts::displayName(folderName);
    return folderName;
}

} // namespace VolumeInfo
