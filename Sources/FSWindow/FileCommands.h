#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class QUndoStack;
class QWidget;
class SelectionProviding;

// The file commands of one main window: what they do to the active browser's
// selection, their undo steps and their alerts. The window owns one and points
// it at whichever browser it shows.
class FileCommands : public QObject
{
    Q_OBJECT

public:
    enum class Command {
        newFolder,
        duplicate,
        moveToTrash,
        moveToEnclosingFolder,
        emptyTrash,
        rename,
        open,
        getInfo,
        copy,
        paste,
    };

    // Runs a command's file work, then `finished` on the main thread. The work
    // touches only what the command captured, never a widget, so it may run on
    // another thread; by default it runs at once on the calling thread.
    using WorkRunner = std::function<void(std::function<void()> work, std::function<void()> finished)>;

    explicit FileCommands(QWidget *window, QObject *parent = nullptr);
    ~FileCommands() override;

    QUndoStack *undoStack() const { return m_undoStack; }

    // The browser commands act on; may change with the view mode.
    void setSelectionProvider(std::function<SelectionProviding *()> provider);
    void setWorkRunner(WorkRunner runner);

    // What the window does for the commands that are not file work.
    std::function<void()> onRefreshAllViews;
    std::function<void(const QUrl &folder)> onNavigate;
    std::function<void(const QUrl &folder)> onOpenInNewWindow;
    std::function<void(const QList<QUrl> &items)> onShowInfo;
    // Opens a file with its default application; QDesktopServices when unset.
    std::function<void(const QUrl &file)> onOpenFile;

    // Whether the menu item of `command` is enabled now.
    bool validate(Command command) const;

    void newFolder();
    void duplicateSelection();
    void moveSelectionToTrash();
    // Each item moves to the folder that holds the folder it is in, so a column
    // view's selection deep in the tree moves one level up.
    void moveSelectionToEnclosingFolder();
    void emptyTrash();
    void renameSelection();
    void showInfoForSelection();
    void openSelection();
    void copy();
    void paste();

    void showFileOperationError(const QString &description);

private:
    QList<QUrl> selectedURLs() const;
    QUrl currentDirectoryURL() const;
    void refreshAllViews();
    void run(std::function<void()> work, std::function<void()> finished);
    void pushStep(const QString &actionName, std::function<void()> undoWork, std::function<void()> redoWork);

    QPointer<QWidget> m_window;
    QUndoStack *m_undoStack;
    std::function<SelectionProviding *()> m_selectionProvider;
    WorkRunner m_runner;
};
