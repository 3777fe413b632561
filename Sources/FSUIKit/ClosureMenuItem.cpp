#include "ClosureMenuItem.h"

ClosureMenuItem::ClosureMenuItem(const QString &title, std::function<void()> handler, QObject *parent)
    : QAction(title, parent), m_handler(std::move(handler))
{
    connect(this, &QAction::triggered, this, [this] {
        if (m_handler)
            m_handler();
    });
}
