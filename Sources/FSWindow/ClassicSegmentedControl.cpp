#include "ClassicSegmentedControl.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr qreal inset = 5;
constexpr qreal cornerRadius = 4;
constexpr qreal labelPadding = 28;
constexpr qreal minimumSegmentWidth = 28;
constexpr int controlHeight = 32;

QColor grey(qreal level, qreal alpha = 1)
{
    return QColor::fromRgbF(float(level), float(level), float(level), float(alpha));
}

} // namespace

ClassicSegmentedControl::ClassicSegmentedControl(const QStringList &labels, Tracking tracking, QWidget *parent)
    : QWidget(parent)
    , m_labels(labels)
    , m_enabledFlags(labels.size(), true)
    , m_tracking(tracking)
{
    setFont(labelFont());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover, false);
    setFocusPolicy(Qt::NoFocus);
}

QFont ClassicSegmentedControl::labelFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(13);
    return font;
}

bool ClassicSegmentedControl::isSegmentEnabled(int segment) const
{
    return segment >= 0 && segment < m_enabledFlags.size() && m_enabledFlags[segment];
}

void ClassicSegmentedControl::setSegmentEnabled(int segment, bool enabled)
{
    if (segment < 0 || segment >= m_enabledFlags.size() || m_enabledFlags[segment] == enabled)
        return;
    m_enabledFlags[segment] = enabled;
    update();
}

void ClassicSegmentedControl::setSelectedSegment(int segment)
{
    if (segment == m_selectedSegment)
        return;
    m_selectedSegment = segment;
    update();
}

QList<qreal> ClassicSegmentedControl::segmentWidths() const
{
    const QFontMetricsF metrics(font());
    QList<qreal> widths;
    widths.reserve(m_labels.size());
    for (const QString &label : m_labels)
        widths.append(std::max(minimumSegmentWidth, metrics.horizontalAdvance(label) + labelPadding));
    return widths;
}

std::optional<int> ClassicSegmentedControl::segmentIndex(const QPointF &point) const
{
    qreal left = inset;
    const QList<qreal> widths = segmentWidths();
    for (int index = 0; index < widths.size(); ++index) {
        if (point.x() >= left && point.x() < left + widths[index])
            return index;
        left += widths[index];
    }
    return std::nullopt;
}

QSize ClassicSegmentedControl::sizeHint() const
{
    qreal total = 2 * inset;
    for (qreal width : segmentWidths())
        total += width;
    return QSize(int(std::ceil(total)), controlHeight);
}

void ClassicSegmentedControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const std::optional<int> segment = segmentIndex(event->position());
    m_pressedIndex = segment && isSegmentEnabled(*segment) ? segment : std::nullopt;
    update();
}

void ClassicSegmentedControl::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    const std::optional<int> segment = segmentIndex(event->position());
    const std::optional<int> pressed = m_pressedIndex;
    m_pressedIndex.reset();
    update();
    if (!segment || segment != pressed || !isSegmentEnabled(*segment))
        return;
    m_selectedSegment = *segment;
    Q_EMIT segmentClicked(*segment);
}

void ClassicSegmentedControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    QPainterPath outline;
    outline.addRoundedRect(area, cornerRadius, cornerRadius);

    // A one-point blurred shadow all round: two soft rings under the fill.
    painter.setPen(Qt::NoPen);
    for (qreal spread : {1.0, 0.5}) {
        QPainterPath ring;
        ring.addRoundedRect(area.adjusted(-spread, -spread, spread, spread), cornerRadius + spread,
                            cornerRadius + spread);
        painter.setBrush(grey(0.25, 0.85 * (spread < 1 ? 0.6 : 0.35)));
        painter.drawPath(ring);
    }
    painter.setBrush(grey(0.9));
    painter.drawPath(outline);

    painter.setClipPath(outline);
    const QList<qreal> widths = segmentWidths();
    qreal left = area.left();
    for (int index = 0; index < widths.size(); ++index) {
        const QRectF segment(left, area.top(), widths[index], area.height());
        if (m_tracking == Tracking::selectOne && index == m_selectedSegment) {
            painter.fillRect(segment, grey(0.6));
            painter.fillRect(QRectF(segment.left(), segment.top(), segment.width(), 1.5), grey(0.45));
        } else if (m_pressedIndex == index) {
            painter.fillRect(segment, grey(0.6, 0.5));
        }
        if (index > 0)
            painter.fillRect(QRectF(segment.left(), area.top() + 3, 1, area.height() - 6), grey(0.72));
        painter.setPen(isSegmentEnabled(index) ? grey(0.1) : grey(0.1, 0.35));
        painter.drawText(segment, Qt::AlignCenter, m_labels[index]);
        painter.setPen(Qt::NoPen);
        left += widths[index];
    }
}
