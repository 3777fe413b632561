#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class FileJob;
class FileJobQueue;
class QUndoStack;
class QWidget;
class SelectionProviding;
struct FileJobResult;

// The file commands of one main window: what they do to the active browser's
// selection, their undo steps and their alerts. The window owns one and points
// it at whichever browser it shows.
//
// The file work of every command, and of every undo and redo, runs as a file
// job, so the window never waits for a disk. A command's alerts show and its
// undo step is registered when its job ends, for what succeeded; undo and redo
// work runs one step after another, in the order asked, each acting on where
// the one before left the items.
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

    explicit FileCommands(QWidget *window, QObject *parent = nullptr);
    ~FileCommands() override;

    QUndoStack *undoStack() const { return m_undoStack; }

    // The browser commands act on; may change with the view mode.
    void setSelectionProvider(std::function<SelectionProviding *()> provider);
    // Where the jobs run; the application's shared queue unless set.
    void setJobQueue(FileJobQueue *queue);
    // Whether a command's job, or an undo's or a redo's, runs or waits.
    bool isBusy() const;

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

Q_SIGNALS:
    // A command's job, or an undo's or a redo's, ended; its alerts and undo
    // step are in place.
    void workFinished();

private:
    // Undo or redo work: `start` makes the job from where the items are now
    // (nullptr when there is nothing to do), `finish` notes where they went.
    struct StepWork
    {
        std::function<FileJob *()> start;
        std::function<void(const FileJobResult &result)> finish;
    };
    class UndoStep;

    QList<QUrl> selectedURLs() const;
    QUrl currentDirectoryURL() const;
    void refreshAllViews();
    void startJob(FileJob *job, std::function<void(const FileJobResult &result)> finished);
    void showFailures(const FileJobResult &result);
    void pushStep(const QString &actionName, StepWork undoWork, StepWork redoWork);
    void runStepWork(StepWork work);
    void startNextStepWork();

    QPointer<QWidget> m_window;
    QUndoStack *m_undoStack;
    std::function<SelectionProviding *()> m_selectionProvider;
    QPointer<FileJobQueue> m_jobQueue;
    int m_runningJobs = 0;
    QList<StepWork> m_waitingSteps;
    bool m_isRunningStep = false;
};
