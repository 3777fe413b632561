#include "IconCollectionViewItem.h"

#include "FSUIKit/DisplayNameText.h"
#include "FSUIKit/IconCache.h"
#include "FSUIKit/LabelSwatchImage.h"
#include "FSUIKit/SortedFolderModel.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QTextBoundaryFinder>
#include <QTextLayout>

namespace {

constexpr int labelDotDiameter = 9;
constexpr int cellSpacingAcross = 8;
constexpr int cellSpacingDown = 12;
constexpr int itemLeftInCell = cellSpacingAcross / 2;
constexpr int itemTopInCell = 12;

const char fileItemProperty[] = "tidewrightFileItem";

} // namespace

IconCollectionViewItem::IconCollectionViewItem(QObject *parent)
    : QStyledItemDelegate(parent)
{
    setTextSize(m_textSize);
}

void IconCollectionViewItem::setTextSize(TextSize size)
{
    m_textSize = size;
    m_font = TextSizes::font(size);
}

QSize IconCollectionViewItem::itemSize(TextSize size)
{
    return TextSizes::gridItemSize(size).toSize();
}

QSize IconCollectionViewItem::cellSize(TextSize size)
{
    return itemSize(size) + QSize(cellSpacingAcross, cellSpacingDown);
}

int IconCollectionViewItem::iconSize(TextSize size)
{
    return qRound(TextSizes::gridIconSize(size));
}

QRect IconCollectionViewItem::itemRect(const QRect &cell) const
{
    return QRect(cell.topLeft() + QPoint(itemLeftInCell, itemTopInCell), itemSize(m_textSize));
}

QRect IconCollectionViewItem::iconRect(const QRect &cell) const
{
    const QRect item = itemRect(cell);
    const int edge = iconSize(m_textSize);
    return QRect(item.left() + (item.width() - edge) / 2, item.top() + 4, edge, edge);
}

QRect IconCollectionViewItem::nameRect(const QRect &cell) const
{
    const QRect item = itemRect(cell);
    const QRect icon = iconRect(cell);
    return QRect(QPoint(item.left() + 2, icon.bottom() + 1 + 4), QPoint(item.right() - 2, item.bottom()));
}

QStringList IconCollectionViewItem::nameLines(const QString &name, const QFont &font, int width)
{
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(name) <= width)
        return {name};
    QTextLayout layout(name, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine first = layout.createLine();
    first.setLineWidth(width);
    layout.endLayout();
    int firstLength = qMax(1, first.textLength());
    // A first line cut inside a word rather ends before the extension, when
    // that fits: "photo…gpj" and ".exe", not "photo…gpj.ex" and "e".
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, name);
    breaks.setPosition(firstLength);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (!breaks.isAtBoundary() && dot > 0 && dot <= firstLength && metrics.horizontalAdvance(name.left(dot)) <= width)
        firstLength = int(dot);
    const QString firstLine = name.left(firstLength).trimmed();
    const QString rest = name.mid(firstLength).trimmed();
    if (rest.isEmpty())
        return {firstLine};
    return {firstLine, metrics.elidedText(rest, Qt::ElideMiddle, width)};
}

const QImage &IconCollectionViewItem::swatch(LabelColor color, qreal devicePixelRatio) const
{
    const int key = int(color) * 16 + qRound(devicePixelRatio * 4);
    auto it = m_swatches.find(key);
    if (it == m_swatches.end())
        it = m_swatches.insert(key, LabelSwatchImage::make(color, labelDotDiameter, devicePixelRatio));
    return *it;
}

void IconCollectionViewItem::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    const FileItem item = index.data(SortedFolderModel::FileItemRole).value<FileItem>();
    const FileAttributes *attributes = item.attributeSnapshot();
    const QRect cell = option.rect;
    const QRect box = itemRect(cell);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);

    const QRectF backdrop = QRectF(box).adjusted(4, 2, -4, -2);
    if (option.state & QStyle::State_Selected) {
        QColor colour = option.palette.color(QPalette::Active, QPalette::Highlight);
        colour.setAlphaF(0.35);
        QPainterPath path;
        path.addRoundedRect(backdrop, 6, 6);
        painter->fillPath(path, colour);
    }
    if (isDropTarget && isDropTarget(index)) {
        QPen pen(option.palette.color(QPalette::Active, QPalette::Highlight), 2);
        painter->setPen(pen);
        painter->drawRoundedRect(backdrop.adjusted(1, 1, -1, -1), 6, 6);
    }

    const QRect icon = iconRect(cell);
    const QImage thumbnail = thumbnailFor ? thumbnailFor(item) : QImage();
    if (!thumbnail.isNull()) {
        QSizeF shown = thumbnail.deviceIndependentSize();
        shown.scale(icon.size(), Qt::KeepAspectRatio);
        const QRectF target(icon.left() + (icon.width() - shown.width()) / 2,
                            icon.top() + (icon.height() - shown.height()) / 2, shown.width(), shown.height());
        painter->drawImage(target, thumbnail);
    } else {
        IconCache::icon(item).paint(painter, icon);
    }

    const LabelColor label = attributes ? attributes->labelColor : LabelColor::none;
    if (label != LabelColor::none) {
        const QPoint corner = icon.bottomRight() + QPoint(1 + 2 - labelDotDiameter, 1 + 2 - labelDotDiameter);
        painter->drawImage(corner, swatch(label, painter->device()->devicePixelRatioF()));
    }

    const QRect nameArea = nameRect(cell);
    const QString name = DisplayNameText::visibleCharacters(index.data(Qt::DisplayRole).toString());
    painter->setFont(m_font);
    painter->setPen(option.palette.color(QPalette::Active, QPalette::WindowText));
    const QFontMetrics metrics(m_font);
    // Each line is laid out on its own, in the direction its name starts
    // with, so a name cannot reorder anything outside it. No isolate marks:
    // the fonts lack them, and the fallback font's taller line cut the
    // descenders off.
    QTextOption textOption(Qt::AlignHCenter | Qt::AlignTop);
    textOption.setWrapMode(QTextOption::NoWrap);
    textOption.setTextDirection(name.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    int y = nameArea.top();
    for (const QString &line : nameLines(name, m_font, nameArea.width())) {
        painter->drawText(QRectF(nameArea.left(), y, nameArea.width(), metrics.height()), line, textOption);
        y += metrics.height();
    }
    painter->restore();
}

QSize IconCollectionViewItem::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return cellSize(m_textSize);
}

QWidget *IconCollectionViewItem::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                              const QModelIndex &index) const
{
    auto *editor = new QLineEdit(parent);
    editor->setFont(m_font);
    editor->setAlignment(Qt::AlignHCenter);
    editor->setFrame(true);
    // The item, not its row: rows may move or go while the name is edited.
    editor->setProperty(fileItemProperty, index.data(SortedFolderModel::FileItemRole));
    return editor;
}

void IconCollectionViewItem::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *lineEdit = qobject_cast<QLineEdit *>(editor);
    if (!lineEdit || lineEdit->isModified())
        return;
    const FileItem item = editor->property(fileItemProperty).value<FileItem>();
    lineEdit->setText(item.attributeSnapshot() ? item.attributeSnapshot()->name : index.data(Qt::EditRole).toString());
    lineEdit->selectAll();
}

void IconCollectionViewItem::setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &) const
{
    auto *lineEdit = qobject_cast<QLineEdit *>(editor);
    const FileItem item = editor->property(fileItemProperty).value<FileItem>();
    if (!lineEdit || item.url().isEmpty() || !onCommitRename)
        return;
    onCommitRename(item, lineEdit->text());
}

void IconCollectionViewItem::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                                  const QModelIndex &) const
{
    const QRect nameArea = nameRect(option.rect);
    const int height = QFontMetrics(m_font).height() + 6;
    editor->setGeometry(QRect(nameArea.left() - 2, nameArea.top() - 2, nameArea.width() + 4, height));
}
