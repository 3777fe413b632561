#pragma once

#include "AppTheme.h"

#include <QBrush>
#include <QPalette>

class QApplication;

// The forced light look: the Fusion style with a fixed light palette, so the
// desktop's dark or coloured palette never reaches the windows.
namespace ClassicStyle {

// Sets the style and the palette on the whole application.
void apply(QApplication &application);

QPalette palette();

// A main window's background: calibrated white 0.8 (grey 204) under graphite,
// the brushed-metal texture under metal.
QBrush windowBackground(AppTheme theme);

} // namespace ClassicStyle
