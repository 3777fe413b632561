#pragma once

#include "IconThemeIndex.h"

#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QMutex>
#include <QPixmap>

// An icon drawn from theme files found by IconThemeIndex. Unlike
// QIcon::fromTheme it can be made on any thread: it holds file paths only and
// decodes them into QImages when a size is first asked for. Pixmaps are made,
// and kept, only on the main thread. With no file at all it draws a plain
// document or folder itself, so an icon from it is never null.
class ThemeIconEngine : public QIconEngine
{
public:
    enum class Fallback { document, folder };

    ThemeIconEngine(IconThemeIndex::Icon icon, Fallback fallback);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QString iconName() override;
    bool isNull() override { return false; }
    QString key() const override;
    QIconEngine *clone() const override;

    // The icon at `pixelSize` device pixels (the longer side). Any thread.
    QImage image(int pixelSize);

private:
    QImage load(int pixelSize) const;
    QImage drawFallback(int pixelSize) const;

    const IconThemeIndex::Icon m_icon;
    const Fallback m_fallback;
    QMutex m_imageLock;
    QHash<int, QImage> m_images;
    QHash<QString, QPixmap> m_pixmaps; // main thread only
};
