#include "FileAttributes.h"

#include "FSPlatform/ContentTypes.h"
#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/FileNameParts.h"
#include "FSPlatform/FileTags.h"
#include "FSPlatform/HiddenExtension.h"
#include "FSPlatform/NaturalOrder.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/UserAttributeNames.h"

#include <dirent.h>
#include <fcntl.h>

namespace {

QString lastPathComponent(const QUrl &url)
{
    const QString path = url.toLocalFile();
    if (path == QLatin1String("/"))
        return path;
    return path.section(QLatin1Char('/'), -1);
}

// `attributes` carries the name and its key; `name` is the name as decoded
// (escaped bytes kept), for the kind by name unless `typeByName` gives it.
FileAttributes withStatus(FileAttributes attributes, const EntryStatus &status, const QString &name, int directoryFd,
                          const char *rawName, const QByteArray &fullPath,
                          const ContentTypes::ContentType *typeByName = nullptr)
{
    attributes.hasStatus = true;
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
    if (status.isDirectory)
        attributes.contentType = &ContentTypes::forDirectory();
    else
        attributes.contentType = typeByName ? typeByName : &ContentTypes::forFileName(name);
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

FileAttributes fromStatus(const EntryStatus &status, const QString &name, int directoryFd, const char *rawName,
                          const QByteArray &fullPath)
{
    FileAttributes attributes;
    attributes.name = PathCodec::displayForm(name);
    attributes.nameSortKey = NaturalOrder::sortKey(attributes.name);
    return withStatus(std::move(attributes), status, name, directoryFd, rawName, fullPath);
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

FileAttributes FileAttributes::named(const QString &name, unsigned char typeHint)
{
    FileAttributes attributes;
    attributes.name = PathCodec::displayForm(name);
    attributes.nameSortKey = NaturalOrder::sortKey(attributes.name);
    attributes.exists = true;
    attributes.hasStatus = false;
    attributes.isDirectory = typeHint == DT_DIR;
    attributes.isSymbolicLink = typeHint == DT_LNK;
    attributes.contentType = attributes.isDirectory ? &ContentTypes::forDirectory() : &ContentTypes::forFileName(name);
    return attributes;
}

FileAttributes FileAttributes::readStatus(int directoryFd, const char *rawName, unsigned char typeHint,
                                          const FileAttributes &named, const QByteArray &fullPath)
{
    FileAttributes attributes;
    attributes.name = named.name;
    attributes.nameSortKey = named.nameSortKey;
    // The kind by name wants the name as it is on disk, escaped bytes and all.
    const qsizetype slash = fullPath.lastIndexOf('/');
    const QString name = named.name.contains(QChar(QChar::ReplacementCharacter))
        ? PathCodec::decode(fullPath.constData() + slash + 1, fullPath.size() - slash - 1)
        : named.name;
    // The kind by name was found already, unless readdir took the entry for a folder.
    const ContentTypes::ContentType *typeByName = named.isDirectory ? nullptr : named.contentType;
    return withStatus(std::move(attributes), EntryStatus::read(directoryFd, rawName, typeHint), name, directoryFd,
                      rawName, fullPath, typeByName);
}
