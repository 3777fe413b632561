#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace tw::test {

// The longest the main thread went without running a 10 ms timer, from
// construction on: what a user would feel as the window standing still.
class MainThreadWatchdog
{
public:
    MainThreadWatchdog()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longestGap = std::max(m_longestGap, m_sinceLast.restart());
        });
        m_sinceLast.start();
        m_timer.start();
    }
    MainThreadWatchdog(const MainThreadWatchdog &) = delete;
    MainThreadWatchdog &operator=(const MainThreadWatchdog &) = delete;

    qint64 longestGap() const { return std::max(m_longestGap, m_sinceLast.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceLast;
    qint64 m_longestGap = 0;
};

} // namespace tw::test
