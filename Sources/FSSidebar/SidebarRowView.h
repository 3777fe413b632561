#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

// The selection of a sidebar row: a rounded blue pill while the window is
// active, a grey one while it is not. The theme does not change it.
namespace SidebarRowView {

inline constexpr qreal horizontalInset = 4;
inline constexpr qreal verticalInset = 1;
inline constexpr qreal cornerRadius = 5;

// Top to bottom.
QColor activeTopColor();
QColor activeBottomColor();
QColor inactiveTopColor();
QColor inactiveBottomColor();

// `rowBounds` is the whole row, from the outline's left edge to its right.
void drawSelection(QPainter *painter, const QRectF &rowBounds, bool isKeyWindow);

// The ring around a folder row that a drag would drop into.
void drawDropTarget(QPainter *painter, const QRectF &rowBounds);

} // namespace SidebarRowView
