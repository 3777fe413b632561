#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Makes the thumbnail of one file on a worker thread: images through Qt's
// readers, decoded at reduced size where the format allows it, and the first
// page of PDF documents. A null image when the file has no thumbnail, is
// damaged, or is too big to decode safely.
namespace ThumbnailRenderer {

// Images larger than this many pixels are refused before decoding: a tiny
// file can claim enormous dimensions.
inline constexpr qint64 largestImagePixels = 20000LL * 20000LL;

bool canRender(const QString &contentType);

// `path` is encoded (PathCodec); the longer side of the result is at most `edge`.
QImage render(const QByteArray &path, const QString &contentType, int edge);
// The same, also telling how many pages a document has (0 for an image).
QImage render(const QByteArray &path, const QString &contentType, int edge, int *pageCount);

} // namespace ThumbnailRenderer
