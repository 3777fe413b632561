#pragma once

#include <QString>

// A file name as the views show it. Names are bytes chosen by whoever made the
// file, so a name must never pass for another: control characters (newline,
// tab, escape) show as visible symbols, and bidirectional controls, which could
// reorder the rest of the name ("photo" U+202E "gpj.exe" reading as
// "photoexe.jpg"), show as a visible mark instead of acting. The whole name is
// then isolated in its own direction, so a right-to-left name cannot reorder
// the text around it.
namespace DisplayNameText {

// The shown form of `name` (escaped bytes of a name that is not UTF-8 show as
// U+FFFD).
QString forDisplay(const QString &name);

// The same without the surrounding isolate, for measuring and type-ahead.
QString visibleCharacters(const QString &name);

} // namespace DisplayNameText
