#pragma once

#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>

// Finds icon files in a freedesktop.org icon theme, following its Inherits
// chain down to "hicolor", then the unthemed pixmaps folder. Qt's own theme
// loader is not safe off the main thread, and icons are resolved on workers,
// so the lookup is our own. Each theme is indexed once, with one readdir per
// theme folder, so a name costs a few hash lookups. Safe for concurrent use.
class IconThemeIndex
{
public:
    struct File
    {
        QString path;
        int size = 0;    // nominal size in device-independent pixels
        int scale = 1;
        bool isScalable = false;
    };

    struct Icon
    {
        QString name; // the name that was found
        QList<File> files;
        bool isEmpty() const { return files.isEmpty(); }
    };

    // `baseFolders` are searched in order, as the icon-theme search path.
    IconThemeIndex(const QString &themeName, const QStringList &baseFolders);
    ~IconThemeIndex();
    IconThemeIndex(const IconThemeIndex &) = delete;
    IconThemeIndex &operator=(const IconThemeIndex &) = delete;

    // The first of `names` found anywhere in the theme chain; empty when none is.
    Icon find(const QStringList &names);

    const QString &themeName() const { return m_themeName; }

    // ~/.icons, $XDG_DATA_HOME/icons, each $XDG_DATA_DIRS/icons, /usr/share/pixmaps.
    static QStringList standardBaseFolders();
    // True when some base folder holds `themeName` with its index.theme.
    static bool isInstalled(const QString &themeName, const QStringList &baseFolders);

private:
    struct Theme;
    const Theme *theme(const QString &name);
    QList<const Theme *> chain();

    const QString m_themeName;
    const QStringList m_baseFolders;
    QMutex m_lock;
    QHash<QString, std::shared_ptr<const Theme>> m_themes;
    QList<const Theme *> m_chain;
    bool m_hasChain = false;
    QHash<QString, QList<File>> m_unthemed;
    bool m_hasUnthemed = false;
};
