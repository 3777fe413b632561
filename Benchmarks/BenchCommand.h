#pragma once

#include <QStringList>

#include <functional>

// One command of tidewright-bench. Each command lives in a file of its own and
// registers itself; `run` gets the arguments after the command's name and
// returns the exit status. The figure a command measures is its last line.
struct BenchCommand
{
    const char *name;
    const char *usage;
    std::function<int(const QStringList &arguments)> run;
    // Commands of the file model run on a QCoreApplication, so that starting a
    // GUI does not count in their time.
    bool needsGui = true;
};

void registerBenchCommand(BenchCommand command);

struct BenchCommandRegistrar
{
    explicit BenchCommandRegistrar(BenchCommand command) { registerBenchCommand(std::move(command)); }
};

// Milliseconds since the first call, for timing one operation.
double benchMilliseconds();

// The largest resident set of the process so far, in MiB.
double benchPeakMemoryMiB();
