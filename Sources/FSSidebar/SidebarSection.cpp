#include "SidebarSection.h"

#include "FSCore/VolumeInfo.h"
#include "FSCore/WellKnownLocations.h"

#include <QCoreApplication>

namespace {

FileItem folderItem(const QUrl &url, const QString &name)
{
    FileAttributes attributes;
    attributes.name = name;
    attributes.exists = true;
    attributes.isDirectory = true;
    // Nothing about the folder's status was read, and nothing needs to be.
    attributes.hasStatus = false;
    return FileItem(url, attributes);
}

FileItemList volumeItems(const FileItemList &volumes)
{
    FileItemList items;
    for (const FileItem &volume : volumes)
        items.append(folderItem(volume.url(), VolumeInfo::displayName(volume.url())));
    return items;
}

} // namespace

QString SidebarSection::titleFor(Kind kind)
{
    switch (kind) {
    case Kind::devices:
        return QCoreApplication::translate("SidebarSection", "DEVICES");
    case Kind::places:
        return QCoreApplication::translate("SidebarSection", "PLACES");
    case Kind::shared:
        return QCoreApplication::translate("SidebarSection", "SHARED");
    }
    return {};
}

QList<SidebarSection> SidebarSection::build()
{
    FileItemList places;
    // A place is an existing folder already (the provider checks), and its
    // name is the last part of its path: nothing more to read.
    for (const FileItem &place : WellKnownLocations::places())
        places.append(folderItem(place.url(), place.name()));
    return {
        {Kind::devices, titleFor(Kind::devices), volumeItems(VolumeInfo::mountedVolumes())},
        {Kind::places, titleFor(Kind::places), places},
        {Kind::shared, titleFor(Kind::shared), volumeItems(VolumeInfo::sharedVolumes())},
    };
}
