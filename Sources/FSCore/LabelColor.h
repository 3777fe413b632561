#pragma once

#include <QString>
#include <QtGlobal>
#include <QStringList>

#include <array>
#include <optional>

// The eight label colours; the raw values are the stored form. One byte: a
// listing holds one per entry.
enum class LabelColor : quint8 {
    none = 0,
    gray = 1,
    green = 2,
    purple = 3,
    blue = 4,
    yellow = 5,
    red = 6,
    orange = 7,
};

namespace LabelColors {

inline constexpr std::array<LabelColor, 8> allCases = {
    LabelColor::none, LabelColor::gray, LabelColor::green, LabelColor::purple,
    LabelColor::blue, LabelColor::yellow, LabelColor::red, LabelColor::orange,
};

inline int rawValue(LabelColor color) { return static_cast<int>(color); }
std::optional<LabelColor> fromRawValue(int rawValue);

// "None", "Gray", …: the localized name shown in menus.
QString displayName(LabelColor color);

// The tag written to the file: a fixed English word, never localized; empty for none.
QString tagName(LabelColor color);

// The colour a tag list carries: the first tag, in the list's own order, that
// names a colour (any letter case) decides.
LabelColor fromTags(const QStringList &tags);

// `tags` with every colour tag removed and, unless `color` is none, its tag
// appended; the other tags keep their order.
QStringList tagsWithColor(const QStringList &tags, LabelColor color);

} // namespace LabelColors
