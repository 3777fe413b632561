#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

namespace MainThread {

// Runs `work` later on the main thread (nothing when there is no application).
void post(std::function<void()> work);

} // namespace MainThread

// The owner a background result is for, held weakly. No owner given means the
// result is always wanted.
class ContextGuard
{
public:
    explicit ContextGuard(QObject *context) : m_context(context), m_hasContext(context != nullptr) {}
    bool isAlive() const { return !m_hasContext || !m_context.isNull(); }

private:
    QPointer<QObject> m_context;
    bool m_hasContext;
};
