#include "ListNameCell.h"

#include "ListViewModel.h"

#include "FSUIKit/LabelSwatchImage.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

namespace {

const char *const editedUrlProperty = "tidewrightEditedUrl";

// Padding a cell keeps on both sides of its text.
constexpr int textPadding = 2;

const QImage &labelDot(int colorRawValue, qreal devicePixelRatio)
{
    static QHash<QPair<int, qreal>, QImage> dots;
    const QPair<int, qreal> key(colorRawValue, devicePixelRatio);
    auto it = dots.find(key);
    if (it == dots.end()) {
        const LabelColor color = LabelColors::fromRawValue(colorRawValue).value_or(LabelColor::none);
        it = dots.insert(key, LabelSwatchImage::make(color, ListNameCell::dotDiameter, devicePixelRatio));
    }
    return *it;
}

void drawBackground(QPainter *painter, const QStyleOptionViewItem &option)
{
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, painter, widget);
}

QColor textColor(const QStyleOptionViewItem &option)
{
    const QPalette::ColorGroup group = option.state.testFlag(QStyle::State_Enabled)
        ? (option.state.testFlag(QStyle::State_Active) ? QPalette::Active : QPalette::Inactive)
        : QPalette::Disabled;
    return option.palette.color(group, option.state.testFlag(QStyle::State_Selected) ? QPalette::HighlightedText
                                                                                      : QPalette::Text);
}

} // namespace

ListNameCell::ListNameCell(QObject *parent)
    : QStyledItemDelegate(parent)
{
    setTextSize(TextSize::medium);
}

void ListNameCell::setTextSize(TextSize size)
{
    m_textSize = size;
    m_font = TextSizes::font(size);
}

QRect ListNameCell::textRect(const QRect &cell) const
{
    const int iconSize = int(TextSizes::rowIconSize(m_textSize));
    const int left = cell.left() + iconLeading + iconSize + nameLeading;
    return QRect(left, cell.top(), qMax(0, cell.right() - left - dotSpacing - dotDiameter - dotSpacing), cell.height());
}

void ListNameCell::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem background = option;
    background.index = index;
    drawBackground(painter, background);

    const QRect cell = option.rect;
    const int iconSize = int(TextSizes::rowIconSize(m_textSize));
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    const QRect iconRect(cell.left() + iconLeading, cell.top() + (cell.height() - iconSize) / 2, iconSize, iconSize);
    if (!icon.isNull())
        icon.paint(painter, iconRect, Qt::AlignCenter,
                   option.state.testFlag(QStyle::State_Selected) && option.state.testFlag(QStyle::State_Active)
                       ? QIcon::Selected : QIcon::Normal);

    const QRect text = textRect(cell);
    const QFontMetrics metrics(m_font);
    const QString name = metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, text.width());
    painter->save();
    painter->setFont(m_font);
    painter->setPen(textColor(option));
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);
    painter->restore();

    const int color = index.data(ListViewModel::LabelColorRole).toInt();
    if (color == 0)
        return;
    const int nameWidth = qMin(text.width(), metrics.horizontalAdvance(name));
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPoint dotAt(text.left() + nameWidth + dotSpacing, cell.top() + (cell.height() - dotDiameter) / 2);
    painter->drawImage(dotAt, labelDot(color, ratio));
}

QSize ListNameCell::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const QFontMetrics metrics(m_font);
    const int width = iconLeading + int(TextSizes::rowIconSize(m_textSize)) + nameLeading
        + metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 2 * dotSpacing + dotDiameter;
    return QSize(width, int(TextSizes::listRowHeight(m_textSize)));
}

QWidget *ListNameCell::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    auto *editor = new QLineEdit(parent);
    editor->setFont(m_font);
    editor->setFrame(true);
    editor->setProperty(editedUrlProperty, index.data(ListViewModel::UrlRole).toUrl());
    return editor;
}

QUrl ListNameCell::editedUrl(const QWidget *editor)
{
    return editor ? editor->property(editedUrlProperty).toUrl() : QUrl();
}

void ListNameCell::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *line = qobject_cast<QLineEdit *>(editor);
    // Set once: a refresh that redraws the row must not undo what is being typed.
    if (!line || line->property("tidewrightFilled").toBool())
        return;
    line->setText(index.data(Qt::EditRole).toString());
    line->selectAll();
    line->setProperty("tidewrightFilled", true);
}

void ListNameCell::setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &) const
{
    const auto *line = qobject_cast<const QLineEdit *>(editor);
    const QUrl url = editedUrl(editor);
    if (line && !url.isEmpty() && onCommitRename)
        onCommitRename(url, line->text());
}

void ListNameCell::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const QRect text = textRect(option.rect);
    editor->setGeometry(QRect(text.left() - textPadding, option.rect.top(),
                              qMax(80, option.rect.right() - text.left()), option.rect.height()));
}

ListTextCell::ListTextCell(QObject *parent)
    : QStyledItemDelegate(parent)
{
    setTextSize(TextSize::medium);
}

void ListTextCell::setTextSize(TextSize size)
{
    m_textSize = size;
    m_font = TextSizes::font(size);
}

int ListTextCell::widthToShow(const QStringList &texts) const
{
    const QFontMetrics metrics(m_font);
    int widest = 0;
    for (const QString &text : texts)
        widest = qMax(widest, metrics.horizontalAdvance(text));
    return widest + 2 * textPadding;
}

void ListTextCell::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem background = option;
    background.index = index;
    drawBackground(painter, background);
    const QRect text = option.rect.adjusted(textPadding, 0, -textPadding, 0);
    const QFontMetrics metrics(m_font);
    painter->save();
    painter->setFont(m_font);
    painter->setPen(textColor(option));
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, text.width()));
    painter->restore();
}

QSize ListTextCell::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const QFontMetrics metrics(m_font);
    return QSize(metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 2 * textPadding,
                 int(TextSizes::listRowHeight(m_textSize)));
}
