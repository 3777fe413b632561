#include "BenchCommand.h"

#include "FSCore/FolderSizeCalculator.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>

#include <cstdio>

namespace {

int runSize(const QStringList &arguments)
{
    if (arguments.size() != 1)
        return 2;
    const QUrl url = PathCodec::urlForPath(QDir(arguments.first()).absolutePath());

    // Through the calculator, as a view would: the walk runs on the pool and
    // the total comes back on the main thread.
    FolderSizeCalculator calculator;
    QEventLoop loop;
    qint64 total = -1;
    const double start = benchMilliseconds();
    calculator.calculate(url, [&](qint64 bytes) {
        total = bytes;
        loop.quit();
    });
    loop.exec();
    const double elapsed = benchMilliseconds() - start;
    std::printf("size: %lld bytes in %.1f ms\n", static_cast<long long>(total), elapsed);
    return 0;
}

const BenchCommandRegistrar registrar({"size", "DIR", runSize, false});

} // namespace
