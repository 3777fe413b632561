#pragma once

#include "BenchCommand.h"

#include <QString>

// The measurements of each browser view, for the shared view and paint commands.
namespace BrowserBenches {

int iconView(const QString &folder);
int iconPaint(const QString &folder);

} // namespace BrowserBenches
