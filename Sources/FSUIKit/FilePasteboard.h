#pragma once

#include <QList>
#include <QUrl>

class QMimeData;

// Files on the clipboard and in drags, in the formats other Linux file managers
// read and write: text/uri-list, and x-special/gnome-copied-files.
namespace FilePasteboard {

// Replaces the clipboard's contents with these URLs, in order.
void write(const QList<QUrl> &urls);
// The local files on the clipboard, in order; anything else there (web
// addresses, text) does not count. Empty when there are none.
QList<QUrl> readURLs();

// The data of a copy or a drag of these URLs.
QMimeData *mimeData(const QList<QUrl> &urls);
// The local files that `data` carries, in order.
QList<QUrl> fileURLs(const QMimeData *data);

} // namespace FilePasteboard
