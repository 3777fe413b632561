#include "PreviewContent.h"

#include "ThumbnailRenderer.h"

#include "FSPlatform/DirectoryStream.h"
#include "FSPlatform/PathCodec.h"

#include <QFile>
#include <QImageReader>
#include <QStringDecoder>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool isTextType(const ContentTypes::ContentType *type)
{
    if (!type)
        return false;
    const QString &name = type->name;
    return name.startsWith(QLatin1String("text/")) || type->genericIconName == QLatin1String("text-x-generic")
        || type->genericIconName == QLatin1String("text-x-script")
        || name == QLatin1String("application/json") || name == QLatin1String("application/xml")
        || name == QLatin1String("application/javascript") || name == QLatin1String("application/x-shellscript")
        || name == QLatin1String("application/x-yaml") || name == QLatin1String("application/toml");
}

bool isUnknownType(const ContentTypes::ContentType *type)
{
    return !type || type->name.isEmpty() || type->name == QLatin1String("application/octet-stream");
}

// Reads at most `limit` bytes; the file is opened without waiting on a device.
QByteArray readStart(const QByteArray &path, qint64 limit, bool *isCut)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0)
        return {};
    QByteArray bytes(limit + 1, Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < limit + 1) {
        const ssize_t got = ::read(fd, bytes.data() + filled, size_t(limit + 1 - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        filled += got;
    }
    ::close(fd);
    *isCut = filled > limit;
    bytes.truncate(std::min(filled, limit));
    return bytes;
}

QSize orientedImageSize(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return {};
    QImageReader reader(&file);
    QSize size = reader.size();
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        size.transpose();
    return size;
}

qint64 countEntries(const QByteArray &path, const std::atomic<bool> &cancelled)
{
    DirectoryStream stream(AT_FDCWD, path.constData(), true);
    if (!stream.isOpen())
        return -1;
    qint64 count = 0;
    while (const dirent *entry = stream.next()) {
        if (cancelled.load(std::memory_order_relaxed))
            return -1;
        if (entry->d_name[0] != '.')
            ++count;
    }
    return count;
}

} // namespace

bool PreviewContent::looksLikeText(const QByteArray &bytes)
{
    qsizetype control = 0;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0)
            return false;
        if (byte < 0x20 && byte != '\n' && byte != '\r' && byte != '\t' && byte != '\f' && byte != 0x1b)
            ++control;
    }
    return control * 20 <= bytes.size();
}

QString PreviewContent::decodeText(const QByteArray &bytes, bool isCut)
{
    QByteArray whole = bytes;
    if (isCut) {
        // The cut may fall inside a character: leave its first bytes out.
        qsizetype end = whole.size();
        for (int back = 1; back <= 3 && end - back >= 0; ++back) {
            const auto byte = static_cast<unsigned char>(whole.at(end - back));
            if ((byte & 0xC0) == 0xC0) {
                const int expected = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
                if (expected > back)
                    whole.truncate(end - back);
                break;
            }
            if ((byte & 0x80) == 0)
                break;
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(whole);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

PreviewContent PreviewContent::make(const QUrl &url, int edge, const std::atomic<bool> &cancelled)
{
    PreviewContent content;
    content.url = url;
    content.attributes = FileAttributes::read(url);
    const FileAttributes &attributes = content.attributes;
    if (!attributes.exists || cancelled.load())
        return content;
    const QByteArray path = PathCodec::encodePath(url);
    if (attributes.isDirectory) {
        content.kind = Kind::folder;
        content.itemCount = countEntries(path, cancelled);
        return content;
    }
    if (!attributes.hasFileSize)
        return content; // a device, a pipe or a socket: reading it could wait for ever
    const QString typeName = attributes.contentType ? attributes.contentType->name : QString();
    if (ThumbnailRenderer::canRender(typeName)) {
        content.image = ThumbnailRenderer::render(path, typeName, edge, &content.pageCount);
        if (!content.image.isNull())
            content.kind = content.pageCount > 0 ? Kind::document : Kind::image;
        if (content.kind == Kind::image)
            content.imageSize = orientedImageSize(path);
        return content;
    }
    if (!isTextType(attributes.contentType) && !isUnknownType(attributes.contentType))
        return content;
    bool isCut = false;
    const QByteArray bytes = readStart(path, textLimit, &isCut);
    if (cancelled.load() || !looksLikeText(bytes.left(64 * 1024)))
        return content;
    if (bytes.isEmpty() && !isTextType(attributes.contentType))
        return content;
    content.kind = Kind::text;
    content.text = decodeText(bytes, isCut);
    content.isTextCut = isCut;
    return content;
}
