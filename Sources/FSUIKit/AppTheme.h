#pragma once

#include <QString>

#include <array>
#include <optional>

// The user's theme. It carries no colours: each window chooses its own look per
// theme. The raw value is the stored form.
enum class AppTheme {
    graphite10_6,
    metal10_4,
};

namespace AppThemes {

inline constexpr std::array<AppTheme, 2> allCases = {AppTheme::graphite10_6, AppTheme::metal10_4};

// "graphite10_6", "metal10_4".
QString rawValue(AppTheme theme);
// Exactly the two raw values, case-sensitive.
std::optional<AppTheme> fromRawValue(const QString &rawValue);

// "Graphite (10.6)", "Brushed Metal (10.4)", localized.
QString displayName(AppTheme theme);

} // namespace AppThemes
