#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// File names on Linux are bytes, not text. A name that is not valid UTF-8 would
// lose its bytes in a plain QString conversion, and the file could then never be
// opened, renamed or trashed again. Each byte that is not part of valid UTF-8 is
// therefore carried as the lone surrogate U+DC80..U+DCFF ("surrogate escape"),
// which no real name can contain, and turned back into that byte on the way out.
// Every path handed to a system call goes through encodePath().
namespace PathCodec {

QString decode(const char *bytes, qsizetype length);
inline QString decode(const QByteArray &bytes) { return decode(bytes.constData(), bytes.size()); }
QByteArray encode(const QString &path);

// The local path of a file URL, encoded for system calls.
QByteArray encodePath(const QUrl &url);

// The one URL form used everywhere: absolute, cleaned, no trailing slash.
QUrl urlForPath(const QString &path);

// The child `name` of `folder` in that same form.
QUrl childUrl(const QUrl &folder, const QString &name);

// A name fit for showing: escaped bytes become U+FFFD.
QString displayForm(const QString &name);

// True when `name` holds escaped bytes (it was not valid UTF-8 on disk).
bool hasEscapedBytes(const QString &name);

} // namespace PathCodec
