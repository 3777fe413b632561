#include "BenchCommand.h"

#include "FSCore/FileOperations.h"
#include "FSPlatform/PathCodec.h"

#include <QDir>

#include <cstdio>
#include <sys/statvfs.h>

namespace {

// Bytes in use on the file system holding `path`: a copy that filled holes
// would show here long before it shows in the time.
double usedGiB(const QString &path)
{
    struct statvfs status {};
    if (::statvfs(QFile::encodeName(path).constData(), &status) != 0)
        return -1;
    return double(status.f_blocks - status.f_bfree) * status.f_frsize / (1024.0 * 1024 * 1024);
}

int runCopy(const QStringList &arguments)
{
    if (arguments.size() != 2)
        return 2;
    const QUrl source = PathCodec::urlForPath(QDir(arguments[0]).absolutePath());
    const QUrl destination = PathCodec::urlForPath(QDir(arguments[1]).absolutePath());

    const double usedBefore = usedGiB(arguments[1]);
    const double start = benchMilliseconds();
    QUrl copy;
    try {
        copy = FileOperations::copy(source, destination);
    } catch (const OperationError &error) {
        std::fprintf(stderr, "copy failed: %s\n", qPrintable(error.localizedDescription()));
        return 1;
    }
    const double elapsed = benchMilliseconds() - start;
    std::printf("disk use grew by %.2f GiB\n", usedGiB(arguments[1]) - usedBefore);
    std::printf("copy: %s in %.1f ms\n", qPrintable(copy.toLocalFile()), elapsed);
    return 0;
}

const BenchCommandRegistrar registrar({"copy", "SRC DESTDIR", runCopy, false});

} // namespace
