#include "WellKnownLocations.h"

#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/PathCodec.h"

#include <QDir>
#include <QStandardPaths>

namespace WellKnownLocations {

namespace {

bool isExistingFolder(const QString &path)
{
    return EntryStatus::read(PathCodec::encode(path)).isDirectory;
}

std::optional<QUrl> userFolder(QStandardPaths::StandardLocation location, const QUrl &home)
{
    const QString path = QStandardPaths::writableLocation(location);
    if (path.isEmpty())
        return std::nullopt;
    const QUrl url = PathCodec::urlForPath(path);
    if (url == home || !isExistingFolder(path))
        return std::nullopt;
    return url;
}

} // namespace

FileItemList places()
{
    const QUrl home = PathCodec::urlForPath(QDir::homePath());
    FileItemList items{FileItem(home)};
    for (const auto location : {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation}) {
        if (const std::optional<QUrl> folder = userFolder(location, home))
            items.append(FileItem(*folder));
    }
    const QString applications = QStringLiteral("/Applications");
    if (isExistingFolder(applications))
        items.append(FileItem(PathCodec::urlForPath(applications)));
    return items;
}

} // namespace WellKnownLocations
