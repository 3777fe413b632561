#include "AppDelegate.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tidewright"));
    QApplication::setOrganizationName(QStringLiteral("Tidewright"));
    QApplication::setQuitOnLastWindowClosed(true);

    AppDelegate delegate;
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return application.exec();
}
