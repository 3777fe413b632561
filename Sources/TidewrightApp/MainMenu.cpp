#include "MainMenu.h"

#include "FSCore/FileSorting.h"
#include "FSWindow/MainWindowController.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

const char menuActionProperty[] = "menuAction";
// Shortcuts of bare keys: they would take Return and Delete from text fields.
const char bareShortcutsProperty[] = "bareShortcuts";

const QByteArray separator;

QByteArray menuActionOf(const QAction *item)
{
    return item->property(menuActionProperty).toByteArray();
}

bool isApplicationCommand(const QByteArray &action)
{
    return action == "newWindow" || action == "showPreferences" || action == "terminate"
        || action == "performClose";
}

bool clipboardHasText()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText();
}

// Text fields have the Edit slots but no say on their items; these are the
// rules a text field's own context menu follows.
bool validateTextInput(const QObject *responder, const QByteArray &action)
{
    if (const auto *line = qobject_cast<const QLineEdit *>(responder)) {
        const bool showsText = line->echoMode() == QLineEdit::Normal;
        if (action == "undo")
            return line->isUndoAvailable();
        if (action == "redo")
            return line->isRedoAvailable();
        if (action == "cut")
            return showsText && !line->isReadOnly() && line->hasSelectedText();
        if (action == "copy")
            return showsText && line->hasSelectedText();
        if (action == "paste")
            return !line->isReadOnly() && clipboardHasText();
        if (action == "selectAll")
            return !line->text().isEmpty();
        return true;
    }
    const QTextDocument *document = nullptr;
    bool isReadOnly = false;
    bool hasSelection = false;
    if (const auto *edit = qobject_cast<const QTextEdit *>(responder)) {
        document = edit->document();
        isReadOnly = edit->isReadOnly();
        hasSelection = edit->textCursor().hasSelection();
    } else if (const auto *plain = qobject_cast<const QPlainTextEdit *>(responder)) {
        document = plain->document();
        isReadOnly = plain->isReadOnly();
        hasSelection = plain->textCursor().hasSelection();
    }
    if (!document)
        return true;
    if (action == "undo")
        return !isReadOnly && document->isUndoAvailable();
    if (action == "redo")
        return !isReadOnly && document->isRedoAvailable();
    if (action == "cut")
        return !isReadOnly && hasSelection;
    if (action == "copy")
        return hasSelection;
    if (action == "paste")
        return !isReadOnly && clipboardHasText();
    return true;
}

int methodIndex(const QObject *object, const QByteArray &action, bool *takesSender)
{
    const QMetaObject *meta = object->metaObject();
    int index = meta->indexOfMethod(QByteArray(action + "(QAction*)").constData());
    *takesSender = index >= 0;
    if (index < 0)
        index = meta->indexOfMethod(QByteArray(action + "()").constData());
    return index;
}

MainWindowController *activeMainWindow()
{
    return qobject_cast<MainWindowController *>(QApplication::activeWindow());
}

} // namespace

MainMenu::MainMenu(ApplicationCommands commands, QObject *parent)
    : QObject(parent)
    , m_commands(std::move(commands))
{
    addItem(tr("Preferences…"), "showPreferences", QKeySequence(Qt::CTRL | Qt::Key_Comma));
    addItem(tr("Quit %1").arg(QStringLiteral("Tidewright")), "terminate", QKeySequence(Qt::CTRL | Qt::Key_Q));

    addItem(tr("New Window"), "newWindow", QKeySequence(Qt::CTRL | Qt::Key_N));
    addItem(tr("New Folder"), "newFolder", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    addItem(tr("Open"), "openSelection", QKeySequence(Qt::CTRL | Qt::Key_O));
    addItem(tr("Get Info"), "showInfoForSelection", QKeySequence(Qt::CTRL | Qt::Key_I));
    addItem(tr("Quick Look"), "toggleQuickLook", QKeySequence(Qt::CTRL | Qt::Key_Y));
    addItem(tr("Duplicate"), "duplicateSelection", QKeySequence(Qt::CTRL | Qt::Key_D));
    QAction *rename = addItem(tr("Rename"), "renameSelection");
    rename->setProperty(bareShortcutsProperty, QVariant::fromValue(QList<QKeySequence>{QKeySequence(Qt::Key_Return)}));
    addItem(tr("Move to Enclosing Folder"), "moveSelectionToEnclosingFolder", QKeySequence(Qt::CTRL | Qt::Key_U));
    QAction *trash = addItem(tr("Move to Trash"), "moveSelectionToTrash", QKeySequence(Qt::CTRL | Qt::Key_Backspace));
    // Delete is what file managers on this desktop move to the Trash with.
    trash->setProperty(bareShortcutsProperty, QVariant::fromValue(QList<QKeySequence>{QKeySequence(Qt::Key_Delete)}));
    addItem(tr("Empty Trash"), "emptyTrash", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backspace));
    addItem(tr("Close Window"), "performClose", QKeySequence(Qt::CTRL | Qt::Key_W));

    addItem(tr("Undo"), "undo", QKeySequence(Qt::CTRL | Qt::Key_Z));
    addItem(tr("Redo"), "redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    addItem(tr("Cut"), "cut", QKeySequence(Qt::CTRL | Qt::Key_X));
    addItem(tr("Copy"), "copy", QKeySequence(Qt::CTRL | Qt::Key_C));
    addItem(tr("Paste"), "paste", QKeySequence(Qt::CTRL | Qt::Key_V));
    addItem(tr("Select All"), "selectAll", QKeySequence(Qt::CTRL | Qt::Key_A));

    for (FileSortField field : FileSortFields::allCases) {
        QAction *item = addItem(FileSortFields::displayName(field), "setSortField");
        item->setData(FileSortFields::rawValue(field));
        m_sortActions.append(item);
    }

    addItem(tr("Enclosing Folder"), "goToEnclosingFolder", QKeySequence(Qt::CTRL | Qt::Key_Up));
    addItem(tr("Connect to Server…"), "connectToServer", QKeySequence(Qt::CTRL | Qt::Key_K));

    connect(qApp, &QApplication::focusChanged, this, &MainMenu::updateBareKeyShortcuts);
    updateBareKeyShortcuts();
}

QAction *MainMenu::addItem(const QString &title, const QByteArray &menuAction, const QKeySequence &shortcut)
{
    auto *item = new QAction(title, this);
    item->setProperty(menuActionProperty, menuAction);
    if (!shortcut.isEmpty())
        item->setShortcut(shortcut);
    connect(item, &QAction::triggered, this, [this, item] { perform(item); });
    m_actions.append(item);
    return item;
}

QAction *MainMenu::action(const QByteArray &menuAction) const
{
    for (QAction *item : m_actions) {
        if (menuActionOf(item) == menuAction)
            return item;
    }
    return nullptr;
}

void MainMenu::install(QMenuBar *bar)
{
    bar->addMenu(makeApplicationMenu(bar));
    bar->addMenu(makeFileMenu(bar));
    bar->addMenu(makeEditMenu(bar));
    bar->addMenu(makeViewMenu(bar));
    bar->addMenu(makeGoMenu(bar));
}

QMenu *MainMenu::makeMenu(const QString &title, const QList<QByteArray> &items, QWidget *parent)
{
    auto *menu = new QMenu(title, parent);
    for (const QByteArray &name : items) {
        if (name == separator)
            menu->addSeparator();
        else
            menu->addAction(action(name));
    }
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { validateMenu(menu); });
    // Items stay enabled while their menu is closed: a shortcut must reach
    // perform(), which validates against the state of that moment.
    connect(menu, &QMenu::aboutToHide, this, [menu] {
        for (QAction *item : menu->actions())
            item->setEnabled(true);
    });
    return menu;
}

QMenu *MainMenu::makeApplicationMenu(QWidget *parent)
{
    return makeMenu(QStringLiteral("Tidewright"), {"showPreferences", separator, "terminate"}, parent);
}

QMenu *MainMenu::makeFileMenu(QWidget *parent)
{
    return makeMenu(tr("File"),
                    {"newWindow", "newFolder", "openSelection", separator, "showInfoForSelection", "toggleQuickLook",
                     "duplicateSelection", "renameSelection", separator, "moveSelectionToEnclosingFolder", separator,
                     "moveSelectionToTrash", "emptyTrash", separator, "performClose"},
                    parent);
}

QMenu *MainMenu::makeEditMenu(QWidget *parent)
{
    return makeMenu(tr("Edit"), {"undo", "redo", separator, "cut", "copy", "paste", "selectAll"}, parent);
}

QMenu *MainMenu::makeViewMenu(QWidget *parent)
{
    auto *view = new QMenu(tr("View"), parent);
    auto *arrangeBy = new QMenu(tr("Arrange By"), view);
    arrangeBy->addActions(m_sortActions);
    connect(arrangeBy, &QMenu::aboutToShow, this, [this, arrangeBy] { validateMenu(arrangeBy); });
    view->addMenu(arrangeBy);
    return view;
}

QMenu *MainMenu::makeGoMenu(QWidget *parent)
{
    return makeMenu(tr("Go"), {"goToEnclosingFolder", separator, "connectToServer"}, parent);
}

void MainMenu::validateMenu(QMenu *menu) const
{
    for (QAction *item : menu->actions()) {
        if (!item->isSeparator() && !item->menu())
            item->setEnabled(validate(item));
    }
}

QObject *MainMenu::responder(const QAction *item)
{
    const QByteArray action = menuActionOf(item);
    QWidget *widget = QApplication::focusWidget();
    if (!widget)
        widget = QApplication::activeWindow();
    for (; widget; widget = widget->parentWidget()) {
        bool takesSender = false;
        if (methodIndex(widget, action, &takesSender) >= 0)
            return widget;
        if (widget->isWindow())
            break;
    }
    return nullptr;
}

bool MainMenu::validate(QAction *item) const
{
    const QByteArray action = menuActionOf(item);
    if (action == "performClose")
        return QApplication::activeWindow() != nullptr;
    if (isApplicationCommand(action))
        return true;
    QObject *target = responder(item);
    if (!target)
        return false;
    if (auto *window = qobject_cast<MainWindowController *>(target))
        return window->validateMenuItem(item);
    return validateTextInput(target, action);
}

void MainMenu::perform(QAction *item)
{
    if (!validate(item))
        return;
    const QByteArray action = menuActionOf(item);
    if (action == "newWindow" && m_commands.newWindow)
        return m_commands.newWindow();
    if (action == "showPreferences" && m_commands.showPreferences)
        return m_commands.showPreferences();
    if (action == "terminate" && m_commands.quit)
        return m_commands.quit();
    if (action == "performClose") {
        if (QWidget *window = QApplication::activeWindow())
            window->close();
        return;
    }
    QObject *target = responder(item);
    if (!target)
        return;
    bool takesSender = false;
    const QMetaMethod method = target->metaObject()->method(methodIndex(target, action, &takesSender));
    if (takesSender)
        method.invoke(target, Qt::DirectConnection, Q_ARG(QAction *, item));
    else
        method.invoke(target, Qt::DirectConnection);
}

void MainMenu::updateBareKeyShortcuts()
{
    const MainWindowController *window = activeMainWindow();
    const bool browserHasFocus = window && window->browserHasFocus();
    for (QAction *item : m_actions) {
        const auto bare = item->property(bareShortcutsProperty).value<QList<QKeySequence>>();
        if (bare.isEmpty())
            continue;
        QList<QKeySequence> shortcuts = item->shortcuts();
        for (const QKeySequence &key : bare)
            shortcuts.removeAll(key);
        if (browserHasFocus)
            shortcuts += bare;
        item->setShortcuts(shortcuts);
    }
}
