#include "FolderContentsModel.h"

#include <QApplication>
#include <QStyle>

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
    case Qt::DecorationRole: {
        static const QIcon folderIcon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
        static const QIcon fileIcon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
        return item.isBrowsable() ? folderIcon : fileIcon;
    }
    case UrlRole:
        return item.url();
    default:
        return {};
    }
}
