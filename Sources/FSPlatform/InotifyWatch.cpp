#include "InotifyWatch.h"

#include "MountTable.h"
#include "PathCodec.h"
#include "VisibleVolumes.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {
constexpr uint32_t watchedEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_CLOSE_WRITE
    | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Events about the watched folder itself rather than one of its entries.
constexpr uint32_t folderEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;
// Inotify sees only the changes made through this machine's kernel, and the
// path lookup that adding a watch starts with waits for the server: a share
// that stopped answering would hang the main thread. Shares are not watched.
bool isOnNetworkFileSystem(const QByteArray &path)
{
    const std::optional<MountEntry> mount = MountTable::entryHolding(MountTable::read(), PathCodec::decode(path));
    return mount
        && (VisibleVolumes::isNetworkFileSystemType(mount->fileSystemType)
            || mount->fileSystemType == QLatin1String("fuse.gvfsd-fuse"));
}

} // namespace

// The one inotify descriptor of the process and the watches sharing it.
class InotifyInstance : public QObject
{
public:
    static InotifyInstance &instance()
    {
        // Never destroyed: a notifier must not outlive the event dispatcher
        // that a static destructor would run after.
        static auto *shared = new InotifyInstance;
        return *shared;
    }

    int fd() const { return m_fd; }

    int add(InotifyWatch *watch, const QByteArray &path)
    {
        if (!open())
            return -1;
        const int wd = ::inotify_add_watch(m_fd, path.constData(), watchedEvents);
        if (wd < 0) {
            closeIfUnused();
            return -1;
        }
        // The kernel hands out the same watch for the same folder, however
        // it is named: every watch of it shares that one.
        m_watches[wd].append(watch);
        return wd;
    }

    void remove(InotifyWatch *watch)
    {
        const int wd = watch->m_watchDescriptor;
        const auto it = m_watches.find(wd);
        if (it == m_watches.end())
            return;
        it->removeOne(watch);
        if (it->isEmpty()) {
            m_watches.erase(it);
            ::inotify_rm_watch(m_fd, wd);
        }
        closeIfUnused();
    }

private:
    bool open()
    {
        if (m_fd >= 0)
            return true;
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd < 0)
            return false;
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        QObject::connect(m_notifier, &QSocketNotifier::activated, this, [this] { readEvents(); });
        return true;
    }

    void closeIfUnused()
    {
        if (!m_watches.isEmpty() || m_fd < 0)
            return;
        // Possibly from inside the notifier's own signal: it goes later.
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
        ::close(m_fd);
        m_fd = -1;
    }

    struct Batch
    {
        QSet<QString> names;
        bool everything = false;
    };

    void readEvents()
    {
        QHash<int, Batch> batches;
        QList<int> droppedWatches;
        bool overflowed = false;
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
            if (length <= 0) {
                if (length < 0 && errno == EINTR)
                    continue;
                break;
            }
            for (ssize_t offset = 0; offset < length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
                offset += ssize_t(sizeof(inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW) {
                    overflowed = true;
                    continue;
                }
                if (!m_watches.contains(event->wd))
                    continue;
                Batch &batch = batches[event->wd];
                if (event->mask & IN_IGNORED) {
                    droppedWatches.append(event->wd);
                    batch.everything = true;
                } else if (event->len == 0 || (event->mask & folderEvents)) {
                    batch.everything = true;
                } else {
                    batch.names.insert(PathCodec::decode(event->name, qsizetype(std::strlen(event->name))));
                }
            }
        }

        std::vector<std::pair<QPointer<InotifyWatch>, QStringList>> deliveries;
        for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
            const auto batch = batches.constFind(it.key());
            if (!overflowed && batch == batches.cend())
                continue;
            const QStringList names =
                overflowed || batch->everything ? QStringList() : QStringList(batch->names.cbegin(), batch->names.cend());
            for (InotifyWatch *watch : *it)
                deliveries.emplace_back(watch, names);
        }
        // The kernel has dropped these itself (the folder is gone).
        for (int wd : std::as_const(droppedWatches)) {
            for (InotifyWatch *watch : m_watches.take(wd))
                watch->m_watchDescriptor = -1;
        }
        closeIfUnused();
        // A receiver may stop or start watches, this one included.
        for (const auto &[watch, names] : deliveries) {
            if (watch)
                Q_EMIT watch->changed(names);
        }
    }

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QHash<int, QList<InotifyWatch *>> m_watches;
};

InotifyWatch::InotifyWatch(const QByteArray &path, QObject *parent)
    : QObject(parent)
{
    if (!path.isEmpty() && !isOnNetworkFileSystem(path))
        m_watchDescriptor = InotifyInstance::instance().add(this, path);
}

InotifyWatch::InotifyWatch(const QByteArray &path, Location, QObject *parent)
    : QObject(parent)
{
    if (!path.isEmpty())
        m_watchDescriptor = InotifyInstance::instance().add(this, path);
}

InotifyWatch::~InotifyWatch()
{
    if (m_watchDescriptor >= 0)
        InotifyInstance::instance().remove(this);
}

int InotifyWatch::fileDescriptor() const
{
    return isWatching() ? InotifyInstance::instance().fd() : -1;
}
