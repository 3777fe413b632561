#include "CommandLine.h"

#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QDir>

#include <sys/stat.h>

namespace CommandLine {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CommandLine", text);
}

// A dangling link is still an item that can be shown in its folder.
bool exists(const QUrl &url)
{
    struct stat status {};
    return lstat(PathCodec::encodePath(url).constData(), &status) == 0;
}

} // namespace

Arguments parse(const QStringList &arguments, const QString &workingDirectory)
{
    Arguments result;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--service")) {
            result.isService = true;
            continue;
        }
        if (argument == QLatin1String("--measure-startup")) {
            result.measuresStartup = true;
            continue;
        }
        QString path = argument;
        if (argument.startsWith(QLatin1String("file:"))) {
            const QUrl uri(argument);
            if (!uri.isLocalFile() || uri.toLocalFile().isEmpty()) {
                result.errors.append(tr("%1: not a local file").arg(argument));
                continue;
            }
            path = uri.toLocalFile();
        } else if (argument.contains(QLatin1String("://"))) {
            result.errors.append(tr("%1: not a local file").arg(argument));
            continue;
        }
        const QUrl url = PathCodec::urlForPath(QDir(workingDirectory).absoluteFilePath(path));
        if (!exists(url)) {
            result.errors.append(tr("%1: No such file or folder").arg(argument));
            continue;
        }
        result.urls.append(url);
    }
    return result;
}

} // namespace CommandLine
