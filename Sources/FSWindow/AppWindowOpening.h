#pragma once

#include <QUrl>

// What a main window asks of the application to open another window. The
// application shell registers the one that exists; without one, a window's
// "open in a new window" does nothing.
class AppWindowOpening
{
public:
    virtual ~AppWindowOpening() = default;
    virtual void openNewWindow(const QUrl &rootUrl) = 0;

    // The registered opener, or null.
    static AppWindowOpening *shared();
    static void setShared(AppWindowOpening *opener);
};
