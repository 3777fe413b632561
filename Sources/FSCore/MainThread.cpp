#include "MainThread.h"

#include <QCoreApplication>

namespace MainThread {

void post(std::function<void()> work)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return;
    QMetaObject::invokeMethod(application, std::move(work), Qt::QueuedConnection);
}

} // namespace MainThread
