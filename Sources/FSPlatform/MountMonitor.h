#pragma once

#include "VisibleVolumes.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <memory>

// Says when a volume is mounted or unmounted, for every part of the program
// that shows volumes. It watches the kernel's mount table (disks, network file
// systems) and GIO's volume monitor (the shares gvfs mounts, which the kernel
// sees only as its one FUSE bridge), and compares what VisibleVolumes lists
// before and after, so each volume is reported once, whoever saw it first.
class MountMonitor : public QObject
{
    Q_OBJECT

public:
    // The process's one monitor, made on first use; main thread only. It lives
    // as long as the application object.
    static MountMonitor *instance();
    ~MountMonitor() override;

    // The volumes mounted when the monitor last looked.
    QList<VisibleVolume> volumes() const;

Q_SIGNALS:
    void volumeMounted(const QUrl &root);
    void volumeUnmounted(const QUrl &root);

private:
    explicit MountMonitor(QObject *parent);
    void rescan();
    void rescanNowAndSoon();
    // GIO's "mount-added", "mount-removed" and "mount-changed" handler.
    static void handleGioMountChange(void *gioMonitor, void *mount, void *self);

    struct Private;
    std::unique_ptr<Private> d;
};
