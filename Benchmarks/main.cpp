#include "BenchCommand.h"

#include "FSCore/WorkQueues.h"
#include "FSUIKit/IconCache.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <sys/resource.h>

namespace {

std::vector<BenchCommand> &commands()
{
    static std::vector<BenchCommand> list;
    return list;
}

int usage()
{
    std::fprintf(stderr, "usage: tidewright-bench COMMAND ARGS...\n");
    for (const BenchCommand &command : commands())
        std::fprintf(stderr, "  tidewright-bench %s %s\n", command.name, command.usage);
    return 2;
}

} // namespace

void registerBenchCommand(BenchCommand command)
{
    commands().push_back(std::move(command));
}

double benchMilliseconds()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return double(timer.nsecsElapsed()) / 1e6;
}

double benchPeakMemoryMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    // Commands of one name for several views ("view list", "view column")
    // are told apart by the first word of their usage.
    const BenchCommand *chosen = nullptr;
    for (const BenchCommand &command : commands()) {
        if (qstrcmp(argv[1], command.name) != 0)
            continue;
        // "list|icon DIR" serves both "view list" and "view icon".
        const QList<QByteArray> kinds = QByteArray(command.usage).split(' ').value(0).split('|');
        if (!chosen || (argc > 2 && kinds.contains(QByteArray(argv[2]))))
            chosen = &command;
    }
    if (!chosen)
        return usage();
    std::unique_ptr<QCoreApplication> app;
    if (chosen->needsGui) {
        // Icons and thumbnails need a GUI application; nothing is shown.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
        // As the application does when it starts.
        IconCache::indexThemeInBackground();
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    const int status = chosen->run(app->arguments().mid(2));
    if (!chosen->needsGui) {
        // Freeing a listing of 100,000 items at exit is no part of any figure;
        // the file-model commands leave nothing behind that needs it.
        std::fflush(stdout);
        std::_Exit(status);
    }
    if (!WorkQueues::finishAll(3000)) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
