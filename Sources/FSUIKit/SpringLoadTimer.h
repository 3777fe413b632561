#pragma once

#include <QObject>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

// Opens a folder that a drag rests over for a moment. Repeated hovers over the
// same folder keep the running timer; another folder starts a fresh one.
class SpringLoadTimer : public QObject
{
    Q_OBJECT
public:
    static constexpr int delayMilliseconds = 750;

    explicit SpringLoadTimer(QObject *parent = nullptr);

    void hover(const QUrl &target);
    // Also to be called when the drag leaves the view or ends, so a folder is
    // never opened after the drag is gone.
    void cancel();

    std::optional<QUrl> target() const { return m_target; }
    bool isArmed() const { return m_timer.isActive(); }

    std::function<void(const QUrl &)> onActivate;

private:
    void fire();

    QTimer m_timer;
    std::optional<QUrl> m_target;
};
