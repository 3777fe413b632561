#include "FilePasteboard.h"

#include "FSPlatform/FileUri.h"
#include "FSPlatform/PathCodec.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace FilePasteboard {

namespace {

const QString uriListFormat = QStringLiteral("text/uri-list");
const QString gnomeCopiedFiles = QStringLiteral("x-special/gnome-copied-files");

// A local file's URI is made from its path's bytes: QUrl::toEncoded would
// write the escaped bytes of a name that is not UTF-8 as U+FFFD, and the
// receiver would look for another file.
QByteArray uriFor(const QUrl &url)
{
    if (url.isLocalFile()) {
        const QByteArray uri = FileUri::forPath(PathCodec::encodePath(url));
        if (!uri.isEmpty())
            return uri;
    }
    return url.toEncoded();
}

// The local files among these lines of URIs, in order.
QList<QUrl> localFiles(const QList<QByteArray> &lines)
{
    QList<QUrl> files;
    for (const QByteArray &line : lines) {
        const QByteArray uri = line.trimmed();
        // text/uri-list allows comment lines.
        if (uri.isEmpty() || uri.startsWith('#'))
            continue;
        if (const std::optional<QByteArray> path = FileUri::pathFor(uri))
            files.append(PathCodec::urlForPath(PathCodec::decode(*path)));
    }
    return files;
}

} // namespace

QMimeData *mimeData(const QList<QUrl> &urls)
{
    QByteArray uriList;
    QByteArray copied = "copy";
    QStringList paths;
    for (const QUrl &url : urls) {
        const QByteArray uri = uriFor(url);
        uriList += uri + "\r\n";
        copied += '\n' + uri;
        // Text must be valid UTF-8; the bytes travel in the URIs.
        paths.append(url.isLocalFile() ? PathCodec::displayForm(url.toLocalFile()) : url.toString());
    }
    auto *data = new QMimeData;
    data->setData(uriListFormat, uriList);
    data->setData(gnomeCopiedFiles, copied);
    data->setText(paths.join(QLatin1Char('\n')));
    return data;
}

QList<QUrl> fileURLs(const QMimeData *data)
{
    if (!data)
        return {};
    if (data->hasFormat(uriListFormat))
        return localFiles(data->data(uriListFormat).split('\n'));
    if (!data->hasFormat(gnomeCopiedFiles))
        return {};
    // "copy" or "cut" on the first line, then one URI a line.
    return localFiles(data->data(gnomeCopiedFiles).split('\n').mid(1));
}

void write(const QList<QUrl> &urls)
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setMimeData(mimeData(urls));
}

QList<QUrl> readURLs()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    return clipboard ? fileURLs(clipboard->mimeData()) : QList<QUrl>{};
}

} // namespace FilePasteboard
