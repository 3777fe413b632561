#pragma once

#include "FSCore/LabelColor.h"

#include <QColor>

#include <optional>

// How label colours are drawn: the classic system shades, fixed so that the
// labels look the same under every desktop palette.
namespace LabelColors {

// Nothing for none.
std::optional<QColor> drawingColor(LabelColor color);

// Faint text and outlines on a light background (black at about a quarter
// opacity); the outline of the "none" swatch.
QColor tertiaryLabelColor();

} // namespace LabelColors
