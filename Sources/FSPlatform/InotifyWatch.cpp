#include "InotifyWatch.h"

#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace {
constexpr uint32_t watchedEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr uint32_t reportedEvents = watchedEvents | IN_Q_OVERFLOW;
} // namespace

InotifyWatch::InotifyWatch(const QByteArray &path, QObject *parent)
    : QObject(parent)
{
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return;
    if (::inotify_add_watch(fd, path.constData(), watchedEvents) < 0) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InotifyWatch::readEvents);
}

InotifyWatch::~InotifyWatch()
{
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (m_fd >= 0)
        ::close(m_fd);
}

void InotifyWatch::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    bool relevant = false;
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0) {
            if (length < 0 && errno == EINTR)
                continue;
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            if (event->mask & reportedEvents)
                relevant = true;
            offset += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    if (relevant)
        Q_EMIT changed();
}
