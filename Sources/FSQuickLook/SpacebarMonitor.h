#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

// The key monitor of one window: space shows or hides the preview, and while
// the preview is shown the up and down arrows step through the items. It sees
// the key presses of the whole application but acts only on those of its own
// window, and of the preview panel while its window owns it; never with
// shift, control, alt or meta held, and never while a text is being edited
// (a field, a rename, the search field), where space is a space.
class SpacebarMonitor : public QObject
{
    Q_OBJECT
public:
    explicit SpacebarMonitor(QWidget *window, QObject *parent = nullptr);
    ~SpacebarMonitor() override;

    std::function<void()> onToggle;
    // Asked before space or an arrow is taken: a window takes them only where
    // its browser has the focus. Unset, any press in the window counts.
    std::function<bool()> takesKeys;
    // Asked before the arrows are taken.
    std::function<bool()> isPreviewShown;
    // -1 for up, +1 for down; the window turns it into a step (a whole row in
    // the icon view).
    std::function<void(int direction)> onArrow;

    // Whether `widget` is where a text is being typed.
    static bool isEditingText(const QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool belongsToWindow(const QWidget *widget) const;

    QPointer<QWidget> m_window;
};
