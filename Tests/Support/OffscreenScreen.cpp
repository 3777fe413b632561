#include "OffscreenScreen.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace tw::test {

void useOffscreenScreen(QSize size)
{
    // Lives until the process ends: the platform reads it when the application starts.
    const QString path = QDir::tempPath() + QStringLiteral("/tidewright-test-screens-%1.json")
                             .arg(QString::number(QCoreApplication::applicationPid()));
    QFile config(path);
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    config.write(QStringLiteral(R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": %1, "height": %2,
                                    "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                     .arg(size.width())
                     .arg(size.height())
                     .toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(path));
}

} // namespace tw::test
