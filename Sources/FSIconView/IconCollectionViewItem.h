#pragma once

#include "FSCore/FileItem.h"
#include "FSCore/LabelColor.h"
#include "FSUIKit/TextSize.h"

#include <QHash>
#include <QImage>
#include <QStyledItemDelegate>

#include <functional>

// Draws the cells of the icon grid: the file's icon (or its thumbnail, once
// one is made), the name in up to two centred lines under it, the label
// colour's dot at the icon's lower right corner and a rounded backdrop behind
// a selected cell. One object draws every cell; nothing is made per item.
// It also carries the in-place rename: the editor remembers the item it was
// opened for, so the name goes to that item even if rows moved meanwhile.
class IconCollectionViewItem : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit IconCollectionViewItem(QObject *parent = nullptr);

    // Called when a name edit ends, with the item the edit began on and the text.
    std::function<void(const FileItem &item, const QString &name)> onCommitRename;
    // The thumbnail shown instead of the icon, null when there is none (yet).
    std::function<QImage(const FileItem &item)> thumbnailFor;
    // The folder a drag would drop into is drawn framed.
    std::function<bool(const QModelIndex &index)> isDropTarget;

    void setTextSize(TextSize size);
    TextSize textSize() const { return m_textSize; }

    // The grid's metrics. Each cell is the item plus the spacing between items
    // (8 across, 12 down); the item sits 4 from the cell's left and 12 from its
    // top, so the first row keeps its 12-pixel inset and rows keep 12 apart.
    static QSize itemSize(TextSize size);
    static QSize cellSize(TextSize size);
    static int iconSize(TextSize size);
    QRect itemRect(const QRect &cell) const;
    QRect iconRect(const QRect &cell) const;
    QRect nameRect(const QRect &cell) const;

    // The name as drawn: at most two lines, the second shortened in the middle.
    static QStringList nameLines(const QString &name, const QFont &font, int width);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

private:
    const QImage &swatch(LabelColor color, qreal devicePixelRatio) const;

    TextSize m_textSize = TextSize::medium;
    QFont m_font;
    mutable QHash<int, QImage> m_swatches;
};
