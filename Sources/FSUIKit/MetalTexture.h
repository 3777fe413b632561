#pragma once

#include <QBrush>
#include <QImage>

// The brushed-metal window background: a 4 × 64 grey texture, lighter towards
// the middle row, with fine random streaks that differ from launch to launch.
// Made once per process, on first use, from any thread.
namespace MetalTexture {

// The brush that tiles the texture.
QBrush backgroundColor();

// The texture itself (RGB32, opaque).
const QImage &image();

} // namespace MetalTexture
