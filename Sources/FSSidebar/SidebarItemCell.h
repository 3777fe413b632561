#pragma once

#include "FSUIKit/TextSize.h"

#include <QColor>
#include <QFont>
#include <QStyledItemDelegate>

#include <optional>

// Draws the sidebar's rows: a section header as small grey capitals, an item
// as its icon and one line of name, truncated at the end. Sizes follow the
// text size; the row's selection is drawn by the outline underneath.
class SidebarItemCell : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int iconLeading = 4;
    static constexpr int textSpacing = 4;
    static constexpr int textTrailing = 4;
    static constexpr int headerLeading = 8;
    static const QColor headerColor;

    explicit SidebarItemCell(QObject *parent = nullptr);

    void setTextSize(TextSize size);
    TextSize textSize() const { return m_textSize; }
    int imageSize() const { return m_imageSize; }
    QFont itemFont() const { return m_itemFont; }
    QFont headerFont() const { return m_headerFont; }

    // A name as it is safe to show: control characters become their visible
    // pictures (U+2400 and on), direction controls and line breaks become
    // U+FFFD, and the name sits in its own direction isolate, so a volume
    // named by whoever made the disk or share can neither hide characters nor
    // reorder the host shown after it. With a host: "name (host)".
    static QString shownText(const QString &name, const std::optional<QString> &host = std::nullopt);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    TextSize m_textSize = TextSize::medium;
    int m_imageSize = 16;
    int m_rowHeight = 22;
    QFont m_itemFont;
    QFont m_headerFont;
};
