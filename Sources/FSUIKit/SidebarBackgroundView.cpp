#include "SidebarBackgroundView.h"

#include <QLinearGradient>
#include <QPainter>

const QColor SidebarBackgroundView::topColor = QColor::fromRgbF(0.867f, 0.894f, 0.918f);
const QColor SidebarBackgroundView::bottomColor = QColor::fromRgbF(0.792f, 0.824f, 0.855f);

SidebarBackgroundView::SidebarBackgroundView(QWidget *parent)
    : QWidget(parent)
{
    // Every pixel is painted, so Qt need not clear the area first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SidebarBackgroundView::paintEvent(QPaintEvent *)
{
    const QRectF bounds = rect();
    QLinearGradient gradient(bounds.bottomLeft(), bounds.topLeft());
    gradient.setColorAt(0, topColor);
    gradient.setColorAt(1, bottomColor);
    QPainter painter(this);
    painter.fillRect(bounds, gradient);
}
