#include "ViewModePreferenceStore.h"

#include "FSCore/PreferenceFile.h"

namespace ViewModePreferenceStore {

namespace {

const QString viewModeKey = QStringLiteral("viewMode");
const QString sortFieldKey = QStringLiteral("sortField");

PreferenceFile file()
{
    return PreferenceFile(QStringLiteral("ViewPreferences.plist"));
}

} // namespace

ViewMode loadViewMode()
{
    if (const auto raw = file().integer(viewModeKey)) {
        if (const auto mode = ViewModes::fromRawValue(*raw))
            return *mode;
    }
    return ViewMode::column;
}

FileSortField loadSortField()
{
    if (const auto raw = file().string(sortFieldKey)) {
        if (const auto field = FileSortFields::fromRawValue(*raw))
            return *field;
    }
    return FileSortField::name;
}

void saveViewMode(ViewMode mode)
{
    file().setValue(viewModeKey, qlonglong(ViewModes::rawValue(mode)));
}

void saveSortField(FileSortField field)
{
    file().setValue(sortFieldKey, FileSortFields::rawValue(field));
}

QString filePath()
{
    return file().path();
}

} // namespace ViewModePreferenceStore
