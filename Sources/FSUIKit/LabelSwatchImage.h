#pragma once

#include "FSCore/LabelColor.h"

#include <QImage>

// The round swatch of a label colour, as menus and info windows show it.
namespace LabelSwatchImage {

// A transparent `diameter` × `diameter` image (in logical pixels; the bitmap is
// devicePixelRatio times larger and says so) holding a circle inscribed in the
// square inset by half a pixel, so of diameter − 1: filled with the label's
// drawing colour, or for none only outlined, one pixel wide, in the tertiary
// label colour. A null image for a diameter that is not positive.
QImage make(LabelColor color, qreal diameter, qreal devicePixelRatio = 1.0);

} // namespace LabelSwatchImage
