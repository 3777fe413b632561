#pragma once

#include <QByteArray>
#include <QKeySequence>
#include <QList>
#include <QObject>

#include <functional>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

// The application's menus, built once as a set of actions and installed in
// the menu bar of every main window. An item names the slot that carries it
// out ("newFolder", "copy", …) in its "menuAction" property; when it is chosen
// the slot is looked for from the focused widget up through its parents to its
// window, so a text field being edited takes the Edit items and the window
// takes the rest. The one that takes an item is asked first whether it is
// enabled, before a menu shows and again before the item acts, since a
// shortcut acts without showing its menu.
class MainMenu : public QObject
{
    Q_OBJECT
public:
    struct ApplicationCommands
    {
        std::function<void()> newWindow;
        std::function<void()> showPreferences;
        std::function<void()> quit;
    };

    explicit MainMenu(ApplicationCommands commands, QObject *parent = nullptr);

    // Adds the application, File, Edit, View and Go menus to `bar`.
    void install(QMenuBar *bar);

    // The item carrying `menuAction` (a slot name or "newWindow",
    // "showPreferences", "terminate", "performClose"); null if none does.
    QAction *action(const QByteArray &menuAction) const;
    const QList<QAction *> &actions() const { return m_actions; }

    // Who takes `item` now: the focused widget or one of its parents, or the
    // active window when nothing has the focus. Null when nobody does.
    static QObject *responder(const QAction *item);
    // Whether `item` may act now; sets its check mark and title on the way.
    bool validate(QAction *item) const;
    // Validates `item`, then runs it.
    void perform(QAction *item);

private:
    QAction *addItem(const QString &title, const QByteArray &menuAction, const QKeySequence &shortcut = {});
    QMenu *makeApplicationMenu(QWidget *parent);
    QMenu *makeFileMenu(QWidget *parent);
    QMenu *makeEditMenu(QWidget *parent);
    QMenu *makeViewMenu(QWidget *parent);
    QMenu *makeGoMenu(QWidget *parent);
    QMenu *makeMenu(const QString &title, const QList<QByteArray> &items, QWidget *parent);
    void validateMenu(QMenu *menu) const;
    void updateBareKeyShortcuts();

    ApplicationCommands m_commands;
    QList<QAction *> m_actions;
    QList<QAction *> m_sortActions;
};
