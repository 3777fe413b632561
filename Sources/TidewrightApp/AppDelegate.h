#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

class MainWindowController;

// Starts the application and keeps its main windows, oldest first.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    explicit AppDelegate(QObject *parent = nullptr);

    void applicationDidFinishLaunching();
    MainWindowController *openNewWindow(const QUrl &rootUrl);
    QList<MainWindowController *> windows() const;

private:
    QList<QPointer<MainWindowController>> m_windows;
};
