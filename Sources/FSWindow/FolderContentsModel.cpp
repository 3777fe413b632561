#include "FolderContentsModel.h"

#include "FSUIKit/IconCache.h"

FolderContentsModel::FolderContentsModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

void FolderContentsModel::setItems(const FileItemList &items)
{
    beginResetModel();
    m_items = items;
    endResetModel();
}

FileItem FolderContentsModel::itemAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    return m_items.at(index.row());
}

int FolderContentsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant FolderContentsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const FileItem &item = m_items.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return item.name();
    case Qt::DecorationRole:
        return IconCache::icon(item);
    case UrlRole:
        return item.url();
    default:
        return {};
    }
}
