#pragma once

#include "FSCore/FileOperations.h"

#include <QUrl>

// The keys held during a drag, sampled as the drag moves, that decide whether
// a drop copies or moves. As in Linux file managers Ctrl copies and Shift moves
// (Alt-drags are often the window manager's); Ctrl wins when both are held.
class DragModifierTracker
{
public:
    DragModifierTracker() = default;

    // Reads the keys held right now, not those of some earlier event.
    void sample();
    // For a drag event that carries its own key state.
    void sample(Qt::KeyboardModifiers modifiers);

    DragOperationKind resolve(const QUrl &source, const QUrl &destinationDirectory) const;

    bool optionHeld() const { return m_optionHeld; }
    bool commandHeld() const { return m_commandHeld; }

private:
    bool m_optionHeld = false;  // Ctrl: copy
    bool m_commandHeld = false; // Shift: move
};
