#include "ColorSwatchView.h"

#include "FSUIKit/LabelColorDrawing.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

ColorSwatchView::ColorSwatchView(QWidget *parent)
    : QWidget(parent)
{
    setFixedSize(18, 18);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void ColorSwatchView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    const QRectF disc = bounds.adjusted(1.5, 1.5, -1.5, -1.5);
    if (const std::optional<QColor> fill = LabelColors::drawingColor(color)) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(*fill);
        painter.drawEllipse(disc);
    } else {
        painter.setPen(QPen(LabelColors::tertiaryLabelColor(), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(disc);
    }
    if (isSelectedSwatch) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(bounds.adjusted(0.75, 0.75, -0.75, -0.75));
    }
    if (hasFocus() && m_showsFocusRing) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
        painter.drawEllipse(bounds.adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

void ColorSwatchView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        handleClick();
}

void ColorSwatchView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        handleClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ColorSwatchView::focusInEvent(QFocusEvent *event)
{
    m_showsFocusRing = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QWidget::focusInEvent(event);
    update();
}

void ColorSwatchView::focusOutEvent(QFocusEvent *event)
{
    m_showsFocusRing = false;
    QWidget::focusOutEvent(event);
    update();
}

void ColorSwatchView::handleClick()
{
    if (onClick)
        onClick();
}
