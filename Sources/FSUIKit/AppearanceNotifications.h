#pragma once

#include <QObject>
#include <QString>

// The process-wide notifications between the preferences and every main
// window. One object lives for the whole process; observers connect to its
// signals (on the main thread, where every poster runs, so delivery is direct
// and in connection order).
class AppearanceNotifications : public QObject
{
    Q_OBJECT
public:
    // The notification names, for logs and for anything that matches by name.
    static const QString appearancePreferencesDidChangeName; // "Tidewright.appearancePreferencesDidChange"
    static const QString resetWindowLayoutRequestedName;     // "Tidewright.resetWindowLayoutRequested"

    static AppearanceNotifications *instance();

    void postAppearancePreferencesDidChange() { Q_EMIT appearancePreferencesDidChange(); }
    void postResetWindowLayoutRequested() { Q_EMIT resetWindowLayoutRequested(); }

Q_SIGNALS:
    // The theme or the text size was set (possibly to the value it had).
    void appearancePreferencesDidChange();
    // Every open main window goes back to its default frame and sidebar width.
    void resetWindowLayoutRequested();

private:
    AppearanceNotifications() = default;
};
