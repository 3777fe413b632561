#include "BenchCommand.h"

#include "FSCore/FileJob.h"
#include "FSCore/FileOperations.h"
#include "FSPlatform/OperationError.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/TreeRemover.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

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

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Processor time used so far, user and system, of this process's threads or
// of its waited-for children. On a machine that other work keeps busy the
// wall time of a copy swings by tens of percent; its processor time hardly.
double processorMilliseconds(int who)
{
    struct rusage usage {};
    ::getrusage(who, &usage);
    const auto milliseconds = [](const timeval &time) { return double(time.tv_sec) * 1000 + double(time.tv_usec) / 1000; };
    return milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
}

struct Timing
{
    double wall = 0;
    double processor = 0;
};

class Stopwatch
{
public:
    explicit Stopwatch(int who = RUSAGE_SELF)
        : m_who(who), m_wall(benchMilliseconds()), m_processor(processorMilliseconds(who))
    {
    }
    Timing elapsed() const
    {
        return {benchMilliseconds() - m_wall, processorMilliseconds(m_who) - m_processor};
    }

private:
    int m_who;
    double m_wall;
    double m_processor;
};

// The bare copy, on this thread, as the views' commands made it before jobs.
Timing timeBareCopy(const QUrl &source, const QUrl &destination, QUrl &copy)
{
    const Stopwatch stopwatch;
    copy = FileOperations::copy(source, destination);
    return stopwatch.elapsed();
}

// The same copy as a job on the file-job queue, with someone listening to its
// progress as the panel does; the time runs until the completion arrives.
Timing timeJobCopy(const QUrl &source, const QUrl &destination, QUrl &copy, int &progressSignals, QString &failure)
{
    QEventLoop loop;
    FileJob job(FileJob::Kind::copy, {source}, destination);
    progressSignals = 0;
    QObject::connect(&job, &FileJob::progressChanged, &job, [&] {
        ++progressSignals;
        (void)job.progress();
    });
    QObject::connect(&job, &FileJob::finished, &loop, [&](const FileJobResult &result) {
        if (!result.succeeded.isEmpty())
            copy = result.succeeded.first().result;
        if (!result.failures.isEmpty())
            failure = result.failures.first().message;
        loop.quit();
    });
    const Stopwatch stopwatch;
    job.start();
    loop.exec();
    return stopwatch.elapsed();
}

Timing timeCp(const QString &source, const QString &destination)
{
    const Stopwatch stopwatch(RUSAGE_CHILDREN);
    QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), source, destination});
    return stopwatch.elapsed();
}

// Removes a copy and writes everything out, so that the next copy neither
// pays for this one's writeback nor rides on a clean cache the first one had.
void removeCopy(const QString &path)
{
    try {
        TreeRemover::remove(PathCodec::encode(path));
    } catch (const OperationError &error) {
        std::fprintf(stderr, "could not remove %s: %s\n", qPrintable(path), qPrintable(error.localizedDescription()));
    }
    ::sync();
}

// Stops a job copy after `delay` ms and reports how long stopping took and
// whether anything was left in the destination.
int runCancel(const QUrl &source, const QUrl &destination, int delay)
{
    const QDir folder(destination.toLocalFile());
    const QStringList before = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QEventLoop loop;
    FileJob job(FileJob::Kind::copy, {source}, destination);
    double cancelledAt = 0;
    double stoppedAt = 0;
    FileJobResult outcome;
    QObject::connect(&job, &FileJob::finished, &loop, [&](const FileJobResult &result) {
        stoppedAt = benchMilliseconds();
        outcome = result;
        loop.quit();
    });
    // Only copying moves the counters: when they last moved is when the copy
    // stopped; removing what it made comes after.
    double lastMovedAt = 0;
    FileJobProgress last;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, &job, [&] {
        const FileJobProgress now = job.progress();
        if (now.itemsDone != last.itemsDone || now.bytesDone != last.bytesDone)
            lastMovedAt = benchMilliseconds();
        last = now;
    });
    QTimer::singleShot(delay, &job, [&] {
        const FileJobProgress progress = job.progress();
        std::printf("stopping at %lld of %lld items, %lld of %lld bytes\n", progress.itemsDone, progress.itemsTotal,
                    progress.bytesDone, progress.bytesTotal);
        cancelledAt = lastMovedAt = benchMilliseconds();
        last = progress;
        job.cancel();
        watch.start();
    });
    job.start();
    loop.exec();
    const QStringList after = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (!outcome.wasCancelled) {
        std::printf("the copy ended before it was stopped\n");
        for (const FileJobSuccess &success : outcome.succeeded)
            removeCopy(success.result.toLocalFile());
        return 1;
    }
    std::printf("left in the destination: %s\n", after == before ? "nothing" : qPrintable(after.join(u' ')));
    std::printf("copying stopped %.1f ms after Stop; what it made was removed %.1f ms after Stop\n",
                lastMovedAt - cancelledAt, stoppedAt - cancelledAt);
    // What the user waits for: the job over and nothing of the copy left.
    std::printf("copy: stopped %.1f ms after Stop, ended with nothing left %.1f ms after Stop\n",
                lastMovedAt - cancelledAt, stoppedAt - cancelledAt);
    return after == before ? 0 : 1;
}

int runJobComparison(const QUrl &source, const QUrl &destination, int rounds)
{
    std::vector<Timing> bare, job, cp;
    int progressSignals = 0;
    const QString cpTarget = destination.toLocalFile() + QStringLiteral("/cp-r-copy");
    ::sync();
    for (int round = 0; round < rounds; ++round) {
        QUrl copy;
        QString failure;
        // The order turns each round so that neither rides on the other's warm caches.
        for (int step = 0; step < 3; ++step) {
            switch ((round + step) % 3) {
            case 0:
                bare.push_back(timeBareCopy(source, destination, copy));
                removeCopy(copy.toLocalFile());
                break;
            case 1:
                job.push_back(timeJobCopy(source, destination, copy, progressSignals, failure));
                if (!failure.isEmpty()) {
                    std::fprintf(stderr, "job copy failed: %s\n", qPrintable(failure));
                    return 1;
                }
                removeCopy(copy.toLocalFile());
                break;
            case 2:
                cp.push_back(timeCp(source.toLocalFile(), cpTarget));
                removeCopy(cpTarget);
                break;
            }
        }
        std::printf("round %d: bare %.1f ms (processor %.1f), job %.1f ms (processor %.1f, %d progress signals), "
                    "cp -r %.1f ms (processor %.1f)\n",
                    round + 1, bare.back().wall, bare.back().processor, job.back().wall, job.back().processor,
                    progressSignals, cp.back().wall, cp.back().processor);
        std::fflush(stdout);
    }
    const auto medianOf = [](const std::vector<Timing> &timings, double Timing::*figure) {
        std::vector<double> values;
        for (const Timing &timing : timings)
            values.push_back(timing.*figure);
        return median(values);
    };
    const double bareWall = medianOf(bare, &Timing::wall);
    const double jobWall = medianOf(job, &Timing::wall);
    const double bareProcessor = medianOf(bare, &Timing::processor);
    const double jobProcessor = medianOf(job, &Timing::processor);
    std::printf("copy: wall time job %.1f ms, bare %.1f ms (%+.1f %%), cp -r %.1f ms (median of %d)\n", jobWall,
                bareWall, (jobWall / bareWall - 1) * 100, medianOf(cp, &Timing::wall), rounds);
    std::printf("copy: processor time job %.1f ms, bare %.1f ms (%+.1f %%), cp -r %.1f ms (median of %d)\n",
                jobProcessor, bareProcessor, (jobProcessor / bareProcessor - 1) * 100, medianOf(cp, &Timing::processor),
                rounds);
    return 0;
}

int runCopy(const QStringList &arguments)
{
    QStringList paths = arguments;
    const bool throughJobs = paths.removeAll(QStringLiteral("--job")) > 0;
    int rounds = 3;
    if (const qsizetype at = paths.indexOf(QStringLiteral("--rounds")); at >= 0 && at + 1 < paths.size()) {
        rounds = std::max(1, paths[at + 1].toInt());
        paths.remove(at, 2);
    }
    int cancelAfter = -1;
    if (const qsizetype at = paths.indexOf(QStringLiteral("--cancel-after")); at >= 0 && at + 1 < paths.size()) {
        cancelAfter = std::max(0, paths[at + 1].toInt());
        paths.remove(at, 2);
    }
    if (paths.size() != 2)
        return 2;
    const QUrl source = PathCodec::urlForPath(QDir(paths[0]).absolutePath());
    const QUrl destination = PathCodec::urlForPath(QDir(paths[1]).absolutePath());
    try {
        if (cancelAfter >= 0)
            return runCancel(source, destination, cancelAfter);
        if (throughJobs)
            return runJobComparison(source, destination, rounds);
        const double usedBefore = usedGiB(paths[1]);
        QUrl copy;
        const Timing elapsed = timeBareCopy(source, destination, copy);
        std::printf("disk use grew by %.2f GiB\n", usedGiB(paths[1]) - usedBefore);
        std::printf("copy: %s in %.1f ms (processor %.1f ms)\n", qPrintable(copy.toLocalFile()), elapsed.wall,
                    elapsed.processor);
    } catch (const OperationError &error) {
        std::fprintf(stderr, "copy failed: %s\n", qPrintable(error.localizedDescription()));
        return 1;
    }
    return 0;
}

const BenchCommandRegistrar registrar({"copy", "SRC DESTDIR [--job [--rounds N] | --cancel-after MS]", runCopy, false});

} // namespace
