#include "MetalTexture.h"

#include <QRandomGenerator>

#include <cmath>

namespace MetalTexture {

namespace {

constexpr int width = 4;
constexpr int height = 64;

QImage makeTexture()
{
    QImage texture(width, height, QImage::Format_RGB32);
    QRandomGenerator *random = QRandomGenerator::global();
    for (int y = 0; y < height; ++y) {
        const double streak = random->generateDouble() * 0.05 - 0.025;
        const double brightness = 0.62 + 0.05 * (1.0 - std::abs(y - 32) * 0.03125) + streak;
        const int grey = qBound(0, int(std::lround(brightness * 255.0)), 255);
        const QRgb pixel = qRgb(grey, grey, grey);
        QRgb *line = reinterpret_cast<QRgb *>(texture.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = pixel;
    }
    return texture;
}

} // namespace

const QImage &image()
{
    // A function-local static: made once, and safely when several threads ask first.
    static const QImage texture = makeTexture();
    return texture;
}

QBrush backgroundColor()
{
    static const QBrush brush(image());
    return brush;
}

} // namespace MetalTexture
