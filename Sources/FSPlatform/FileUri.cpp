#include "FileUri.h"

#include <glib.h>

namespace FileUri {

QByteArray forPath(const QByteArray &path)
{
    if (!path.startsWith('/'))
        return {};
    gchar *uri = g_filename_to_uri(path.constData(), nullptr, nullptr);
    if (!uri)
        return {};
    QByteArray result(uri);
    g_free(uri);
    return result;
}

} // namespace FileUri
