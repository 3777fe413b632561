#include "DirectoryWatcher.h"

#include "FSPlatform/InotifyWatch.h"
#include "FSPlatform/PathCodec.h"

#include <cmath>

namespace {
// Past this many names, reading the folder again costs less than reading each.
constexpr qsizetype maximumNames = 4096;

int milliseconds(double seconds)
{
    return int(std::lround(seconds * 1000));
}
} // namespace

DirectoryWatcher::DirectoryWatcher(double debounceIntervalSeconds, QObject *parent)
    : QObject(parent)
    , m_debounceIntervalSeconds(debounceIntervalSeconds)
{
    for (QTimer *timer : {&m_pendingChange, &m_maximumWait}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, &DirectoryWatcher::deliver);
    }
    m_pendingChange.setInterval(milliseconds(debounceIntervalSeconds));
    m_maximumWait.setInterval(milliseconds(defaultMaximumWaitSeconds));
}

DirectoryWatcher::~DirectoryWatcher()
{
    stop();
}

void DirectoryWatcher::setMaximumWait(double seconds)
{
    m_maximumWait.setInterval(milliseconds(seconds));
}

void DirectoryWatcher::startWatching(const QUrl &folder)
{
    stop();
    auto *source = new InotifyWatch(PathCodec::encodePath(folder), this);
    if (!source->isWatching()) {
        delete source;
        return;
    }
    connect(source, &InotifyWatch::changed, this, &DirectoryWatcher::collect);
    m_source = source;
}

void DirectoryWatcher::stop()
{
    m_pendingChange.stop();
    m_maximumWait.stop();
    m_pendingNames.clear();
    m_isEverythingPending = false;
    // Deleting the watch drops it at once; events already read for it die with it.
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

void DirectoryWatcher::collect(const QStringList &names)
{
    if (names.isEmpty() || m_pendingNames.size() + names.size() > maximumNames) {
        m_isEverythingPending = true;
        m_pendingNames.clear();
    } else if (!m_isEverythingPending) {
        for (const QString &name : names)
            m_pendingNames.insert(name);
    }
    // Trailing edge: every event pushes the notification back by the interval,
    // but never past the maximum wait from the first event of the burst.
    if (!m_maximumWait.isActive())
        m_maximumWait.start();
    m_pendingChange.start();
}

void DirectoryWatcher::deliver()
{
    m_pendingChange.stop();
    m_maximumWait.stop();
    m_deliveredNames = m_isEverythingPending ? QStringList()
                                             : QStringList(m_pendingNames.cbegin(), m_pendingNames.cend());
    m_pendingNames.clear();
    m_isEverythingPending = false;
    // A callback may stop or destroy this watcher: it runs from a copy.
    const QPointer<DirectoryWatcher> self(this);
    if (const auto namesCallback = onChangedNames) {
        const QStringList names = m_deliveredNames;
        namesCallback(names);
    }
    if (!self)
        return;
    if (const auto changeCallback = onChange)
        changeCallback();
}
