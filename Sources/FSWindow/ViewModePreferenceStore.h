#pragma once

#include "ViewMode.h"

#include "FSCore/FileSorting.h"

#include <QString>

// The last chosen view mode and sort field, in "ViewPreferences.plist", shared
// by every window. A window reads both once when it is made; nothing is kept
// in memory.
namespace ViewModePreferenceStore {

// column when missing or unusable.
ViewMode loadViewMode();
// name when missing or unusable.
FileSortField loadSortField();

void saveViewMode(ViewMode mode);
void saveSortField(FileSortField field);

QString filePath();

} // namespace ViewModePreferenceStore
