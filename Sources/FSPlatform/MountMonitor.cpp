#include "MountMonitor.h"

#include "GioPointersPrivate.h"
#include "MountTable.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace {

// gvfs tells its clients about a new share and its FUSE bridge about it at the
// same time; the share's folder can appear a moment after the signal.
constexpr int settleDelayMs = 500;
// Without GLib's event loop under Qt, GIO's signals wait until someone runs
// the default main context.
constexpr int glibPumpIntervalMs = 250;

struct FileDescriptor
{
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

struct MountMonitor::Private
{
    FileDescriptor mountInfo; // outlives its notifier
    std::unique_ptr<QSocketNotifier> mountTableNotifier;
    GObjectPtr<GVolumeMonitor> gioMonitor;
    QTimer settleTimer;
    QTimer glibPump;
    QList<VisibleVolume> volumes;
};

MountMonitor *MountMonitor::instance()
{
    static QPointer<MountMonitor> monitor;
    Q_ASSERT(QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread());
    if (!monitor)
        monitor = new MountMonitor(QCoreApplication::instance());
    return monitor;
}

MountMonitor::MountMonitor(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->volumes = VisibleVolumes::current();

    // The kernel flags its mount table as exceptional (POLLPRI) on every mount
    // and unmount in this namespace.
    d->mountInfo.fd = ::open(MountTable::mountInfoPath, O_RDONLY | O_CLOEXEC);
    if (d->mountInfo.fd >= 0) {
        d->mountTableNotifier = std::make_unique<QSocketNotifier>(d->mountInfo.fd, QSocketNotifier::Exception);
        connect(d->mountTableNotifier.get(), &QSocketNotifier::activated, this, &MountMonitor::rescan);
    }

    d->gioMonitor.reset(g_volume_monitor_get());
    for (const char *signal : {"mount-added", "mount-removed", "mount-changed"})
        g_signal_connect(d->gioMonitor.get(), signal, G_CALLBACK(handleGioMountChange), this);

    d->settleTimer.setSingleShot(true);
    d->settleTimer.setInterval(settleDelayMs);
    connect(&d->settleTimer, &QTimer::timeout, this, &MountMonitor::rescan);

    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher || !dispatcher->inherits("QEventDispatcherGlib")) {
        connect(&d->glibPump, &QTimer::timeout, this, [] {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
        });
        d->glibPump.start(glibPumpIntervalMs);
    }
}

MountMonitor::~MountMonitor()
{
    g_signal_handlers_disconnect_by_data(d->gioMonitor.get(), this);
}

QList<VisibleVolume> MountMonitor::volumes() const
{
    return d->volumes;
}

void MountMonitor::handleGioMountChange(void *, void *, void *self)
{
    // Queued: GIO is in the middle of emitting, and listeners may do anything.
    auto *monitor = static_cast<MountMonitor *>(self);
    QMetaObject::invokeMethod(monitor, [monitor] { monitor->rescanNowAndSoon(); }, Qt::QueuedConnection);
}

void MountMonitor::rescanNowAndSoon()
{
    rescan();
    d->settleTimer.start();
}

void MountMonitor::rescan()
{
    const QList<VisibleVolume> before = d->volumes;
    d->volumes = VisibleVolumes::current();
    auto contains = [](const QList<VisibleVolume> &list, const QUrl &url) {
        return std::any_of(list.cbegin(), list.cend(), [&](const VisibleVolume &volume) { return volume.url == url; });
    };
    for (const VisibleVolume &volume : before) {
        if (!contains(d->volumes, volume.url))
            Q_EMIT volumeUnmounted(volume.url);
    }
    for (const VisibleVolume &volume : d->volumes) {
        if (!contains(before, volume.url))
            Q_EMIT volumeMounted(volume.url);
    }
}
