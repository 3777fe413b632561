#include "LabelColorDrawing.h"

namespace LabelColors {

std::optional<QColor> drawingColor(LabelColor color)
{
    switch (color) {
    case LabelColor::none: return std::nullopt;
    case LabelColor::gray: return QColor(0x8E, 0x8E, 0x93);
    case LabelColor::green: return QColor(0x28, 0xCD, 0x41);
    case LabelColor::purple: return QColor(0xAF, 0x52, 0xDE);
    case LabelColor::blue: return QColor(0x00, 0x7A, 0xFF);
    case LabelColor::yellow: return QColor(0xFF, 0xCC, 0x00);
    case LabelColor::red: return QColor(0xFF, 0x3B, 0x30);
    case LabelColor::orange: return QColor(0xFF, 0x95, 0x00);
    }
    return std::nullopt;
}

QColor tertiaryLabelColor()
{
    return QColor(0, 0, 0, 66);
}

} // namespace LabelColors
