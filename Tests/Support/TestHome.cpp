#include "TestHome.h"

#include <QDir>

#include <cstdlib>

namespace tw::test {

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

} // namespace tw::test
