#include "SidebarModel.h"

#include "SidebarItemCell.h"

#include "FSCore/VolumeInfo.h"
#include "FSPlatform/GvfsMounts.h"
#include "FSPlatform/MountTable.h"
#include "FSPlatform/VolumeEjector.h"
#include "FSUIKit/IconCache.h"

#include <QDir>
#include <QStandardPaths>

namespace {

// Items have their section's row + 1 as internal id; sections have 0.
constexpr quintptr sectionId = 0;

bool isPathOf(const QUrl &url, QStandardPaths::StandardLocation location)
{
    const QString path = QStandardPaths::writableLocation(location);
    return !path.isEmpty() && url.toLocalFile() == QDir::cleanPath(path);
}

QStringList iconNames(SidebarSection::Kind kind, const QUrl &url)
{
    const QString path = url.toLocalFile();
    switch (kind) {
    case SidebarSection::Kind::devices:
        if (path == QLatin1String("/"))
            return {QStringLiteral("drive-harddisk-system"), QStringLiteral("drive-harddisk")};
        if (MountTable::isAtOrBelow(path, GvfsMounts::fuseFolder()))
            return {QStringLiteral("phone"), QStringLiteral("camera-photo"), QStringLiteral("drive-removable-media")};
        if (VolumeEjector::canEject(url, false))
            return {QStringLiteral("drive-removable-media"), QStringLiteral("media-removable"),
                    QStringLiteral("drive-harddisk")};
        return {QStringLiteral("drive-harddisk")};
    case SidebarSection::Kind::places:
        if (path == QDir::cleanPath(QDir::homePath()))
            return {QStringLiteral("user-home"), QStringLiteral("folder-home")};
        if (isPathOf(url, QStandardPaths::DesktopLocation))
            return {QStringLiteral("user-desktop")};
        if (isPathOf(url, QStandardPaths::DocumentsLocation))
            return {QStringLiteral("folder-documents")};
        return {};
    case SidebarSection::Kind::shared:
        return {QStringLiteral("folder-remote"), QStringLiteral("network-server")};
    }
    return {};
}

} // namespace

SidebarModel::SidebarModel(QObject *parent) : QAbstractItemModel(parent) {}

SidebarModel::Row SidebarModel::makeRow(SidebarSection::Kind kind, const FileItem &item) const
{
    Row row;
    row.item = item;
    std::optional<QString> host;
    // The host is read from the mount table or the gvfs folder's name, never
    // from the share.
    if (kind == SidebarSection::Kind::shared)
        host = VolumeInfo::remoteHost(item.url());
    row.text = SidebarItemCell::shownText(item.name(), host);
    row.icon = IconCache::folderIcon(iconNames(kind, item.url()));
    row.isEjectable = kind != SidebarSection::Kind::places
                      && VolumeEjector::canEject(item.url(), kind == SidebarSection::Kind::shared);
    return row;
}

void SidebarModel::setSections(const QList<SidebarSection> &sections)
{
    if (m_sections.size() != sections.size()) {
        // The number of sections is fixed; this is the first build.
        beginResetModel();
        m_sections = sections;
        m_rows.clear();
        for (const SidebarSection &section : sections) {
            QList<Row> rows;
            for (const FileItem &item : section.items)
                rows.append(makeRow(section.kind, item));
            m_rows.append(rows);
        }
        endResetModel();
        return;
    }
    for (int sectionRow = 0; sectionRow < sections.size(); ++sectionRow)
        updateSection(sectionRow, sections.at(sectionRow));
}

void SidebarModel::updateSection(int sectionRow, const SidebarSection &section)
{
    const QModelIndex parent = index(sectionRow, 0);
    QList<Row> &rows = m_rows[sectionRow];
    m_sections[sectionRow].kind = section.kind;
    m_sections[sectionRow].title = section.title;
    auto position = [](const QList<Row> &list, const QUrl &url, qsizetype from) -> qsizetype {
        for (qsizetype i = from; i < list.size(); ++i) {
            if (list.at(i).item.url() == url)
                return i;
        }
        return -1;
    };
    const FileItemList &wanted = section.items;
    // Rows that went away, from the end so the positions stay right.
    for (qsizetype i = rows.size() - 1; i >= 0; --i) {
        if (!wanted.contains(rows.at(i).item)) {
            beginRemoveRows(parent, int(i), int(i));
            rows.removeAt(i);
            m_sections[sectionRow].items.removeAt(i);
            endRemoveRows();
        }
    }
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        const Row row = makeRow(section.kind, wanted.at(i));
        if (i < rows.size() && rows.at(i).item.url() == row.item.url()) {
            rows[i] = row;
            m_sections[sectionRow].items[i] = row.item;
            const QModelIndex changed = index(int(i), 0, parent);
            Q_EMIT dataChanged(changed, changed);
            continue;
        }
        const qsizetype later = position(rows, row.item.url(), i + 1);
        if (later >= 0) {
            beginMoveRows(parent, int(later), int(later), parent, int(i));
            rows.move(later, i);
            m_sections[sectionRow].items.move(later, i);
            endMoveRows();
            rows[i] = row;
            m_sections[sectionRow].items[i] = row.item;
            const QModelIndex changed = index(int(i), 0, parent);
            Q_EMIT dataChanged(changed, changed);
            continue;
        }
        beginInsertRows(parent, int(i), int(i));
        rows.insert(i, row);
        m_sections[sectionRow].items.insert(i, row.item);
        endInsertRows();
    }
}

QModelIndex SidebarModel::sectionIndex(SidebarSection::Kind kind) const
{
    for (int row = 0; row < m_sections.size(); ++row) {
        if (m_sections.at(row).kind == kind)
            return index(row, 0);
    }
    return {};
}

QModelIndex SidebarModel::indexOf(const QUrl &url) const
{
    for (int sectionRow = 0; sectionRow < m_rows.size(); ++sectionRow) {
        const QList<Row> &rows = m_rows.at(sectionRow);
        for (int row = 0; row < rows.size(); ++row) {
            if (rows.at(row).item.url() == url)
                return createIndex(row, 0, quintptr(sectionRow) + 1);
        }
    }
    return {};
}

std::optional<FileItem> SidebarModel::itemAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.internalId() == sectionId || index.model() != this)
        return std::nullopt;
    return m_rows.at(int(index.internalId() - 1)).at(index.row()).item;
}

QModelIndex SidebarModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < m_sections.size() ? createIndex(row, 0, sectionId) : QModelIndex();
    if (parent.internalId() != sectionId || parent.row() >= m_rows.size())
        return {};
    if (row >= m_rows.at(parent.row()).size())
        return {};
    return createIndex(row, 0, quintptr(parent.row()) + 1);
}

QModelIndex SidebarModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == sectionId)
        return {};
    return createIndex(int(child.internalId() - 1), 0, sectionId);
}

int SidebarModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_sections.size());
    if (parent.column() != 0 || parent.internalId() != sectionId)
        return 0;
    return int(m_rows.at(parent.row()).size());
}

int SidebarModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant SidebarModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (index.internalId() == sectionId) {
        const SidebarSection &section = m_sections.at(index.row());
        switch (role) {
        case Qt::DisplayRole:
            return section.title;
        case SectionKindRole:
            return int(section.kind);
        case IsSectionRole:
            return true;
        case IsEjectableRole:
            return false;
        default:
            return {};
        }
    }
    const int sectionRow = int(index.internalId() - 1);
    const Row &row = m_rows.at(sectionRow).at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return row.text;
    case Qt::DecorationRole:
        return row.icon;
    case FileItemRole:
        return QVariant::fromValue(row.item);
    case UrlRole:
        return row.item.url();
    case SectionKindRole:
        return int(m_sections.at(sectionRow).kind);
    case IsSectionRole:
        return false;
    case IsEjectableRole:
        return row.isEjectable;
    default:
        return {};
    }
}

Qt::ItemFlags SidebarModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.internalId() == sectionId)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
