#pragma once

#include "FSCore/FolderListingUpdate.h"

#include <QObject>
#include <QStringList>
#include <QUrl>

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

// Whether a folder's attributes may all be read by now, from the updates the
// listing cache broadcasts: a view benchmark checks its rows only then, not at
// every wake-up, so that looking does not take the main thread from the view.
class AttributeReadingWatch
{
public:
    explicit AttributeReadingWatch(const QUrl &folder)
    {
        m_connection = QObject::connect(FolderListingNotifier::instance(), &FolderListingNotifier::listingUpdated,
                                        [this, folder](const FolderListingUpdate &update) {
                                            if (update.folder == folder)
                                                m_mayBeWhole = update.hasAllAttributes;
                                        });
    }
    ~AttributeReadingWatch() { QObject::disconnect(m_connection); }
    AttributeReadingWatch(const AttributeReadingWatch &) = delete;
    AttributeReadingWatch &operator=(const AttributeReadingWatch &) = delete;

    bool mayBeWhole() const { return m_mayBeWhole; }

private:
    QMetaObject::Connection m_connection;
    bool m_mayBeWhole = true;
};
