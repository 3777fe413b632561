#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// One thumbnail in the freedesktop.org thumbnail cache
// ($XDG_CACHE_HOME/thumbnails/<flavour>/<md5 of the URI>.png), shared with
// every other program that follows the same rules.
struct ThumbnailCacheFile
{
    QByteArray uri;          // the file's URI, as GLib writes it
    qint64 modificationTime; // seconds since the epoch
    qint64 size;             // bytes
    int edge;                // 128, 256, 512 or 1024 pixels

    // The smallest flavour holding thumbnails of at least `pixels` pixels.
    static int edgeFor(int pixels);
    static QString cacheRoot();

    QString path() const;
    // The cached image if it was made from this very version of the file.
    QImage read() const;
    // Written under a temporary name and renamed into place, owner-only, so a
    // reader never sees half a file. Failures are silent: the cache is a cache.
    void write(const QImage &image) const;
};
