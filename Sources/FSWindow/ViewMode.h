#pragma once

#include <optional>

// How a window shows its folder. The raw value is also the segment of the view
// mode control and the stored form.
enum class ViewMode : int {
    icon = 0,
    list = 1,
    column = 2,
};

namespace ViewModes {

inline int rawValue(ViewMode mode) { return static_cast<int>(mode); }

inline std::optional<ViewMode> fromRawValue(long long rawValue)
{
    if (rawValue < 0 || rawValue > 2)
        return std::nullopt;
    return static_cast<ViewMode>(rawValue);
}

} // namespace ViewModes
