#include "LabelSwatchImage.h"

#include "LabelColorDrawing.h"

#include <QPainter>
#include <QtMath>

namespace LabelSwatchImage {

QImage make(LabelColor color, qreal diameter, qreal devicePixelRatio)
{
    // Also refuses NaN, which would otherwise become a huge allocation.
    if (!(diameter > 0) || !(devicePixelRatio > 0))
        return {};
    const int edge = qCeil(diameter * devicePixelRatio);
    QImage image(edge, edge, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);

    const QRectF circle(0.5, 0.5, diameter - 1, diameter - 1);
    if (circle.width() <= 0)
        return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (const std::optional<QColor> fill = LabelColors::drawingColor(color)) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(*fill);
    } else {
        painter.setPen(QPen(LabelColors::tertiaryLabelColor(), 1.0));
        painter.setBrush(Qt::NoBrush);
    }
    painter.drawEllipse(circle);
    return image;
}

} // namespace LabelSwatchImage
