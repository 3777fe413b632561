#pragma once

#include "FSUIKit/TextSize.h"

#include <QFont>
#include <QStyledItemDelegate>
#include <QUrl>

#include <functional>

// Draws one item of a column: its icon, its name and, for a folder, the arrow
// that says it opens in the next column; edits the name in place. The icon
// size and font are shared by every cell and follow the text size.
class FileBrowserCell : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // The edited item's URL as it was when editing started, and the new name.
    using RenameHandler = std::function<void(const QUrl &url, const QString &newName)>;

    explicit FileBrowserCell(QObject *parent = nullptr);

    static void applyTextSize(TextSize size);
    static int iconSize();
    static int rowHeight();
    static QFont font();

    void setRenameHandler(RenameHandler handler) { m_onRename = std::move(handler); }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    RenameHandler m_onRename;
};
