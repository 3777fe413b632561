#include "FilePasteboard.h"

#include "FSPlatform/PathCodec.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace FilePasteboard {

namespace {

const QString gnomeCopiedFiles = QStringLiteral("x-special/gnome-copied-files");

QList<QUrl> localFilesOnly(const QList<QUrl> &urls)
{
    QList<QUrl> files;
    for (const QUrl &url : urls) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files.append(PathCodec::urlForPath(url.toLocalFile()));
    }
    return files;
}

} // namespace

QMimeData *mimeData(const QList<QUrl> &urls)
{
    auto *data = new QMimeData;
    data->setUrls(urls);
    QByteArray copied = "copy";
    QStringList paths;
    for (const QUrl &url : urls) {
        copied += '\n' + url.toEncoded();
        paths.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
    }
    data->setData(gnomeCopiedFiles, copied);
    data->setText(paths.join(QLatin1Char('\n')));
    return data;
}

QList<QUrl> fileURLs(const QMimeData *data)
{
    if (!data)
        return {};
    if (data->hasUrls())
        return localFilesOnly(data->urls());
    if (!data->hasFormat(gnomeCopiedFiles))
        return {};
    // "copy" or "cut" on the first line, then one URL a line.
    QList<QUrl> urls;
    const QList<QByteArray> lines = data->data(gnomeCopiedFiles).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!lines[i].trimmed().isEmpty())
            urls.append(QUrl::fromEncoded(lines[i].trimmed()));
    }
    return localFilesOnly(urls);
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
