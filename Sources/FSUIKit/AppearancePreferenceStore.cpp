#include "AppearancePreferenceStore.h"

#include "AppearanceNotifications.h"

#include "FSCore/PreferenceFile.h"

namespace AppearancePreferenceStore {

namespace {

const QString textSizeKey = QStringLiteral("textSize");
const QString themeKey = QStringLiteral("theme");

PreferenceFile file()
{
    return PreferenceFile(QStringLiteral("AppearancePreferences.plist"));
}

} // namespace

TextSize textSize()
{
    if (const auto raw = file().integer(textSizeKey)) {
        if (const auto size = TextSizes::fromRawValue(*raw))
            return *size;
    }
    return TextSize::medium;
}

AppTheme theme()
{
    if (const auto raw = file().string(themeKey)) {
        if (const auto theme = AppThemes::fromRawValue(*raw))
            return *theme;
    }
    return AppTheme::graphite10_6;
}

void setTextSize(TextSize size)
{
    file().setValue(textSizeKey, qlonglong(TextSizes::rawValue(size)));
    AppearanceNotifications::instance()->postAppearancePreferencesDidChange();
}

void setTheme(AppTheme theme)
{
    file().setValue(themeKey, AppThemes::rawValue(theme));
    AppearanceNotifications::instance()->postAppearancePreferencesDidChange();
}

QString filePath()
{
    return file().path();
}

} // namespace AppearancePreferenceStore
