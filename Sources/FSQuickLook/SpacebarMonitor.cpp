#include "SpacebarMonitor.h"

#include "PreviewPanel.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

SpacebarMonitor::SpacebarMonitor(QWidget *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
    qApp->installEventFilter(this);
}

SpacebarMonitor::~SpacebarMonitor()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool SpacebarMonitor::isEditingText(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (const auto *line = qobject_cast<const QLineEdit *>(w))
            return !line->isReadOnly();
        if (const auto *text = qobject_cast<const QPlainTextEdit *>(w))
            return !text->isReadOnly();
        if (const auto *text = qobject_cast<const QTextEdit *>(w))
            return !text->isReadOnly();
        if (qobject_cast<const QAbstractSpinBox *>(w))
            return true;
        if (const auto *combo = qobject_cast<const QComboBox *>(w))
            return combo->isEditable();
        if (w->isWindow())
            break;
    }
    return false;
}

bool SpacebarMonitor::belongsToWindow(const QWidget *widget) const
{
    if (!m_window || !widget)
        return false;
    const QWidget *window = widget->window();
    if (window == m_window->window())
        return true;
    PreviewPanel *panel = PreviewPanel::shared();
    return window == panel && panel->owner() && panel->owner() == m_window;
}

bool SpacebarMonitor::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    // The window's own QWindow sees the press before its widgets: only the
    // widget that receives it counts, once.
    auto *widget = static_cast<QWidget *>(watched);
    if (!belongsToWindow(widget))
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const int pressed = key->key();
    if (pressed != Qt::Key_Space && pressed != Qt::Key_Up && pressed != Qt::Key_Down)
        return false;
    if (takesKeys && !takesKeys())
        return false;
    switch (pressed) {
    case Qt::Key_Space: {
        // A rename in a view edits in a line edit that has the focus.
        if (isEditingText(widget) || isEditingText(QApplication::focusWidget()))
            return false;
        // Holding the key down does not flicker the panel.
        if (!key->isAutoRepeat() && onToggle)
            onToggle();
        return true;
    }
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (!isPreviewShown || !isPreviewShown() || !onArrow)
            return false;
        onArrow(pressed == Qt::Key_Up ? -1 : 1);
        return true;
    default:
        return false;
    }
}
