#pragma once

#include "FSUIKit/AppTheme.h"
#include "FSUIKit/TextSize.h"

#include <QStringList>

// Opens the preview panel on the first of `paths`; space and the arrows of a
// small stand-in window step through the others.
void showQuickLook(const QStringList &paths, AppTheme theme, TextSize size);
