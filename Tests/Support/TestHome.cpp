#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <filesystem>

namespace tw::test {

QStringList entriesOf(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

void removeTree(const QString &path)
{
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(QFile::encodeName(path).toStdString()), ignored);
}


namespace {
QString &homePath()
{
    static QString path;
    return path;
}
} // namespace

void installPrivateHome()
{
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/tidewright-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        qFatal("cannot make a private test home");
    homePath() = QString::fromLocal8Bit(pattern);
    // The folder is removed at exit; tests that fail leave nothing in the real home.
    std::atexit([] { QDir(homePath()).removeRecursively(); });

    const QByteArray home = pattern;
    qputenv("HOME", home);
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_CACHE_HOME", home + "/.cache");
    qputenv("XDG_STATE_HOME", home + "/.local/state");
    for (const char *sub : {"/.local/share", "/.config", "/.cache", "/.local/state"})
        QDir().mkpath(QString::fromLocal8Bit(home + sub));
}

QString privateHome()
{
    return homePath();
}

QByteArray plist(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>\n";
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(contents) == contents.size();
}

} // namespace tw::test
