#include "AppTheme.h"

#include <QCoreApplication>

namespace AppThemes {

QString rawValue(AppTheme theme)
{
    switch (theme) {
    case AppTheme::graphite10_6: return QStringLiteral("graphite10_6");
    case AppTheme::metal10_4: return QStringLiteral("metal10_4");
    }
    return {};
}

std::optional<AppTheme> fromRawValue(const QString &text)
{
    for (AppTheme theme : allCases) {
        if (rawValue(theme) == text)
            return theme;
    }
    return std::nullopt;
}

QString displayName(AppTheme theme)
{
    switch (theme) {
    case AppTheme::graphite10_6: return QCoreApplication::translate("AppTheme", "Graphite (10.6)");
    case AppTheme::metal10_4: return QCoreApplication::translate("AppTheme", "Brushed Metal (10.4)");
    }
    return {};
}

} // namespace AppThemes
