#include "ThumbnailCacheFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QBuffer>
#include <QHash>
#include <QtEndian>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

QString flavourName(int edge)
{
    switch (edge) {
    case 128: return QStringLiteral("normal");
    case 256: return QStringLiteral("large");
    case 512: return QStringLiteral("x-large");
    default: return QStringLiteral("xx-large");
    }
}

// Qt's readers and writers carry PNG text as "key: value" lines, which
// cannot hold the cache's "Thumb::URI" keys; the chunks are read and written here.
using PngTexts = QHash<QByteArray, QByteArray>;

constexpr QByteArrayView pngSignature("\x89PNG\r\n\x1a\n", 8);

quint32 bigEndianAt(const QByteArray &data, qsizetype offset)
{
    return qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(data.constData() + offset));
}

// The tEXt chunks before the image data.
PngTexts textsOf(const QByteArray &png)
{
    PngTexts texts;
    if (!png.startsWith(pngSignature))
        return texts;
    for (qsizetype at = pngSignature.size(); at + 12 <= png.size();) {
        const quint32 length = bigEndianAt(png, at);
        const QByteArray type = png.mid(at + 4, 4);
        if (length > quint32(png.size() - at - 12) || type == "IDAT" || type == "IEND")
            break;
        if (type == "tEXt") {
            const QByteArray body = png.mid(at + 8, length);
            const qsizetype nul = body.indexOf('\0');
            if (nul > 0)
                texts.insert(body.left(nul), body.mid(nul + 1));
        }
        at += 12 + length;
    }
    return texts;
}

QByteArray chunk(const QByteArray &type, const QByteArray &body)
{
    QByteArray result(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(body.size()), result.data());
    const QByteArray typed = type + body;
    result += typed;
    QByteArray crc(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(::crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size()))), crc.data());
    return result + crc;
}

// `png` with tEXt chunks right after its header.
QByteArray withTexts(const QByteArray &png, const QList<std::pair<QByteArray, QByteArray>> &texts)
{
    const qsizetype afterHeader = pngSignature.size() + 12 + 13;
    if (!png.startsWith(pngSignature) || png.size() < afterHeader || png.mid(pngSignature.size() + 4, 4) != "IHDR")
        return {};
    QByteArray chunks;
    for (const auto &[key, value] : texts)
        chunks += chunk("tEXt", key + '\0' + value);
    return png.left(afterHeader) + chunks + png.mid(afterHeader);
}

} // namespace

int ThumbnailCacheFile::edgeFor(int pixels)
{
    for (const int edge : {128, 256, 512})
        if (pixels <= edge)
            return edge;
    return 1024;
}

QString ThumbnailCacheFile::cacheRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QLatin1String("/thumbnails");
}

QString ThumbnailCacheFile::path() const
{
    const QByteArray hash = QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex();
    return cacheRoot() + QLatin1Char('/') + flavourName(edge) + QLatin1Char('/') + QString::fromLatin1(hash) + QLatin1String(".png");
}

QImage ThumbnailCacheFile::read() const
{
    QFile file(path());
    // A cache file of a flavour is small; anything much bigger is not one of ours.
    if (!file.open(QIODevice::ReadOnly) || file.size() > qint64(edge) * edge * 4 + 65536)
        return {};
    const QByteArray png = file.readAll();
    const PngTexts texts = textsOf(png);
    if (texts.value("Thumb::URI") != uri || texts.value("Thumb::MTime") != QByteArray::number(modificationTime))
        return {};
    if (texts.contains("Thumb::Size") && texts.value("Thumb::Size") != QByteArray::number(size))
        return {};
    QImage image = QImage::fromData(png, "PNG");
    if (image.width() > edge || image.height() > edge)
        return {};
    return image;
}

void ThumbnailCacheFile::write(const QImage &image) const
{
    const QString target = path();
    const QString folder = QFileInfo(target).absolutePath();
    // Owner-only folders: thumbnails show what private files contain.
    for (const QString &each : {cacheRoot(), folder}) {
        const QByteArray encoded = QFile::encodeName(each);
        if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
            return;
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return;
    const QByteArray png = withTexts(buffer.data(), {{"Thumb::URI", uri},
                                                     {"Thumb::MTime", QByteArray::number(modificationTime)},
                                                     {"Thumb::Size", QByteArray::number(size)},
                                                     {"Software", "Tidewright"}});
    if (png.isEmpty())
        return;
    // A temporary file renamed over the old one, without QSaveFile's sync to
    // disk: a cache file lost in a crash is simply made again, and readers
    // reject anything incomplete by its text chunks.
    QByteArray temporary = QFile::encodeName(target) + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data()); // owner-only
    if (fd < 0)
        return;
    bool written = true;
    for (qsizetype at = 0; written && at < png.size();) {
        const ssize_t n = ::write(fd, png.constData() + at, size_t(png.size() - at));
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        at += qMax<ssize_t>(n, 0);
    }
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporary.constData(), QFile::encodeName(target).constData()) != 0)
        ::unlink(temporary.constData());
}
