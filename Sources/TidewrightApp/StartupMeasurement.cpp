#include "StartupMeasurement.h"

#include "FSWindow/MainWindowController.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

QElapsedTimer &launchClock()
{
    static QElapsedTimer clock;
    return clock;
}

} // namespace

StartupMeasurement::StartupMeasurement(QObject *parent)
    : QObject(parent)
{
}

void StartupMeasurement::markLaunch()
{
    launchClock().start();
}

void StartupMeasurement::watch(MainWindowController *window)
{
    m_window = window;
    qApp->installEventFilter(this);
}

bool StartupMeasurement::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Paint || !m_window)
        return false;
    const auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != m_window)
        return false;
    // The paint event is being handled now; it is on screen once the loop turns.
    const bool isFolderShown = m_window->isShowingCurrentFolder();
    QTimer::singleShot(0, this, [this, isFolderShown] {
        const qint64 now = launchClock().elapsed();
        if (m_firstPaintMs < 0)
            m_firstPaintMs = now;
        if (isFolderShown && m_folderPaintMs < 0) {
            m_folderPaintMs = now;
            finish();
        }
    });
    return false;
}

void StartupMeasurement::finish()
{
    qApp->removeEventFilter(this);
    std::printf("startup: first window %lld ms, folder shown %lld ms\n", m_firstPaintMs, m_folderPaintMs);
    std::fflush(stdout);
    QTimer::singleShot(0, qApp, &QApplication::quit);
}
