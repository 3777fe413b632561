#include "IconThemeIndex.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QSet>
#include <QStandardPaths>

#include <functional>

namespace {

const QString hicolor = QStringLiteral("hicolor");

// index.theme is a desktop-entry style file: [Section] headers, Key=Value
// lines, lists separated by commas.
using ThemeSections = QHash<QString, QHash<QString, QString>>;

ThemeSections readThemeFile(const QString &path)
{
    ThemeSections sections;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return sections;
    QString section;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            sections[section].insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return sections;
}

QStringList listValue(const QString &value)
{
    QStringList items = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString &item : items)
        item = item.trimmed();
    items.removeAll(QString());
    return items;
}

const QStringList &imageExtensions()
{
    static const QStringList extensions = [] {
        QStringList list {QStringLiteral("png"), QStringLiteral("xpm")};
        if (QImageReader::supportedImageFormats().contains("svg"))
            list << QStringLiteral("svg");
        return list;
    }();
    return extensions;
}

// Adds every icon file of `folder` under its name (the file name without the
// extension).
void indexFolder(const QString &folder, const IconThemeIndex::File &kind,
                 QHash<QString, QList<IconThemeIndex::File>> &files)
{
    const QDir dir(folder);
    if (!dir.exists())
        return;
    for (const QString &fileName : dir.entryList(QDir::Files | QDir::NoDotAndDotDot)) {
        const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
        if (dot <= 0)
            continue;
        const QString extension = fileName.mid(dot + 1).toLower();
        if (!imageExtensions().contains(extension))
            continue;
        IconThemeIndex::File file = kind;
        file.path = folder + QLatin1Char('/') + fileName;
        if (extension == QLatin1String("svg"))
            file.isScalable = true;
        files[fileName.left(dot)].append(file);
    }
}

} // namespace

struct IconThemeIndex::Theme
{
    QString name;
    QStringList inherits;
    QHash<QString, QList<File>> files;
};

IconThemeIndex::IconThemeIndex(const QString &themeName, const QStringList &baseFolders)
    : m_themeName(themeName.isEmpty() ? hicolor : themeName)
    , m_baseFolders(baseFolders)
{
}

IconThemeIndex::~IconThemeIndex() = default;

QStringList IconThemeIndex::standardBaseFolders()
{
    QStringList folders;
    folders << QDir::homePath() + QStringLiteral("/.icons");
    for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders << data + QStringLiteral("/icons");
    folders << QStringLiteral("/usr/share/pixmaps");
    folders.removeDuplicates();
    return folders;
}

bool IconThemeIndex::isInstalled(const QString &themeName, const QStringList &baseFolders)
{
    for (const QString &base : baseFolders) {
        if (QFile::exists(base + QLatin1Char('/') + themeName + QStringLiteral("/index.theme")))
            return true;
    }
    return false;
}

// Called with m_lock held.
const IconThemeIndex::Theme *IconThemeIndex::theme(const QString &name)
{
    if (const auto it = m_themes.constFind(name); it != m_themes.constEnd())
        return it->get();
    auto theme = std::make_shared<Theme>();
    theme->name = name;
    ThemeSections sections;
    for (const QString &base : m_baseFolders) {
        const QString indexPath = base + QLatin1Char('/') + name + QStringLiteral("/index.theme");
        if (QFile::exists(indexPath)) {
            sections = readThemeFile(indexPath);
            break;
        }
    }
    const QHash<QString, QString> header = sections.value(QStringLiteral("Icon Theme"));
    theme->inherits = listValue(header.value(QStringLiteral("Inherits")));
    QStringList directories = listValue(header.value(QStringLiteral("Directories")));
    directories += listValue(header.value(QStringLiteral("ScaledDirectories")));
    directories.removeDuplicates();
    // A theme's folders may be spread over several base folders (a user's
    // additions in ~/.local/share/icons next to the system's).
    for (const QString &directory : directories) {
        const QHash<QString, QString> keys = sections.value(directory);
        File kind;
        kind.size = keys.value(QStringLiteral("Size")).toInt();
        kind.scale = qMax(1, keys.value(QStringLiteral("Scale"), QStringLiteral("1")).toInt());
        kind.isScalable = keys.value(QStringLiteral("Type")) == QLatin1String("Scalable");
        if (kind.size <= 0)
            continue;
        for (const QString &base : m_baseFolders)
            indexFolder(base + QLatin1Char('/') + name + QLatin1Char('/') + directory, kind, theme->files);
    }
    const Theme *result = theme.get();
    m_themes.insert(name, std::move(theme));
    return result;
}

// Called with m_lock held. The theme first, then what it inherits depth-first,
// "hicolor" always last.
QList<const IconThemeIndex::Theme *> IconThemeIndex::chain()
{
    if (m_hasChain)
        return m_chain;
    QSet<QString> seen;
    std::function<void(const QString &)> add = [&](const QString &name) {
        if (name == hicolor || seen.contains(name))
            return;
        seen.insert(name);
        const Theme *current = theme(name);
        m_chain.append(current);
        for (const QString &parent : current->inherits)
            add(parent);
    };
    add(m_themeName);
    m_chain.append(theme(hicolor));
    m_hasChain = true;
    return m_chain;
}

IconThemeIndex::Icon IconThemeIndex::find(const QStringList &names)
{
    QMutexLocker locker(&m_lock);
    const QList<const Theme *> themes = chain();
    if (!m_hasUnthemed) {
        for (const QString &base : m_baseFolders)
            indexFolder(base, File {QString(), 0, 1, false}, m_unthemed);
        m_hasUnthemed = true;
    }
    for (const QString &name : names) {
        if (name.isEmpty())
            continue;
        for (const Theme *current : themes) {
            const auto it = current->files.constFind(name);
            if (it != current->files.constEnd())
                return Icon {name, *it};
        }
        const auto it = m_unthemed.constFind(name);
        if (it != m_unthemed.constEnd())
            return Icon {name, *it};
    }
    return {};
}
