#include "ContentTypes.h"

#include <QHash>
#include <QMimeDatabase>
#include <QMutex>
#include <QReadWriteLock>

namespace ContentTypes {

namespace {

QString capitalized(QString text)
{
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text;
}

ContentType fromMimeType(const QMimeType &type)
{
    ContentType result;
    result.name = type.name();
    result.description = capitalized(type.comment());
    result.iconName = type.iconName();
    result.genericIconName = type.genericIconName();
    return result;
}

// Names match by their extension. Two-part extensions such as "tar.gz" matter
// to the database, so a short second-to-last part is kept with the last one;
// "data.backup 5.txt" still keys by "txt". Names without a dot match by the
// whole name ("Makefile", "README").
QString cacheKey(const QString &fileName)
{
    const qsizetype lastDot = fileName.lastIndexOf(QLatin1Char('.'));
    if (lastDot <= 0)
        return QLatin1Char('/') + fileName;
    const qsizetype previousDot = fileName.lastIndexOf(QLatin1Char('.'), lastDot - 1);
    if (previousDot > 0 && lastDot - previousDot <= 4) {
        const QStringView middle = QStringView(fileName).mid(previousDot + 1, lastDot - previousDot - 1);
        if (!middle.contains(QLatin1Char(' ')))
            return fileName.mid(previousDot);
    }
    return fileName.mid(lastDot);
}

class Cache
{
public:
    ContentType lookup(const QString &fileName)
    {
        const QString key = cacheKey(fileName);
        {
            QReadLocker locker(&m_lock);
            const auto it = m_types.constFind(key);
            if (it != m_types.constEnd())
                return *it;
        }
        // The key stands for every name ending the same way, so match it as a
        // name of its own ("x.tar.gz"), not the full name.
        const QString probe = key.startsWith(QLatin1Char('/')) ? key.mid(1) : QStringLiteral("x") + key;
        const ContentType type = fromMimeType(m_database.mimeTypeForFile(probe, QMimeDatabase::MatchExtension));
        QWriteLocker locker(&m_lock);
        m_types.insert(key, type);
        return type;
    }

    ContentType directory()
    {
        static const ContentType type = fromMimeType(m_database.mimeTypeForName(QStringLiteral("inode/directory")));
        return type;
    }

private:
    QMimeDatabase m_database;
    QReadWriteLock m_lock;
    QHash<QString, ContentType> m_types;
};

Cache &cache()
{
    static Cache instance;
    return instance;
}

} // namespace

ContentType forFileName(const QString &fileName)
{
    return cache().lookup(fileName);
}

ContentType forDirectory()
{
    return cache().directory();
}

} // namespace ContentTypes
