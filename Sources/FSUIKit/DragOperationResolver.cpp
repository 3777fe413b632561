#include "DragOperationResolver.h"

#include <QGuiApplication>

void DragModifierTracker::sample()
{
    sample(QGuiApplication::queryKeyboardModifiers());
}

void DragModifierTracker::sample(Qt::KeyboardModifiers modifiers)
{
    m_optionHeld = modifiers.testFlag(Qt::ControlModifier);
    m_commandHeld = modifiers.testFlag(Qt::ShiftModifier);
}

DragOperationKind DragModifierTracker::resolve(const QUrl &source, const QUrl &destinationDirectory) const
{
    return FileOperations::resolveDragOperation(source, destinationDirectory, m_optionHeld, m_commandHeld);
}
