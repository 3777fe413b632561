#include "FileBrowserCell.h"

#include "BrowserColumnView.h"

#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSUIKit/DisplayNameText.h"
#include "FSUIKit/IconCache.h"
#include "FSUIKit/SortedFolderModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>

#include <optional>

namespace {

struct Metrics
{
    int rowHeight;
    int iconSize;
    QFont font;
    QFontMetrics fontMetrics;
};

Metrics metricsFor(TextSize size)
{
    const QFont font = TextSizes::font(size);
    switch (size) {
    case TextSize::small:
        return {20, 16, font, QFontMetrics(font)};
    case TextSize::medium:
        return {26, 20, font, QFontMetrics(font)};
    case TextSize::large:
        return {34, 26, font, QFontMetrics(font)};
    }
    return {26, 20, font, QFontMetrics(font)};
}

std::optional<Metrics> &sharedMetrics()
{
    static std::optional<Metrics> metrics;
    return metrics;
}

const Metrics &metrics()
{
    std::optional<Metrics> &shared = sharedMetrics();
    if (!shared)
        shared = metricsFor(AppearancePreferenceStore::textSize());
    return *shared;
}

constexpr int horizontalPadding = 4;
constexpr int arrowAreaWidth = 16;
constexpr char editedUrlProperty[] = "tidewrightEditedUrl";

QRect iconRect(const QRect &cell)
{
    const int size = FileBrowserCell::iconSize();
    return {cell.left() + horizontalPadding, cell.top() + (cell.height() - size) / 2, size, size};
}

QRect textRect(const QRect &cell)
{
    const int left = iconRect(cell).right() + 1 + horizontalPadding;
    return {left, cell.top(), cell.right() - arrowAreaWidth - left, cell.height()};
}

// Selected items of the column that holds the selection are drawn in the
// highlight colour; the folders leading to it in the columns before are grey.
bool isActiveColumn(const QWidget *widget)
{
    return widget && widget->property("tidewrightActiveColumn").toBool();
}

} // namespace

FileBrowserCell::FileBrowserCell(QObject *parent) : QStyledItemDelegate(parent) {}

void FileBrowserCell::applyTextSize(TextSize size)
{
    sharedMetrics() = metricsFor(size);
}

int FileBrowserCell::iconSize()
{
    return metrics().iconSize;
}

int FileBrowserCell::rowHeight()
{
    return metrics().rowHeight;
}

QFont FileBrowserCell::font()
{
    return metrics().font;
}

void FileBrowserCell::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    const QRect cell = option.rect;
    const bool isSelected = option.state & QStyle::State_Selected;
    const bool isActive = isActiveColumn(option.widget);
    const QPalette &palette = option.palette;
    if (isSelected) {
        const QColor fill = isActive ? palette.color(QPalette::Active, QPalette::Highlight)
                                     : palette.color(QPalette::Inactive, QPalette::Highlight);
        painter->fillRect(cell, fill);
    }
    const QColor textColor = isSelected && isActive ? palette.color(QPalette::Active, QPalette::HighlightedText)
                                                    : palette.color(QPalette::Active, QPalette::Text);

    const FileItem item = index.data(SortedFolderModel::FileItemRole).value<FileItem>();
    const auto *column = qobject_cast<const BrowserColumnView *>(option.widget);
    const QImage thumbnail = column ? column->thumbnailFor(item) : QImage();
    const QRect icon = iconRect(cell);
    if (thumbnail.isNull()) {
        IconCache::icon(item).paint(painter, icon);
    } else {
        QSizeF shown = thumbnail.deviceIndependentSize();
        shown.scale(icon.size(), Qt::KeepAspectRatio);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(QRectF(icon.left() + (icon.width() - shown.width()) / 2, icon.top() + (icon.height() - shown.height()) / 2,
                                  shown.width(), shown.height()),
                           thumbnail);
    }

    const Metrics &shared = metrics();
    painter->setFont(shared.font);
    painter->setPen(textColor);
    const QRect text = textRect(cell);
    const QString name = DisplayNameText::forDisplay(index.data(Qt::DisplayRole).toString());
    const QString elided = shared.fontMetrics.elidedText(name, Qt::ElideMiddle, text.width());
    painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, elided);

    if (item.isBrowsable()) {
        const qreal height = qMax(7, rowHeight() / 3);
        const qreal width = height * 0.6;
        const QPointF tip(cell.right() - 6, cell.center().y() + 0.5);
        QPainterPath arrow;
        arrow.moveTo(tip.x() - width, tip.y() - height / 2);
        arrow.lineTo(tip);
        arrow.lineTo(tip.x() - width, tip.y() + height / 2);
        arrow.closeSubpath();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(isSelected && isActive ? textColor : QColor(110, 110, 110));
        painter->drawPath(arrow);
    }
    painter->restore();
}

QSize FileBrowserCell::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return {option.rect.width() > 0 ? option.rect.width() : 150, rowHeight()};
}

QWidget *FileBrowserCell::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    auto *editor = new QLineEdit(parent);
    editor->setFont(font());
    editor->setFrame(true);
    // Rows may move while the editor is open (the folder changes under it):
    // the rename goes to the item that was being edited, not to a row number.
    editor->setProperty(editedUrlProperty, index.data(SortedFolderModel::UrlRole));
    return editor;
}

void FileBrowserCell::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *lineEdit = qobject_cast<QLineEdit *>(editor);
    if (!lineEdit || lineEdit->isModified())
        return;
    lineEdit->setText(index.data(Qt::EditRole).toString());
    lineEdit->selectAll();
}

void FileBrowserCell::setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &) const
{
    auto *lineEdit = qobject_cast<QLineEdit *>(editor);
    if (!lineEdit || !m_onRename)
        return;
    const QUrl url = editor->property(editedUrlProperty).toUrl();
    if (url.isValid())
        m_onRename(url, lineEdit->text());
}

void FileBrowserCell::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const
{
    QRect rect = textRect(option.rect);
    rect.adjust(-2, 0, arrowAreaWidth - 2, 0);
    editor->setGeometry(rect);
}
