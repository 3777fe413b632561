#pragma once

#include "FSCore/FileItem.h"

#include <QAbstractListModel>

// The items of one folder as a flat list model: the name, and a folder or
// document icon.
class FolderContentsModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { UrlRole = Qt::UserRole + 1 };

    explicit FolderContentsModel(QObject *parent = nullptr);

    void setItems(const FileItemList &items);
    const FileItemList &items() const { return m_items; }
    FileItem itemAt(const QModelIndex &index) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    FileItemList m_items;
};
