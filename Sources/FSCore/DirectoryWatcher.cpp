#include "DirectoryWatcher.h"

#include "FSPlatform/InotifyWatch.h"
#include "FSPlatform/PathCodec.h"

#include <cmath>

DirectoryWatcher::DirectoryWatcher(double debounceIntervalSeconds, QObject *parent)
    : QObject(parent)
    , m_debounceIntervalSeconds(debounceIntervalSeconds)
{
    m_pendingChange.setSingleShot(true);
    m_pendingChange.setTimerType(Qt::PreciseTimer);
    m_pendingChange.setInterval(int(std::lround(debounceIntervalSeconds * 1000)));
    connect(&m_pendingChange, &QTimer::timeout, this, [this] {
        if (onChange)
            onChange();
    });
}

DirectoryWatcher::~DirectoryWatcher()
{
    stop();
}

void DirectoryWatcher::startWatching(const QUrl &folder)
{
    stop();
    auto *source = new InotifyWatch(PathCodec::encodePath(folder), this);
    if (!source->isWatching()) {
        delete source;
        return;
    }
    connect(source, &InotifyWatch::changed, this, &DirectoryWatcher::scheduleDebouncedChange);
    m_source = source;
}

void DirectoryWatcher::stop()
{
    m_pendingChange.stop();
    // Deleting the watch closes its descriptor at once; events already queued
    // for it die with it.
    delete m_source.data();
    m_source.clear();
}

bool DirectoryWatcher::isWatching() const
{
    return !m_source.isNull();
}

int DirectoryWatcher::fileDescriptor() const
{
    return m_source ? m_source->fileDescriptor() : -1;
}

void DirectoryWatcher::scheduleDebouncedChange()
{
    // Trailing edge: every event pushes the notification back by the interval.
    m_pendingChange.start();
}
