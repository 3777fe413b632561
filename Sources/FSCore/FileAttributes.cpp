#include "FileAttributes.h"

#include "FSPlatform/ContentTypes.h"
#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/FileNameParts.h"
#include "FSPlatform/FileTags.h"
#include "FSPlatform/HiddenExtension.h"
#include "FSPlatform/NaturalOrder.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/UserAttributeNames.h"

#include <fcntl.h>

namespace {

QString lastPathComponent(const QUrl &url)
{
    const QString path = url.toLocalFile();
    if (path == QLatin1String("/"))
        return path;
    return path.section(QLatin1Char('/'), -1);
}

FileAttributes fromStatus(const EntryStatus &status, const QString &name, int directoryFd, const char *rawName,
                          const QByteArray &fullPath)
{
    FileAttributes attributes;
    attributes.name = PathCodec::displayForm(name);
    attributes.nameSortKey = NaturalOrder::sortKey(attributes.name);
    if (!status.exists)
        return attributes;
    attributes.exists = true;
    attributes.isDirectory = status.isDirectory;
    attributes.isSymbolicLink = status.isSymbolicLink;
    attributes.device = status.device;
    attributes.inode = status.inode;
    attributes.modificationTimeNs = status.modificationTimeNs;
    attributes.hasModificationTime = true;
    if (status.isRegularFile) {
        attributes.fileSize = status.size;
        attributes.hasFileSize = true;
    }
    attributes.contentType = status.isDirectory ? &ContentTypes::forDirectory() : &ContentTypes::forFileName(name);
    // Links themselves carry no user attributes; the tags of a link are its target's.
    const UserAttributeNames present = UserAttributeNames::read(directoryFd, rawName, fullPath);
    if (present.mayHaveTags()) {
        const FileTags::ReadResult tags = FileTags::read(directoryFd, rawName, fullPath);
        if (tags.status == FileTags::ReadResult::present)
            attributes.labelColor = LabelColors::fromTags(tags.tags);
    }
    // A name without an extension has nothing to hide.
    if (present.mayHaveHiddenExtension() && !status.isDirectory && !FileNameParts::of(name).extension.isEmpty())
        attributes.hidesExtension = HiddenExtension::isHidden(directoryFd, rawName, fullPath);
    return attributes;
}

} // namespace

FileAttributes FileAttributes::read(const QUrl &url)
{
    const QByteArray path = PathCodec::encodePath(url);
    return fromStatus(EntryStatus::read(path), lastPathComponent(url), -1, nullptr, path);
}

FileAttributes FileAttributes::read(int directoryFd, const char *rawName, unsigned char typeHint,
                                    const QString &name, const QByteArray &fullPath)
{
    return fromStatus(EntryStatus::read(directoryFd, rawName, typeHint), name, directoryFd, rawName, fullPath);
}
