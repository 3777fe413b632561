#pragma once

#include "AppTheme.h"
#include "TextSize.h"

#include <QString>

// The theme and text size, in "AppearancePreferences.plist" under the keys
// "textSize" (integer) and "theme" (text). Nothing is kept in memory: every
// read reads the file, every set reads it, changes one key and writes it back
// whole, keeping keys it does not own. Main thread only.
namespace AppearancePreferenceStore {

// medium when missing or unusable (wrong type, out of range).
TextSize textSize();
// graphite10_6 when missing or unusable (any other text, wrong type).
AppTheme theme();

// Both post appearancePreferencesDidChange after every call, also when the
// value did not change and when the file could not be written: observers read
// the store again and so re-apply whatever it actually holds.
void setTextSize(TextSize size);
void setTheme(AppTheme theme);

QString filePath();

} // namespace AppearancePreferenceStore
