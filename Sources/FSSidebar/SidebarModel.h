#pragma once

#include "SidebarSection.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QList>

// The sidebar's rows: the three sections at the top level, their items below.
// A rebuild changes only the rows that changed (a mounted volume is one
// inserted row), so the view keeps its selection, scroll position and drop
// target across mounts.
class SidebarModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Role {
        FileItemRole = Qt::UserRole + 1, // FileItem; items only
        UrlRole,                         // QUrl; items only
        SectionKindRole,                 // int of SidebarSection::Kind, both levels
        IsSectionRole,                   // bool
        IsEjectableRole,                 // bool
    };

    explicit SidebarModel(QObject *parent = nullptr);

    const QList<SidebarSection> &sections() const { return m_sections; }
    void setSections(const QList<SidebarSection> &sections);

    QModelIndex sectionIndex(SidebarSection::Kind kind) const;
    // The first item with that URL, in section order.
    QModelIndex indexOf(const QUrl &url) const;
    std::optional<FileItem> itemAt(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    // What a row shows, worked out once per rebuild rather than per paint.
    struct Row
    {
        FileItem item;
        QString text;
        QIcon icon;
        bool isEjectable = false;
    };

    Row makeRow(SidebarSection::Kind kind, const FileItem &item) const;
    void updateSection(int sectionRow, const SidebarSection &section);

    QList<SidebarSection> m_sections;
    QList<QList<Row>> m_rows; // per section
};
