#include "AppearanceNotifications.h"

const QString AppearanceNotifications::appearancePreferencesDidChangeName =
    QStringLiteral("Tidewright.appearancePreferencesDidChange");
const QString AppearanceNotifications::resetWindowLayoutRequestedName =
    QStringLiteral("Tidewright.resetWindowLayoutRequested");

AppearanceNotifications *AppearanceNotifications::instance()
{
    // Made on first use, never destroyed before exit; observers that go away
    // earlier are disconnected by QObject.
    static AppearanceNotifications notifications;
    return &notifications;
}
