#include "FileUri.h"

#include "GioPointersPrivate.h"

#include <glib.h>

namespace FileUri {

QByteArray forPath(const QByteArray &path)
{
    if (!path.startsWith('/'))
        return {};
    const GCharPtr uri(g_filename_to_uri(path.constData(), nullptr, nullptr));
    return uri ? QByteArray(uri.get()) : QByteArray();
}

std::optional<QByteArray> pathFor(const QByteArray &uri)
{
    if (uri.contains('\0'))
        return std::nullopt;
    gchar *host = nullptr;
    // Refuses other schemes, relative paths and escaped NULs and slashes.
    const GCharPtr path(g_filename_from_uri(uri.constData(), &host, nullptr));
    const GCharPtr hostName(host);
    if (!path)
        return std::nullopt;
    if (hostName && qstrcmp(hostName.get(), "localhost") != 0)
        return std::nullopt;
    return QByteArray(path.get());
}

} // namespace FileUri
