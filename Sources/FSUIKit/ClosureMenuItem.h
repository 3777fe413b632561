#pragma once

#include <QAction>

#include <functional>

// A menu entry that runs the handler it was made with. It has no shortcut:
// context menus act on the item they were opened for, not on the selection.
class ClosureMenuItem : public QAction
{
    Q_OBJECT
public:
    ClosureMenuItem(const QString &title, std::function<void()> handler, QObject *parent = nullptr);

    const std::function<void()> &handler() const { return m_handler; }

private:
    std::function<void()> m_handler;
};
