#include "SpringLoadTimer.h"

SpringLoadTimer::SpringLoadTimer(QObject *parent) : QObject(parent)
{
    // The timer is a member: destroying this object stops it, so a pending
    // activation can never run for a view that is gone.
    m_timer.setSingleShot(true);
    // A coarse timer may fire up to 5% early; the hover delay is a promise.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(delayMilliseconds);
    connect(&m_timer, &QTimer::timeout, this, &SpringLoadTimer::fire);
}

void SpringLoadTimer::hover(const QUrl &target)
{
    if (m_target == target)
        return;
    cancel();
    m_target = target;
    m_timer.start();
}

void SpringLoadTimer::cancel()
{
    m_timer.stop();
    m_target.reset();
}

void SpringLoadTimer::fire()
{
    if (!m_target)
        return;
    const QUrl target = *m_target;
    // Cleared before the callback, which may well start a new hover.
    cancel();
    if (onActivate)
        onActivate(target);
}
