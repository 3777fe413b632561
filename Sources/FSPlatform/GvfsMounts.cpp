#include "GvfsMounts.h"

#include "DirectoryStream.h"
#include "PathCodec.h"

#include <QUrl>

#include <gio/gio.h>

#include <algorithm>

namespace GvfsMounts {

namespace {

QString backendOf(const QString &folderName)
{
    const qsizetype colon = folderName.indexOf(QLatin1Char(':'));
    return colon < 0 ? folderName : folderName.left(colon);
}

// The value of `key` in "backend:key=value,key=value"; gvfs escapes values as
// in URLs.
std::optional<QString> valueOf(const QString &folderName, QLatin1String key)
{
    const qsizetype colon = folderName.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return std::nullopt;
    const QStringList pairs = folderName.mid(colon + 1).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &pair : pairs) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals < 0 || QStringView(pair).left(equals) != key)
            continue;
        return QUrl::fromPercentEncoding(pair.mid(equals + 1).toUtf8());
    }
    return std::nullopt;
}

} // namespace

QString fuseFolder()
{
    return PathCodec::decode(QByteArray(g_get_user_runtime_dir()) + "/gvfs");
}

QStringList folderNames(const QString &fuseFolder)
{
    QStringList names;
    DirectoryStream stream(PathCodec::encode(fuseFolder));
    while (const dirent *entry = stream.next())
        names.append(PathCodec::decode(entry->d_name, qstrlen(entry->d_name)));
    std::sort(names.begin(), names.end());
    return names;
}

bool isNetworkMount(const QString &folderName)
{
    static const QStringList networkBackends = {
        QStringLiteral("smb-share"), QStringLiteral("smb-server"), QStringLiteral("sftp"),
        QStringLiteral("ftp"), QStringLiteral("ftps"), QStringLiteral("ftpis"),
        QStringLiteral("dav"), QStringLiteral("davs"), QStringLiteral("dav+sd"), QStringLiteral("davs+sd"),
        QStringLiteral("afp-volume"), QStringLiteral("afp-server"), QStringLiteral("nfs"),
        QStringLiteral("http"), QStringLiteral("google-drive"), QStringLiteral("onedrive"),
    };
    return networkBackends.contains(backendOf(folderName));
}

std::optional<QString> hostFromFolderName(const QString &folderName)
{
    if (!isNetworkMount(folderName))
        return std::nullopt;
    std::optional<QString> host = valueOf(folderName, QLatin1String("server"));
    if (!host)
        host = valueOf(folderName, QLatin1String("host"));
    if (!host || host->isEmpty())
        return std::nullopt;
    return host;
}

QString displayName(const QString &folderName)
{
    for (QLatin1String key : {QLatin1String("share"), QLatin1String("volume"), QLatin1String("server"),
                              QLatin1String("host")}) {
        const std::optional<QString> value = valueOf(folderName, key);
        if (value && !value->isEmpty())
            return *value;
    }
    return folderName;
}

} // namespace GvfsMounts
