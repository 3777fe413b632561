#include "IconCache.h"
#include "IconCacheTesting.h"

#include "IconThemeIndex.h"
#include "ThemeIconEngine.h"

#include "FSCore/MainThread.h"
#include "FSCore/WorkQueues.h"
#include "FSPlatform/ContentTypes.h"
#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QWaitCondition>

#include <atomic>
#include <optional>

namespace IconCache {

namespace {

const QString hicolor = QStringLiteral("hicolor");
const QString adwaita = QStringLiteral("Adwaita");

// A blank page first: it stands for "some data" without claiming text.
const QStringList genericNames {QStringLiteral("application-x-generic"), QStringLiteral("text-x-generic"),
                                QStringLiteral("application-octet-stream")};

// Paths are stored in batches of this many, so that a prefetch of a large
// folder never holds the lock long enough for the main thread to notice.
constexpr qsizetype batchSize = 256;

QMutex &themeNameLock()
{
    static QMutex lock;
    return lock;
}

QString &preparedThemeName()
{
    static QString name;
    return name;
}

bool isMainThread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

// Qt's icon loader may only be asked on the main thread, yet the first icon may
// be wanted on a worker; so the theme name is read when the application starts.
// Without a desktop session (offscreen, a bare X server) no theme is set or Qt
// falls back to "hicolor", which has almost no file icons: Adwaita stands in.
void prepareTheme()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()) || !isMainThread())
        return;
    const QStringList baseFolders = IconThemeIndex::standardBaseFolders();
    QString name = QIcon::themeName();
    if ((name.isEmpty() || name == hicolor) && IconThemeIndex::isInstalled(adwaita, baseFolders)) {
        QIcon::setThemeName(adwaita);
        name = adwaita;
    }
    // The offscreen platform searches only Qt's resources; the same folders as
    // ours keep QIcon::fromTheme elsewhere in the program in step with us.
    QStringList searchPaths = QIcon::themeSearchPaths();
    for (const QString &folder : baseFolders) {
        if (folder.endsWith(QLatin1String("/icons")) && !searchPaths.contains(folder))
            searchPaths.append(folder);
    }
    QIcon::setThemeSearchPaths(searchPaths);
    QMutexLocker locker(&themeNameLock());
    preparedThemeName() = name;
}

Q_COREAPP_STARTUP_FUNCTION(prepareTheme)

QString themeName()
{
    {
        QMutexLocker locker(&themeNameLock());
        if (!preparedThemeName().isEmpty())
            return preparedThemeName();
    }
    if (isMainThread())
        prepareTheme();
    QMutexLocker locker(&themeNameLock());
    if (!preparedThemeName().isEmpty())
        return preparedThemeName();
    // No GUI application: nothing to ask, so the same choice as above.
    return IconThemeIndex::isInstalled(adwaita, IconThemeIndex::standardBaseFolders()) ? adwaita : hicolor;
}

QString lastPathComponent(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

class Cache
{
public:
    Cache()
        : m_theme(themeName(), IconThemeIndex::standardBaseFolders())
    {
        m_generic = iconNamed(genericNames, ThemeIconEngine::Fallback::document);
    }

    std::optional<QIcon> cached(const QString &path)
    {
        QMutexLocker locker(&m_lock);
        const auto it = m_byPath.constFind(path);
        if (it == m_byPath.constEnd())
            return std::nullopt;
        return *it;
    }

    void store(const QString &path, const QIcon &icon)
    {
        QMutexLocker locker(&m_lock);
        m_byPath.insert(path, icon);
    }

    void store(const QList<std::pair<QString, QIcon>> &batch)
    {
        QMutexLocker locker(&m_lock);
        for (const auto &[path, icon] : batch)
            m_byPath.insert(path, icon);
    }

    // The positions in `paths` of those that have no icon yet.
    QList<qsizetype> missing(const QStringList &paths)
    {
        QList<qsizetype> result;
        QMutexLocker locker(&m_lock);
        for (qsizetype i = 0; i < paths.size(); ++i) {
            if (!paths.at(i).isEmpty() && !m_byPath.contains(paths.at(i)))
                result.append(i);
        }
        return result;
    }

    // One stat tells a folder from a file; the rest goes by the name, as the
    // listing does. A vanished entry is a file by its name.
    QIcon fetch(const QString &path)
    {
        m_pathFetches.fetch_add(1, std::memory_order_relaxed);
        return resolve(path);
    }

    // fetch() without counting, for callers that count what they store.
    QIcon resolve(const QString &path)
    {
        const EntryStatus status = EntryStatus::read(PathCodec::encode(path));
        if (status.isDirectory)
            return iconForType(ContentTypes::forDirectory());
        return iconForType(ContentTypes::forFileName(lastPathComponent(path)));
    }

    // The content type a listed item was read with; null for an item made from
    // a bare URL, whose type needs a stat.
    static const ContentTypes::ContentType *snapshotType(const FileItem &item)
    {
        const FileAttributes *attributes = item.attributeSnapshot();
        if (!attributes)
            return nullptr;
        if (attributes->isDirectory)
            return &ContentTypes::forDirectory();
        if (attributes->contentType)
            return attributes->contentType;
        return &ContentTypes::forFileName(lastPathComponent(item.path()));
    }

    // Stores the icon of each listed path, counting those that had none as
    // fetched; one lock for the whole batch. A listing is the newest word on
    // its entries, so it replaces what was stored before (a file that became a
    // folder under the same name).
    void storeListed(const QStringList &paths, const QList<QIcon> &icons)
    {
        QMutexLocker locker(&m_lock);
        for (qsizetype i = 0; i < paths.size(); ++i) {
            if (paths.at(i).isEmpty() || icons.at(i).isNull())
                continue;
            QIcon &slot = m_byPath[paths.at(i)];
            if (slot.isNull())
                m_pathFetches.fetch_add(1, std::memory_order_relaxed);
            slot = icons.at(i);
        }
    }

    // The stored icon of `path`, or `icon` stored as its icon (counted as a
    // fetch) when it has none.
    QIcon storeIfMissing(const QString &path, const QIcon &icon)
    {
        QMutexLocker locker(&m_lock);
        const auto it = m_byPath.constFind(path);
        if (it != m_byPath.constEnd())
            return *it;
        m_pathFetches.fetch_add(1, std::memory_order_relaxed);
        return *m_byPath.insert(path, icon);
    }

    // True when the icon of `path` is neither stored nor being worked out in
    // the background: the caller starts that work.
    bool claimBackgroundFetch(const QString &path)
    {
        QMutexLocker locker(&m_lock);
        if (m_byPath.contains(path) || m_fetching.contains(path))
            return false;
        m_fetching.insert(path);
        return true;
    }

    void storeFetched(const QString &path, const QIcon &icon)
    {
        QMutexLocker locker(&m_lock);
        m_fetching.remove(path);
        m_byPath.insert(path, icon);
    }

    QIcon iconForType(const ContentTypes::ContentType &type)
    {
        {
            QMutexLocker locker(&m_lock);
            if (const auto it = m_byType.constFind(&type); it != m_byType.constEnd())
                return *it;
        }
        const bool isFolder = &type == &ContentTypes::forDirectory();
        QStringList names;
        if (isFolder)
            names << QStringLiteral("folder");
        names << type.iconName << type.genericIconName;
        if (!isFolder)
            names << genericNames;
        const QIcon icon = iconNamed(names, isFolder ? ThemeIconEngine::Fallback::folder
                                                     : ThemeIconEngine::Fallback::document);
        QMutexLocker locker(&m_lock);
        return *m_byType.insert(&type, icon);
    }

    const QIcon &generic() const { return m_generic; }

    QIcon folderNamed(QStringList names)
    {
        names << QStringLiteral("folder");
        return iconNamed(names, ThemeIconEngine::Fallback::folder);
    }

    int pathFetchCount() const { return m_pathFetches.load(); }
    int themeIconLoadCount() const { return m_themeIconLoads.load(); }

    void reset()
    {
        QMutexLocker locker(&m_lock);
        m_byPath.clear();
        m_fetching.clear();
        m_pathFetches = 0;
        m_themeIconLoads = 0;
    }

    void beginJob()
    {
        QMutexLocker locker(&m_jobLock);
        ++m_runningJobs;
    }

    void endJob()
    {
        QMutexLocker locker(&m_jobLock);
        if (--m_runningJobs == 0)
            m_jobsDone.wakeAll();
    }

    void waitForJobs()
    {
        QMutexLocker locker(&m_jobLock);
        while (m_runningJobs > 0)
            m_jobsDone.wait(&m_jobLock);
    }

private:
    // Many content types share one icon name ("text-x-generic"), and so one
    // icon object.
    QIcon iconNamed(const QStringList &names, ThemeIconEngine::Fallback fallback)
    {
        const IconThemeIndex::Icon found = m_theme.find(names);
        const QString key = found.name + QLatin1Char('|') + QString::number(int(fallback));
        {
            QMutexLocker locker(&m_lock);
            if (const auto it = m_byName.constFind(key); it != m_byName.constEnd())
                return *it;
        }
        const QIcon made(new ThemeIconEngine(found, fallback));
        QMutexLocker locker(&m_lock);
        if (const auto it = m_byName.constFind(key); it != m_byName.constEnd())
            return *it;
        m_themeIconLoads.fetch_add(1, std::memory_order_relaxed);
        return *m_byName.insert(key, made);
    }

    IconThemeIndex m_theme;
    QMutex m_lock;
    QHash<QString, QIcon> m_byPath;
    QSet<QString> m_fetching;
    QHash<const ContentTypes::ContentType *, QIcon> m_byType;
    QHash<QString, QIcon> m_byName;
    QIcon m_generic;
    std::atomic<int> m_pathFetches {0};
    std::atomic<int> m_themeIconLoads {0};

    QMutex m_jobLock;
    QWaitCondition m_jobsDone;
    int m_runningJobs = 0;
};

Cache &cache()
{
    static Cache instance;
    return instance;
}

// Runs `work` on the icon queue as one job of the cache.
void startJob(std::function<void()> work)
{
    Cache &state = cache();
    state.beginJob();
    WorkQueues::icons()->start([&state, work = std::move(work)] {
        work();
        state.endJob();
    });
}

// The main thread must not stat a path that may lie on a share that stopped
// answering: it answers from the attributes last read for the path, else by
// the name, and the right icon is worked out on the icon queue for the next ask.
QIcon guessAndFetchLater(const QString &path, const QUrl &url)
{
    Cache &state = cache();
    if (state.claimBackgroundFetch(path))
        startJob([&state, path] { state.storeFetched(path, state.fetch(path)); });
    return state.iconForType(*Cache::snapshotType(FileItem::lastKnown(url)));
}

} // namespace

QIcon icon(const QUrl &url)
{
    const QString path = url.toLocalFile();
    if (path.isEmpty())
        return genericIcon();
    Cache &state = cache();
    if (std::optional<QIcon> hit = state.cached(path))
        return *hit;
    if (isMainThread())
        return guessAndFetchLater(path, url);
    const QIcon fetched = state.fetch(path);
    state.store(path, fetched);
    return fetched;
}

QIcon folderIcon(const QStringList &names)
{
    return cache().folderNamed(names);
}

QIcon icon(const FileItem &item)
{
    Cache &state = cache();
    if (std::optional<QIcon> hit = state.cached(item.path()))
        return *hit;
    if (const ContentTypes::ContentType *type = Cache::snapshotType(item)) {
        const QIcon typeIcon = state.iconForType(*type);
        // An entry whose status is still to be read may learn a better type.
        if (!item.attributeSnapshot()->hasStatus)
            return typeIcon;
        return state.storeIfMissing(item.path(), typeIcon);
    }
    return icon(item.url());
}

void icon(const QUrl &url, QObject *context, Completion completion)
{
    if (!completion)
        return;
    const QString path = url.toLocalFile();
    Cache &state = cache();
    if (path.isEmpty()) {
        completion(state.generic());
        return;
    }
    if (std::optional<QIcon> hit = state.cached(path)) {
        completion(*hit);
        return;
    }
    completion(state.generic());
    startJob([&state, path, guard = ContextGuard(context), completion = std::move(completion)] {
        const QIcon fetched = state.fetch(path);
        state.store(path, fetched);
        MainThread::post([guard, fetched, completion] {
            if (guard.isAlive())
                completion(fetched);
        });
    });
}

void prefetch(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    startJob([urls] {
        Cache &state = cache();
        for (qsizetype start = 0; start < urls.size(); start += batchSize) {
            QStringList paths;
            for (qsizetype i = start; i < qMin(start + batchSize, urls.size()); ++i)
                paths.append(urls.at(i).toLocalFile());
            QList<std::pair<QString, QIcon>> batch;
            for (const qsizetype i : state.missing(paths))
                batch.append({paths.at(i), state.fetch(paths.at(i))});
            state.store(batch);
        }
    });
}

void prefetch(const FileItemList &items)
{
    if (items.isEmpty())
        return;
    startJob([items] {
        Cache &state = cache();
        // A listing holds a few dozen types: asking the shared cache once per
        // type, not once per item, keeps the lock for the stores alone.
        QHash<const ContentTypes::ContentType *, QIcon> typeIcons;
        for (qsizetype start = 0; start < items.size(); start += batchSize) {
            QStringList paths;
            QList<QIcon> icons;
            QList<qsizetype> bare;
            for (qsizetype i = start; i < qMin(start + batchSize, items.size()); ++i) {
                const FileItem &item = items.at(i);
                const ContentTypes::ContentType *type = Cache::snapshotType(item);
                // An entry listed names first may learn another type with its
                // status (readdir did not say it is a folder): its type's icon
                // is made ready, but not stored as the entry's yet.
                if (const FileAttributes *attributes = item.attributeSnapshot(); attributes && !attributes->hasStatus) {
                    if (type && !typeIcons.contains(type))
                        typeIcons.insert(type, state.iconForType(*type));
                    continue;
                }
                paths.append(item.path());
                if (!type) {
                    bare.append(paths.size() - 1);
                    icons.append(QIcon());
                    continue;
                }
                auto known = typeIcons.constFind(type);
                if (known == typeIcons.constEnd())
                    known = typeIcons.insert(type, state.iconForType(*type));
                icons.append(*known);
            }
            for (const qsizetype i : bare) {
                if (!paths.at(i).isEmpty() && !state.cached(paths.at(i)))
                    icons[i] = state.resolve(paths.at(i));
            }
            state.storeListed(paths, icons);
        }
    });
}

QIcon genericIcon()
{
    return cache().generic();
}

void indexThemeInBackground()
{
    themeName();
    WorkQueues::icons()->start([] { cache(); });
}

namespace testing {

int pathFetchCount()
{
    return cache().pathFetchCount();
}

int themeIconLoadCount()
{
    return cache().themeIconLoadCount();
}

void waitForBackgroundWork()
{
    cache().waitForJobs();
}

void reset()
{
    cache().reset();
}

} // namespace testing

} // namespace IconCache
