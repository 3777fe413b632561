#include "SidebarRowView.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace SidebarRowView {

QColor activeTopColor() { return QColor::fromRgbF(0.42f, 0.62f, 0.90f); }
QColor activeBottomColor() { return QColor::fromRgbF(0.20f, 0.42f, 0.80f); }
QColor inactiveTopColor() { return QColor::fromRgbF(0.78f, 0.78f, 0.78f); }
QColor inactiveBottomColor() { return QColor::fromRgbF(0.63f, 0.63f, 0.63f); }

namespace {

QPainterPath pillPath(const QRectF &rowBounds)
{
    QPainterPath path;
    path.addRoundedRect(rowBounds.adjusted(horizontalInset, verticalInset, -horizontalInset, -verticalInset),
                        cornerRadius, cornerRadius);
    return path;
}

} // namespace

void drawSelection(QPainter *painter, const QRectF &rowBounds, bool isKeyWindow)
{
    const QPainterPath path = pillPath(rowBounds);
    QLinearGradient gradient(path.boundingRect().topLeft(), path.boundingRect().bottomLeft());
    gradient.setColorAt(0, isKeyWindow ? activeTopColor() : inactiveTopColor());
    gradient.setColorAt(1, isKeyWindow ? activeBottomColor() : inactiveBottomColor());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->fillPath(path, gradient);
    painter->restore();
}

void drawDropTarget(QPainter *painter, const QRectF &rowBounds)
{
    const QPainterPath path = pillPath(rowBounds.adjusted(0.5, 0.5, -0.5, -0.5));
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QColor fill = activeBottomColor();
    fill.setAlphaF(0.15f);
    painter->fillPath(path, fill);
    painter->setPen(QPen(activeBottomColor(), 2));
    painter->drawPath(path);
    painter->restore();
}

} // namespace SidebarRowView
