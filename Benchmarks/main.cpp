#include "BenchCommand.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <vector>

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

int main(int argc, char **argv)
{
    // Icons and thumbnails need a GUI application; nothing is shown.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty())
        return usage();
    const QString name = arguments.takeFirst();
    for (const BenchCommand &command : commands()) {
        if (name == QLatin1String(command.name))
            return command.run(arguments);
    }
    return usage();
}
