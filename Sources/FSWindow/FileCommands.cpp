#include "FileCommands.h"

#include "FileJobProgressPanel.h"

#include "FSCore/FileItem.h"
#include "FSCore/FileJob.h"
#include "FSCore/FileJobQueue.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/FilePasteboard.h"
#include "FSUIKit/SelectionProviding.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QUndoCommand>
#include <QUndoStack>
#include <QWidget>

#include <memory>

namespace {

QUrl parentFolder(const QUrl &item)
{
    const QString path = PathCodec::urlForPath(item.toLocalFile()).toLocalFile();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return PathCodec::urlForPath(slash <= 0 ? QStringLiteral("/") : path.left(slash));
}

bool isTopFolder(const QUrl &folder)
{
    return parentFolder(folder).toLocalFile() == PathCodec::urlForPath(folder.toLocalFile()).toLocalFile();
}

// Where one item of an undoable command is now. Undo and redo share it, so each
// acts on what the one before it left; an empty `current` means the last step
// failed and the next one has nothing to act on.
struct ItemPlace
{
    QUrl current;
};
using SharedPlace = std::shared_ptr<ItemPlace>;

SharedPlace placeAt(const QUrl &url = {})
{
    return std::make_shared<ItemPlace>(ItemPlace{url});
}

// Where a one-item job put its item; empty when it failed or was stopped first.
QUrl madeBy(const FileJobResult &result)
{
    return result.succeeded.isEmpty() ? QUrl() : result.succeeded.first().result;
}

} // namespace

// A step whose work already happened when it is pushed: the stack's first
// redo is skipped. Its work goes through the commands' queue of step work, so
// an undo asked while another still runs waits for it.
class FileCommands::UndoStep : public QUndoCommand
{
public:
    UndoStep(const QString &name, FileCommands *commands, StepWork undoWork, StepWork redoWork)
        : QUndoCommand(name), m_commands(commands), m_undoWork(std::move(undoWork)), m_redoWork(std::move(redoWork))
    {
    }

    void undo() override
    {
        if (m_commands)
            m_commands->runStepWork(m_undoWork);
    }
    void redo() override
    {
        if (m_hasRun && m_commands)
            m_commands->runStepWork(m_redoWork);
        m_hasRun = true;
    }

private:
    QPointer<FileCommands> m_commands;
    StepWork m_undoWork;
    StepWork m_redoWork;
    bool m_hasRun = false;
};

namespace {

// Undo or redo work that takes the item from where `from` says (nothing to do
// when it is nowhere), hands it to `makeJob` and notes where it went in `to`;
// `from` no longer holds it either way.
template<typename Work>
Work relocate(const SharedPlace &from, const SharedPlace &to, FileJob *(*makeJob)(const QList<QUrl> &, QObject *))
{
    return Work{[from, makeJob]() -> FileJob * { return from->current.isEmpty() ? nullptr : makeJob({from->current}, nullptr); },
                [from, to](const FileJobResult &result) {
                    from->current.clear();
                    to->current = madeBy(result);
                }};
}

} // namespace

FileCommands::FileCommands(QWidget *window, QObject *parent)
    : QObject(parent), m_window(window), m_undoStack(new QUndoStack(this))
{
}

FileCommands::~FileCommands() = default;

void FileCommands::setSelectionProvider(std::function<SelectionProviding *()> provider)
{
    m_selectionProvider = std::move(provider);
}

void FileCommands::setJobQueue(FileJobQueue *queue)
{
    m_jobQueue = queue;
}

bool FileCommands::isBusy() const
{
    return m_runningJobs > 0 || m_isRunningStep || !m_waitingSteps.isEmpty();
}

QList<QUrl> FileCommands::selectedURLs() const
{
    SelectionProviding *browser = m_selectionProvider ? m_selectionProvider() : nullptr;
    return browser ? browser->selectedURLs() : QList<QUrl>();
}

QUrl FileCommands::currentDirectoryURL() const
{
    SelectionProviding *browser = m_selectionProvider ? m_selectionProvider() : nullptr;
    return browser ? browser->currentDirectoryURL() : QUrl();
}

void FileCommands::refreshAllViews()
{
    if (onRefreshAllViews)
        onRefreshAllViews();
}

void FileCommands::startJob(FileJob *job, std::function<void(const FileJobResult &result)> finished)
{
    FileJobQueue *queue = m_jobQueue ? m_jobQueue.data() : FileJobQueue::shared();
    // The panel watches the shared queue from the first job a window starts.
    if (queue == FileJobQueue::shared())
        FileJobProgressPanel::forSharedQueue();
    ++m_runningJobs;
    // A window closed meanwhile hears nothing; the job itself still ends as it would.
    queue->add(job, this, [this, finished = std::move(finished)](const FileJobResult &result) {
        --m_runningJobs;
        finished(result);
        Q_EMIT workFinished();
    });
}

void FileCommands::showFailures(const FileJobResult &result)
{
    for (const FileJobFailure &failure : result.failures)
        showFileOperationError(failure.message);
}

// Undo and redo are not shown when they fail, and the views refresh either way.
void FileCommands::pushStep(const QString &actionName, StepWork undoWork, StepWork redoWork)
{
    m_undoStack->push(new UndoStep(actionName, this, std::move(undoWork), std::move(redoWork)));
}

void FileCommands::runStepWork(StepWork work)
{
    m_waitingSteps.append(std::move(work));
    if (!m_isRunningStep)
        startNextStepWork();
}

void FileCommands::startNextStepWork()
{
    while (!m_waitingSteps.isEmpty()) {
        const StepWork work = m_waitingSteps.takeFirst();
        if (FileJob *job = work.start()) {
            m_isRunningStep = true;
            startJob(job, [this, finish = work.finish](const FileJobResult &result) {
                finish(result);
                m_isRunningStep = false;
                refreshAllViews();
                startNextStepWork();
            });
            return;
        }
        refreshAllViews();
    }
}

void FileCommands::showFileOperationError(const QString &description)
{
    if (!m_window)
        return;
    auto *alert = new QMessageBox(QMessageBox::Warning, QString(), tr("The operation couldn’t be completed."),
                                  QMessageBox::Ok, m_window);
    alert->setInformativeText(description);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->open();
}

bool FileCommands::validate(Command command) const
{
    switch (command) {
    case Command::duplicate:
    case Command::moveToTrash:
    case Command::rename:
    case Command::getInfo:
    case Command::copy:
        return !selectedURLs().isEmpty();
    case Command::paste:
        return !FilePasteboard::readURLs().isEmpty();
    case Command::newFolder:
        return !currentDirectoryURL().isEmpty();
    case Command::moveToEnclosingFolder:
    case Command::emptyTrash:
    case Command::open:
        return true;
    }
    return true;
}

void FileCommands::newFolder()
{
    const QUrl folder = currentDirectoryURL();
    if (folder.isEmpty())
        return;
    startJob(FileJob::newFolder(folder), [this](const FileJobResult &result) {
        showFailures(result);
        refreshAllViews();
        if (result.succeeded.isEmpty())
            return;
        // Undo puts the folder in the Trash with whatever was put into it
        // meanwhile; redo brings that back rather than making an empty one.
        const SharedPlace place = placeAt(madeBy(result));
        const SharedPlace trashed = placeAt();
        pushStep(tr("New Folder"), relocate<StepWork>(place, trashed, &FileJob::moveToTrash),
                 relocate<StepWork>(trashed, place, &FileJob::restoreFromTrash));
    });
}

void FileCommands::duplicateSelection()
{
    const QList<QUrl> items = selectedURLs();
    if (items.isEmpty()) {
        refreshAllViews();
        return;
    }
    startJob(FileJob::duplicate(items), [this](const FileJobResult &result) {
        showFailures(result);
        for (const FileJobSuccess &success : result.succeeded) {
            const SharedPlace copy = placeAt(success.result);
            const QUrl original = success.source;
            pushStep(tr("Duplicate"), relocate<StepWork>(copy, placeAt(), &FileJob::moveToTrash),
                     {[original] { return FileJob::duplicate({original}); },
                      [copy](const FileJobResult &redone) { copy->current = madeBy(redone); }});
        }
        refreshAllViews();
    });
}

void FileCommands::moveSelectionToTrash()
{
    const QList<QUrl> items = selectedURLs();
    if (items.isEmpty()) {
        refreshAllViews();
        return;
    }
    startJob(FileJob::moveToTrash(items), [this](const FileJobResult &result) {
        showFailures(result);
        for (const FileJobSuccess &success : result.succeeded) {
            // Undo restores from the Trash's own record, so its info file goes
            // too and a name taken meanwhile gets a number.
            const SharedPlace inTrash = placeAt(success.result);
            const SharedPlace restored = placeAt();
            pushStep(tr("Move to Trash"), relocate<StepWork>(inTrash, restored, &FileJob::restoreFromTrash),
                     relocate<StepWork>(restored, inTrash, &FileJob::moveToTrash));
        }
        refreshAllViews();
    });
}

void FileCommands::moveSelectionToEnclosingFolder()
{
    QList<QUrl> items;
    QList<QUrl> destinations;
    for (const QUrl &item : selectedURLs()) {
        const QUrl from = parentFolder(item);
        // Moving an item of the top folder "up" would only number it.
        if (isTopFolder(from))
            continue;
        items.append(item);
        destinations.append(parentFolder(from));
    }
    if (items.isEmpty())
        return;
    startJob(FileJob::move(items, destinations), [this](const FileJobResult &result) {
        showFailures(result);
        for (const FileJobSuccess &success : result.succeeded) {
            const SharedPlace place = placeAt(success.result);
            const QUrl from = parentFolder(success.source);
            // Each moves the item under the name it has now.
            const auto moveInto = [place](const QUrl &folder) {
                return StepWork{[place, folder]() -> FileJob * {
                                    return place->current.isEmpty() ? nullptr : FileJob::move({place->current}, folder);
                                },
                                [place](const FileJobResult &moved) { place->current = madeBy(moved); }};
            };
            pushStep(tr("Move to Enclosing Folder"), moveInto(from), moveInto(parentFolder(from)));
        }
        refreshAllViews();
    });
}

void FileCommands::emptyTrash()
{
    if (!m_window)
        return;
    auto *alert = new QMessageBox(QMessageBox::Warning, QString(),
                                  tr("Are you sure you want to permanently erase the items in the Trash?"),
                                  QMessageBox::NoButton, m_window);
    alert->setInformativeText(tr("You can’t undo this action."));
    QPushButton *erase = alert->addButton(tr("Empty Trash"), QMessageBox::DestructiveRole);
    alert->addButton(tr("Cancel"), QMessageBox::RejectRole);
    alert->setDefaultButton(erase);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    QPointer<FileCommands> self(this);
    connect(alert, &QMessageBox::buttonClicked, this, [self, erase](QAbstractButton *button) {
        if (self && button == erase)
            self->startJob(FileJob::emptyTrash(), [self](const FileJobResult &result) { self->showFailures(result); });
    });
    alert->open();
}

void FileCommands::renameSelection()
{
    SelectionProviding *browser = m_selectionProvider ? m_selectionProvider() : nullptr;
    if (browser && !browser->selectedURLs().isEmpty())
        browser->beginRename();
}

void FileCommands::showInfoForSelection()
{
    const QList<QUrl> items = selectedURLs();
    if (!items.isEmpty() && onShowInfo)
        onShowInfo(items);
}

void FileCommands::openSelection()
{
    const QList<QUrl> items = selectedURLs();
    const auto openFile = [this](const QUrl &url) {
        if (onOpenFile)
            onOpenFile(url);
        else
            QDesktopServices::openUrl(url);
    };
    if (items.size() == 1) {
        if (FileItem(items.first()).isBrowsable()) {
            if (onNavigate)
                onNavigate(items.first());
        } else {
            openFile(items.first());
        }
        return;
    }
    for (const QUrl &url : items) {
        if (!FileItem(url).isBrowsable())
            openFile(url);
        else if (onOpenInNewWindow)
            onOpenInNewWindow(url);
    }
}

void FileCommands::copy()
{
    const QList<QUrl> items = selectedURLs();
    if (!items.isEmpty())
        FilePasteboard::write(items);
}

void FileCommands::paste()
{
    struct Copy
    {
        QUrl source;
        SharedPlace place;
    };
    const QList<QUrl> sources = FilePasteboard::readURLs();
    const QUrl folder = currentDirectoryURL();
    if (sources.isEmpty() || folder.isEmpty())
        return;
    startJob(FileJob::copy(sources, folder), [this, folder](const FileJobResult &result) {
        // A folder pasted into itself and the like: the user asked for it
        // and must learn why nothing came.
        showFailures(result);
        if (result.succeeded.isEmpty())
            return;
        refreshAllViews();
        // Only what succeeded is repeated, and a copy that fails on redo
        // drops out of every later step.
        auto copies = std::make_shared<QList<Copy>>();
        for (const FileJobSuccess &success : result.succeeded)
            copies->append({success.source, placeAt(success.result)});
        const auto sourcesOf = [copies] {
            QList<QUrl> urls;
            for (const Copy &copy : std::as_const(*copies))
                urls.append(copy.source);
            return urls;
        };
        pushStep(
            tr("Paste"),
            {[copies]() -> FileJob * {
                 QList<QUrl> made;
                 for (const Copy &copy : std::as_const(*copies)) {
                     if (!copy.place->current.isEmpty())
                         made.append(copy.place->current);
                 }
                 return made.isEmpty() ? nullptr : FileJob::moveToTrash(made);
             },
             [copies](const FileJobResult &) {
                 for (const Copy &copy : std::as_const(*copies))
                     copy.place->current.clear();
             }},
            {[sourcesOf, folder]() -> FileJob * {
                 const QList<QUrl> again = sourcesOf();
                 return again.isEmpty() ? nullptr : FileJob::copy(again, folder);
             },
             [copies](const FileJobResult &redone) {
                 QList<Copy> kept;
                 for (const FileJobSuccess &success : redone.succeeded) {
                     for (const Copy &copy : std::as_const(*copies)) {
                         if (copy.source == success.source && copy.place->current.isEmpty()) {
                             copy.place->current = success.result;
                             kept.append(copy);
                             break;
                         }
                     }
                 }
                 *copies = kept;
             }});
    });
}
