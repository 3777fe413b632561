#pragma once

#include "FSCore/FileAttributes.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QUrl>

#include <atomic>

// What the preview panel shows of one item, made on a worker thread. Whatever
// cannot be shown as a picture or as text falls back to the item's icon with
// its name, kind, size and date; so does a file that is too big, damaged or
// not a regular file, which is never read.
struct PreviewContent
{
    enum class Kind {
        image,    // `image`, scaled, turned the way its EXIF orientation says
        document, // `image` is the first page; `pageCount`
        text,     // `text`, the start of the file
        folder,   // the icon, with `itemCount`
        generic,  // the icon, name, kind, size and date
    };

    // Text files are read this far.
    static constexpr qint64 textLimit = 256 * 1024;

    QUrl url;
    Kind kind = Kind::generic;
    FileAttributes attributes;
    QImage image;
    int pageCount = 0;
    QSize imageSize; // images: the picture's own size, turned as shown
    QString text;
    bool isTextCut = false; // the file goes on past `text`
    qint64 itemCount = -1;  // folders: visible entries; -1 when unreadable

    // `edge` bounds the longer side of `image`. Stops early, with a generic
    // content, once `cancelled` is set.
    static PreviewContent make(const QUrl &url, int edge, const std::atomic<bool> &cancelled);

    // Whether `bytes`, the start of a file, reads as text: no NUL bytes and few
    // control characters.
    static bool looksLikeText(const QByteArray &bytes);
    // UTF-8 when it is, else Latin-1, which reads every byte.
    static QString decodeText(const QByteArray &bytes, bool isCut);
};
