#include "FileItem.h"

#include "FSPlatform/ContentTypes.h"
#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/FileTags.h"
#include "FSPlatform/OperationError.h"
#include "FSPlatform/PathCodec.h"

#include <QDebug>

#include <mutex>

// A listing makes 100,000 items at a time and most are never asked for their
// URL, so an item made from a path builds its URL on first use.
struct FileItem::Data : QSharedData
{
    Data() = default;
    Data(const Data &other)
        : QSharedData(other)
        , path(other.path)
        , url(other.urlValue())
        , hasSnapshot(other.hasSnapshot)
        , attributes(other.attributes)
    {
        std::call_once(urlBuilt, [] {});
    }

    const QUrl &urlValue() const
    {
        std::call_once(urlBuilt, [this] { url = QUrl::fromLocalFile(path); });
        return url;
    }

    QString path;
    mutable QUrl url;
    mutable std::once_flag urlBuilt;
    bool hasSnapshot = false;
    FileAttributes attributes;
};

namespace {

QString lastPathComponent(const QUrl &url)
{
    const QString path = url.toLocalFile();
    if (path == QLatin1String("/"))
        return path;
    return PathCodec::displayForm(path.section(QLatin1Char('/'), -1));
}

std::optional<QDateTime> dateFromNs(qint64 ns)
{
    return QDateTime::fromMSecsSinceEpoch(ns / 1000000);
}

const QUrl &emptyUrl()
{
    static const QUrl url;
    return url;
}

} // namespace

FileItem::FileItem() = default;
FileItem::FileItem(const FileItem &other) = default;
FileItem::FileItem(FileItem &&other) noexcept = default;
FileItem &FileItem::operator=(const FileItem &other) = default;
FileItem &FileItem::operator=(FileItem &&other) noexcept = default;
FileItem::~FileItem() = default;

FileItem::FileItem(const QUrl &url)
    : d(new Data)
{
    d->path = url.toLocalFile();
    d->url = url;
    std::call_once(d->urlBuilt, [] {});
}

FileItem::FileItem(const QUrl &url, FileAttributes attributes)
    : d(new Data)
{
    d->path = url.toLocalFile();
    d->url = url;
    std::call_once(d->urlBuilt, [] {});
    d->hasSnapshot = true;
    d->attributes = std::move(attributes);
}

FileItem::FileItem(const QString &path, FileAttributes attributes)
    : d(new Data)
{
    d->path = path;
    d->hasSnapshot = true;
    d->attributes = std::move(attributes);
}

const QUrl &FileItem::url() const
{
    return d ? d->urlValue() : emptyUrl();
}

QString FileItem::path() const
{
    return d ? d->path : QString();
}

bool FileItem::hasAttributeSnapshot() const
{
    return d && d->hasSnapshot;
}

const FileAttributes *FileItem::attributeSnapshot() const
{
    return hasAttributeSnapshot() ? &d->attributes : nullptr;
}

FileAttributes FileItem::attributes() const
{
    if (hasAttributeSnapshot())
        return d->attributes;
    return FileAttributes::read(url());
}

QString FileItem::name() const
{
    if (hasAttributeSnapshot())
        return d->attributes.name;
    return lastPathComponent(url());
}

bool FileItem::isDirectory() const
{
    if (hasAttributeSnapshot())
        return d->attributes.isDirectory;
    return EntryStatus::read(PathCodec::encodePath(url())).isDirectory;
}

std::optional<qint64> FileItem::fileSize() const
{
    if (hasAttributeSnapshot()) {
        if (!d->attributes.hasFileSize)
            return std::nullopt;
        return d->attributes.fileSize;
    }
    const EntryStatus status = EntryStatus::read(PathCodec::encodePath(url()));
    if (!status.isRegularFile)
        return std::nullopt;
    return status.size;
}

std::optional<QDateTime> FileItem::modificationDate() const
{
    if (hasAttributeSnapshot()) {
        if (!d->attributes.hasModificationTime)
            return std::nullopt;
        return dateFromNs(d->attributes.modificationTimeNs);
    }
    const EntryStatus status = EntryStatus::read(PathCodec::encodePath(url()));
    if (!status.exists)
        return std::nullopt;
    return dateFromNs(status.modificationTimeNs);
}

std::optional<QString> FileItem::kindDescription() const
{
    if (hasAttributeSnapshot()) {
        if (!d->attributes.hasKind())
            return std::nullopt;
        return d->attributes.kindDescription();
    }
    const EntryStatus status = EntryStatus::read(PathCodec::encodePath(url()));
    if (!status.exists)
        return std::nullopt;
    const QString kind = status.isDirectory
        ? ContentTypes::forDirectory().description
        : ContentTypes::forFileName(url().fileName()).description;
    if (kind.isEmpty())
        return std::nullopt;
    return kind;
}

LabelColor FileItem::labelColor() const
{
    if (hasAttributeSnapshot())
        return d->attributes.labelColor;
    const FileTags::ReadResult tags = FileTags::read(PathCodec::encodePath(url()));
    if (tags.status != FileTags::ReadResult::present)
        return LabelColor::none;
    return LabelColors::fromTags(tags.tags);
}

void FileItem::setLabelColor(LabelColor color)
{
    const QByteArray path = PathCodec::encodePath(url());
    const FileTags::ReadResult current = FileTags::read(path);
    // A read that failed for any reason other than "no tags yet" must not lead to
    // a write: writing would replace tags we could not see.
    if (current.status == FileTags::ReadResult::failed)
        throw PlatformError::fromErrno(current.errorNumber, url().toLocalFile());
    FileTags::write(path, LabelColors::tagsWithColor(current.tags, color));
    if (hasAttributeSnapshot()) {
        d.detach();
        d->attributes.labelColor = color;
    }
}

bool FileItem::setLabelColorOrLog(LabelColor color)
{
    try {
        setLabelColor(color);
        return true;
    } catch (const OperationError &error) {
        logLabelColorFailure(error);
        return false;
    }
}

void FileItem::logLabelColorFailure(const OperationError &error)
{
    qWarning().noquote() << QStringLiteral("Tidewright: setLabelColor failed: ") + error.localizedDescription();
}
