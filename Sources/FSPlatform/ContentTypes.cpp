#include "ContentTypes.h"

#include <QFile>
#include <QHash>
#include <QMimeDatabase>
#include <QReadWriteLock>
#include <QSet>
#include <QStandardPaths>
#include <QStringList>

#include <memory>
#include <unordered_map>

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

bool hasWildcard(QStringView text)
{
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?')) || text.contains(QLatin1Char('['));
}

// What the database's name patterns say, sorted so that a name can be matched
// with a few set lookups. Nearly every pattern is "*.extension"; the few others
// ("Makefile", "README*", "*~") the database matches with a regular expression
// each, far too slow to ask for every name of a large folder, so only names
// those patterns could match are looked up whole.
class NamePatterns
{
public:
    // Read from the shared-mime-info "globs2" files ("weight:type:pattern"):
    // asking the database for every type's patterns costs a tenth of a second.
    NamePatterns()
    {
        for (const QString &folder : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
            QFile file(folder + QStringLiteral("/mime/globs2"));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            while (!file.atEnd()) {
                const QByteArray line = file.readLine().trimmed();
                if (line.isEmpty() || line.startsWith('#'))
                    continue;
                const QList<QByteArray> fields = line.split(':');
                if (fields.size() >= 3)
                    add(QString::fromUtf8(fields.at(2)).toLower());
            }
        }
    }

    // False for most names, without making the name's lower-case form: only a
    // name starting or ending as some whole-name pattern does may match one.
    bool mayNeedWholeName(const QString &fileName) const
    {
        if (fileName.isEmpty())
            return false;
        return m_firstLetters.contains(fileName.front().toLower().unicode())
            || m_lastLetters.contains(fileName.back().toLower().unicode());
    }

    bool needsWholeName(const QString &lowerName) const
    {
        if (m_literals.contains(lowerName))
            return true;
        for (const QString &prefix : m_prefixes) {
            if (lowerName.startsWith(prefix))
                return true;
        }
        for (const QString &suffix : m_suffixes) {
            if (lowerName.endsWith(suffix))
                return true;
        }
        return false;
    }

    // The part of the name that decides its type: the longest known extension
    // ("tar.gz" before "gz"), from its dot on, in the name's own letter case;
    // empty when the name ends in none ("Report 9", "data.backup 5"). Returned
    // as a view into `fileName`, which must outlive it.
    QString extensionKey(const QString &fileName) const
    {
        qsizetype dots[3];
        int dotCount = 0;
        for (qsizetype dot = fileName.size(); dotCount < 3;) {
            dot = dot > 0 ? fileName.lastIndexOf(QLatin1Char('.'), dot - 1) : -1;
            if (dot <= 0)
                break;
            dots[dotCount++] = dot;
        }
        if (dotCount == 0)
            return {};
        // One lower-case copy of the part that holds every candidate.
        const qsizetype first = dots[dotCount - 1];
        const QString lowerTail = fileName.mid(first).toLower();
        qsizetype found = -1;
        for (int i = 0; i < dotCount; ++i) {
            const qsizetype offset = dots[i] - first + 1;
            if (m_extensions.contains(QString::fromRawData(lowerTail.constData() + offset, lowerTail.size() - offset)))
                found = dots[i];
        }
        if (found < 0)
            return {};
        return QString::fromRawData(fileName.constData() + found, fileName.size() - found);
    }

private:
    void add(const QString &pattern)
    {
        if (pattern.isEmpty())
            return;
        if (pattern.startsWith(QLatin1String("*.")) && !hasWildcard(QStringView(pattern).mid(2))) {
            m_extensions.insert(pattern.mid(2));
        } else if (!hasWildcard(pattern)) {
            m_literals.insert(pattern);
            m_firstLetters.insert(pattern.front().unicode());
        } else if (pattern.endsWith(QLatin1Char('*')) && !hasWildcard(QStringView(pattern).chopped(1))) {
            m_prefixes.append(pattern.chopped(1));
            m_firstLetters.insert(pattern.front().unicode());
        } else if (pattern.startsWith(QLatin1Char('*')) && !hasWildcard(QStringView(pattern).mid(1))) {
            m_suffixes.append(pattern.mid(1));
            m_lastLetters.insert(pattern.back().unicode());
        }
        // Others ("*.so.[0-9]*") are rare enough to go by the extension.
    }

    QSet<QString> m_extensions;
    QSet<char16_t> m_firstLetters; // of the patterns matched against whole names, lower case
    QSet<char16_t> m_lastLetters;
    QSet<QString> m_literals;
    QStringList m_prefixes;
    QStringList m_suffixes;
};

class Cache
{
public:
    Cache() = default;

    const ContentType &lookup(const QString &fileName)
    {
        const bool byWholeName = m_patterns.mayNeedWholeName(fileName) && m_patterns.needsWholeName(fileName.toLower());
        // Whole names are keyed apart from extensions by a leading slash, which
        // no name contains. An extension's key is a view into the name until stored.
        const QString probedKey = byWholeName ? QLatin1Char('/') + fileName : m_patterns.extensionKey(fileName);
        // Each thread keeps what it has seen: a large listing asks from two
        // threads at once, and a shared lock would make them take turns.
        thread_local QHash<QString, const ContentType *> seen;
        if (const ContentType *type = seen.value(probedKey))
            return *type;
        const QString key(probedKey.constData(), probedKey.size()); // a copy of its own, to keep
        {
            QReadLocker locker(&m_lock);
            const auto it = m_types.find(key);
            if (it != m_types.end()) {
                seen.insert(key, it->second.get());
                return *it->second;
            }
        }
        // An extension stands for every name ending the same way, so match it
        // as a name of its own ("x.tar.gz").
        const QString probe = byWholeName ? fileName : QStringLiteral("x") + key;
        auto type = std::make_unique<const ContentType>(
            fromMimeType(m_database.mimeTypeForFile(probe, QMimeDatabase::MatchExtension)));
        QWriteLocker locker(&m_lock);
        auto &stored = m_types[key];
        if (!stored)
            stored = std::move(type);
        seen.insert(key, stored.get());
        return *stored;
    }

    const ContentType &directory()
    {
        static const ContentType type = fromMimeType(m_database.mimeTypeForName(QStringLiteral("inode/directory")));
        return type;
    }

private:
    QMimeDatabase m_database;
    const NamePatterns m_patterns;
    QReadWriteLock m_lock;
    // Never removed: references handed out stay valid.
    std::unordered_map<QString, std::unique_ptr<const ContentType>> m_types;
};

Cache &cache()
{
    static Cache instance;
    return instance;
}

} // namespace

const ContentType &forFileName(const QString &fileName)
{
    return cache().lookup(fileName);
}

const ContentType &forDirectory()
{
    return cache().directory();
}

} // namespace ContentTypes
