#include "ThemeIconEngine.h"

#include <QApplication>
#include <QImageReader>
#include <QPainter>
#include <QPolygonF>
#include <QStyle>
#include <QStyleOption>
#include <QThread>

namespace {

// Icons are drawn at most this large; a bigger request gets this size scaled
// by the painter, so a stray huge size cannot allocate a huge image.
constexpr int largestPixelSize = 1024;

bool isMainThread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

// A hand-drawn file at exactly this size beats a scaled one; then a scalable
// file; then the smallest file larger than needed (scaling down keeps it
// sharp); then the largest there is.
const IconThemeIndex::File *bestFile(const QList<IconThemeIndex::File> &files, int pixelSize)
{
    const IconThemeIndex::File *scalable = nullptr;
    const IconThemeIndex::File *larger = nullptr;
    const IconThemeIndex::File *largest = nullptr;
    for (const IconThemeIndex::File &file : files) {
        const int filePixels = file.size * file.scale;
        if (file.isScalable) {
            if (!scalable)
                scalable = &file;
            continue;
        }
        if (filePixels == pixelSize)
            return &file;
        if (filePixels > pixelSize && (!larger || filePixels < larger->size * larger->scale))
            larger = &file;
        if (!largest || filePixels > largest->size * largest->scale)
            largest = &file;
    }
    if (scalable)
        return scalable;
    return larger ? larger : largest;
}

} // namespace

ThemeIconEngine::ThemeIconEngine(IconThemeIndex::Icon icon, Fallback fallback)
    : m_icon(std::move(icon))
    , m_fallback(fallback)
{
}

QImage ThemeIconEngine::image(int pixelSize)
{
    pixelSize = qBound(1, pixelSize, largestPixelSize);
    {
        QMutexLocker locker(&m_imageLock);
        if (const auto it = m_images.constFind(pixelSize); it != m_images.constEnd())
            return *it;
    }
    QImage made = load(pixelSize);
    if (made.isNull())
        made = drawFallback(pixelSize);
    QMutexLocker locker(&m_imageLock);
    m_images.insert(pixelSize, made);
    return made;
}

QImage ThemeIconEngine::load(int pixelSize) const
{
    const IconThemeIndex::File *file = bestFile(m_icon.files, pixelSize);
    if (!file)
        return {};
    QImageReader reader(file->path);
    const QSize natural = reader.size();
    if (natural.isValid() && natural != QSize(pixelSize, pixelSize))
        reader.setScaledSize(natural.scaled(pixelSize, pixelSize, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.width() > pixelSize || image.height() > pixelSize || (image.width() < pixelSize && image.height() < pixelSize))
        image = image.scaled(pixelSize, pixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

namespace {

// A closed outline given on a 16-unit grid.
QPolygonF outline(std::initializer_list<QPointF> gridPoints, qreal unit)
{
    QPolygonF polygon;
    for (const QPointF &point : gridPoints)
        polygon << point * unit;
    return polygon;
}

} // namespace

QImage ThemeIconEngine::drawFallback(int pixelSize) const
{
    QImage image(pixelSize, pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = pixelSize / 16.0;
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), qMax(1.0, unit * 0.6)));
    if (m_fallback == Fallback::folder) {
        painter.setBrush(QColor(0x7f, 0xa8, 0xd8));
        painter.drawPolygon(outline({{1.5, 3}, {6, 3}, {7.5, 4.5}, {14.5, 4.5}, {14.5, 13.5}, {1.5, 13.5}}, unit));
    } else {
        painter.setBrush(Qt::white);
        painter.drawPolygon(outline({{3, 1}, {10, 1}, {13, 4}, {13, 15}, {3, 15}}, unit));
        painter.drawLine(QPointF(10 * unit, 1 * unit), QPointF(10 * unit, 4 * unit));
        painter.drawLine(QPointF(10 * unit, 4 * unit), QPointF(13 * unit, 4 * unit));
    }
    return image;
}

// `size` is in device pixels already: QIcon::pixmap(size, ratio) multiplies
// before it asks, and `scale` only labels the result.
QPixmap ThemeIconEngine::scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal scale)
{
    if (size.isEmpty())
        return {};
    scale = qMax<qreal>(scale, 1.0);
    const int pixelSize = qMax(size.width(), size.height());
    const bool mayKeep = isMainThread();
    const QString cacheKey = QStringLiteral("%1/%2").arg(pixelSize).arg(int(mode));
    if (mayKeep) {
        if (const auto it = m_pixmaps.constFind(cacheKey); it != m_pixmaps.constEnd())
            return *it;
    }
    QPixmap pixmap = QPixmap::fromImage(image(pixelSize));
    if (mode != QIcon::Normal && qobject_cast<QApplication *>(QCoreApplication::instance())) {
        QStyleOption option;
        option.palette = QApplication::palette();
        pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
    }
    pixmap.setDevicePixelRatio(scale);
    if (mayKeep)
        m_pixmaps.insert(cacheKey, pixmap);
    return pixmap;
}

QPixmap ThemeIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return scaledPixmap(size, mode, state, 1.0);
}

void ThemeIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state)
{
    const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap drawn = scaledPixmap(rect.size() * scale, mode, state, scale);
    if (drawn.isNull())
        return;
    const QSizeF shown = drawn.deviceIndependentSize().scaled(rect.size(), Qt::KeepAspectRatio);
    const QRectF target(rect.x() + (rect.width() - shown.width()) / 2, rect.y() + (rect.height() - shown.height()) / 2,
                        shown.width(), shown.height());
    painter->drawPixmap(target, drawn, QRectF(drawn.rect()));
}

QSize ThemeIconEngine::actualSize(const QSize &size, QIcon::Mode, QIcon::State)
{
    return size;
}

QList<QSize> ThemeIconEngine::availableSizes(QIcon::Mode, QIcon::State)
{
    QList<QSize> sizes;
    for (const IconThemeIndex::File &file : m_icon.files) {
        if (!file.isScalable && file.size > 0 && file.scale == 1)
            sizes.append(QSize(file.size, file.size));
    }
    return sizes;
}

QString ThemeIconEngine::iconName()
{
    return m_icon.name;
}

QString ThemeIconEngine::key() const
{
    return QStringLiteral("TidewrightThemeIconEngine");
}

QIconEngine *ThemeIconEngine::clone() const
{
    return new ThemeIconEngine(m_icon, m_fallback);
}
