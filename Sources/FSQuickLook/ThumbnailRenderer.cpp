#include "ThumbnailRenderer.h"

#include <QFile>
#include <QImageReader>

#include <poppler-qt6.h>

#include <fcntl.h>
#include <memory>

namespace ThumbnailRenderer {

namespace {

// Read into memory only up to this size; larger documents go by name.
constexpr qint64 largestDocumentInMemory = 256LL * 1024 * 1024;

bool isPdf(const QString &contentType)
{
    return contentType == QLatin1String("application/pdf");
}

bool isImage(const QString &contentType)
{
    if (!contentType.startsWith(QLatin1String("image/")))
        return false;
    static const QList<QByteArray> readable = QImageReader::supportedMimeTypes();
    return readable.contains(contentType.toLatin1());
}

QSize fitted(QSize size, int edge)
{
    if (size.width() <= edge && size.height() <= edge)
        return size;
    return size.scaled(edge, edge, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QImage renderImage(const QByteArray &path, int edge)
{
    // Opened by descriptor: Qt cannot open names that are not UTF-8.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return {};
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > largestImagePixels)
        return {};
    // With the orientation applied afterwards, width and height may swap: fit both ways.
    reader.setScaledSize(fitted(size, edge));
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.width() > edge || image.height() > edge)
        image = image.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage renderPdf(const QByteArray &path, int edge, int *pageCount)
{
    std::unique_ptr<Poppler::Document> document;
    const QString name = QFile::decodeName(path);
    if (QFile::encodeName(name) == path) {
        document = Poppler::Document::load(name);
    } else {
        QFile file;
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle) || file.size() > largestDocumentInMemory)
            return {};
        document = Poppler::Document::loadFromData(file.readAll());
    }
    if (!document || document->isLocked() || document->numPages() < 1)
        return {};
    if (pageCount)
        *pageCount = document->numPages();
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    const std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page)
        return {};
    const QSizeF points = page->pageSizeF();
    if (points.width() <= 0 || points.height() <= 0)
        return {};
    const double dpi = 72.0 * edge / qMax(points.width(), points.height());
    QImage image = page->renderToImage(dpi, dpi);
    if (image.isNull())
        return {};
    if (image.width() > edge || image.height() > edge)
        image = image.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

bool canRender(const QString &contentType)
{
    return isPdf(contentType) || isImage(contentType);
}

QImage render(const QByteArray &path, const QString &contentType, int edge)
{
    return render(path, contentType, edge, nullptr);
}

QImage render(const QByteArray &path, const QString &contentType, int edge, int *pageCount)
{
    if (pageCount)
        *pageCount = 0;
    if (isPdf(contentType))
        return renderPdf(path, edge, pageCount);
    if (isImage(contentType))
        return renderImage(path, edge);
    return {};
}

} // namespace ThumbnailRenderer
