#pragma once

#include <QFont>
#include <QSizeF>
#include <QString>

#include <array>
#include <optional>

// The user's text size. It carries every size metric of the views, so that the
// sidebar, the three browsers and the status bar scale together. The raw value
// is the stored form.
enum class TextSize : int {
    small = 0,
    medium = 1,
    large = 2,
};

namespace TextSizes {

inline constexpr std::array<TextSize, 3> allCases = {TextSize::small, TextSize::medium, TextSize::large};

inline int rawValue(TextSize size) { return static_cast<int>(size); }
// 0 to 2 only.
std::optional<TextSize> fromRawValue(long long rawValue);

// "Small", "Medium", "Large", localized.
QString displayName(TextSize size);

// Logical pixels (points at 96 dpi), all of them.
qreal baseFontSize(TextSize size);
qreal listRowHeight(TextSize size);
qreal sidebarRowHeight(TextSize size);
qreal rowIconSize(TextSize size);
qreal gridIconSize(TextSize size);
QSizeF gridItemSize(TextSize size);

// `base` (the application font unless given) at baseFontSize. Pixel size, not
// point size: at 96 dpi a point size would come out a third too big.
QFont font(TextSize size);
QFont font(TextSize size, const QFont &base);

} // namespace TextSizes
