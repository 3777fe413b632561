#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

class MainWindowController;

// `tidewright --measure-startup`: the time from the start of main() until the
// first window is painted, and until it is painted with its folder's listing,
// printed on one line; then the application quits.
class StartupMeasurement : public QObject
{
    Q_OBJECT
public:
    explicit StartupMeasurement(QObject *parent = nullptr);

    // The clock starts here: call it first thing in main().
    static void markLaunch();
    void watch(MainWindowController *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void finish();

    QPointer<MainWindowController> m_window;
    qint64 m_firstPaintMs = -1;
    qint64 m_folderPaintMs = -1;
};
