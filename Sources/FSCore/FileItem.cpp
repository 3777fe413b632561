#include "FileItem.h"

#include "MainThread.h"
#include "WorkQueues.h"

#include "FSPlatform/ContentTypes.h"
#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/FileNameParts.h"
#include "FSPlatform/FileTags.h"
#include "FSPlatform/HiddenExtension.h"
#include "FSPlatform/OperationError.h"
#include "FSPlatform/PathCodec.h"

#include <QCache>
#include <QDebug>
#include <QHash>
#include <QMutex>
#include <QThreadPool>

#include <utility>
#include <vector>

// A listing makes 100,000 items at a time and most are never asked for their
// URL, so an item made from a path builds its URL on first use. The fields
// are laid out to fit a size class below the next: each byte counts a
// hundred thousand times.
struct FileItem::Data : QSharedData
{
    Data() = default;
    Data(const Data &other)
        : QSharedData(other)
        , hasSnapshot(other.hasSnapshot)
        , path(other.path)
        , attributes(other.attributes)
    {
        if (const QUrl *built = other.url.loadAcquire())
            url.storeRelease(new QUrl(*built));
    }
    ~Data() { delete url.loadRelaxed(); }

    const QUrl &urlValue() const
    {
        if (const QUrl *built = url.loadAcquire())
            return *built;
        auto *made = new QUrl(QUrl::fromLocalFile(path));
        // Two threads may make it at once: the first one stored is kept.
        if (!url.testAndSetOrdered(nullptr, made)) {
            delete made;
            return *url.loadAcquire();
        }
        return *made;
    }

    bool hasSnapshot = false;
    QString path;
    mutable QAtomicPointer<QUrl> url;
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

// The attributes readAttributes() found last, and the reads under way with
// the requests that wait for each.
class AttributeReads
{
public:
    struct Waiter
    {
        ContextGuard guard;
        FileItem::Completion completion;
    };

    // True when `url` has no read under way yet: the caller starts one.
    bool addWaiter(const QUrl &url, Waiter waiter)
    {
        QMutexLocker locker(&m_lock);
        auto it = m_waiting.find(url);
        const bool isFirst = it == m_waiting.end();
        if (isFirst)
            it = m_waiting.insert(url, {});
        it->push_back(std::move(waiter));
        return isFirst;
    }

    std::vector<Waiter> finish(const QUrl &url, const FileAttributes &attributes)
    {
        QMutexLocker locker(&m_lock);
        m_lastKnown.insert(url, new FileAttributes(attributes));
        return m_waiting.take(url);
    }

    std::optional<FileAttributes> lastKnown(const QUrl &url)
    {
        QMutexLocker locker(&m_lock);
        if (const FileAttributes *attributes = m_lastKnown.object(url))
            return *attributes;
        return std::nullopt;
    }

private:
    QMutex m_lock;
    QHash<QUrl, std::vector<Waiter>> m_waiting;
    // Items asked about one by one (places, volumes, a window's own folder):
    // a few thousand is plenty.
    QCache<QUrl, FileAttributes> m_lastKnown {4096};
};

AttributeReads &attributeReads()
{
    static AttributeReads reads;
    return reads;
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
    d->url.storeRelaxed(new QUrl(url));
}

FileItem::FileItem(const QUrl &url, FileAttributes attributes)
    : d(new Data)
{
    d->path = url.toLocalFile();
    d->url.storeRelaxed(new QUrl(url));
    d->hasSnapshot = true;
    d->attributes = std::move(attributes);
}

FileItem::FileItem(const QString &path, FileAttributes attributes)
    : d(new Data)
{
    // 136 bytes and the allocator's own 8 fit its 144-byte class.
    static_assert(sizeof(Data) <= 136, "a listed item grew past its allocation class");
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
    if (!hasAttributeSnapshot())
        return lastPathComponent(url());
    if (d->attributes.hidesExtension)
        return FileNameParts::of(d->attributes.name).stem;
    return d->attributes.name;
}

bool FileItem::hidesExtension() const
{
    return hasAttributeSnapshot() && d->attributes.hidesExtension
        && !FileNameParts::of(d->attributes.name).extension.isEmpty();
}

QString FileItem::fileNameForEditedName(const QString &editedName) const
{
    if (!hidesExtension())
        return editedName;
    // The extension as it is on disk, bytes that are not UTF-8 included.
    const QString extension = FileNameParts::of(path().section(QLatin1Char('/'), -1)).extension;
    const QString trimmed = editedName.trimmed();
    if (trimmed.isEmpty() || trimmed.endsWith(QLatin1Char('.') + extension, Qt::CaseInsensitive))
        return editedName;
    return trimmed + QLatin1Char('.') + extension;
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

void FileItem::readAttributes(const QUrl &url, QObject *context, Completion completion)
{
    if (!attributeReads().addWaiter(url, {ContextGuard(context), std::move(completion)}))
        return;
    WorkQueues::listings()->start([url] {
        const FileAttributes attributes = FileAttributes::read(url);
        MainThread::post([url, attributes] {
            const FileItem item(url, attributes);
            for (const AttributeReads::Waiter &waiter : attributeReads().finish(url, attributes)) {
                if (waiter.completion && waiter.guard.isAlive())
                    waiter.completion(item);
            }
        });
    });
}

FileItem FileItem::lastKnown(const QUrl &url)
{
    if (std::optional<FileAttributes> attributes = attributeReads().lastKnown(url))
        return FileItem(url, std::move(*attributes));
    // A bare item would read the disk in its getters; this one knows its name
    // and nothing else yet.
    FileAttributes unread;
    unread.name = lastPathComponent(url);
    unread.hasStatus = false;
    return FileItem(url, std::move(unread));
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

void FileItem::setHidesExtension(bool hidden)
{
    HiddenExtension::setHidden(PathCodec::encodePath(url()), hidden);
    if (hasAttributeSnapshot()) {
        d.detach();
        d->attributes.hidesExtension = hidden;
    }
}
