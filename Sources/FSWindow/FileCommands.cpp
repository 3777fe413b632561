#include "FileCommands.h"

#include "FSCore/FileItem.h"
#include "FSCore/FileOperations.h"
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

// Failures of file work, gathered wherever the work ran and shown afterwards
// on the main thread, one alert each.
using ErrorList = std::shared_ptr<QStringList>;

template<typename Operation>
auto attempt(const ErrorList &errors, Operation operation) -> decltype(operation())
{
    try {
        return operation();
    } catch (const OperationError &error) {
        if (errors)
            errors->append(error.localizedDescription());
        return {};
    }
}

// Where one item of an undoable command is now. Undo and redo share it, so each
// acts on what the one before it left; an empty `current` means the last step
// failed and the next one has nothing to act on.
struct ItemPlace
{
    QUrl current;
};
using SharedPlace = std::shared_ptr<ItemPlace>;

// A step whose work already happened when it is pushed: the stack's first
// redo is skipped.
class FileUndoStep : public QUndoCommand
{
public:
    FileUndoStep(const QString &name, std::function<void()> undoWork, std::function<void()> redoWork)
        : QUndoCommand(name), m_undoWork(std::move(undoWork)), m_redoWork(std::move(redoWork))
    {
    }

    void undo() override { m_undoWork(); }
    void redo() override
    {
        if (m_hasRun)
            m_redoWork();
        m_hasRun = true;
    }

private:
    std::function<void()> m_undoWork;
    std::function<void()> m_redoWork;
    bool m_hasRun = false;
};

} // namespace

FileCommands::FileCommands(QWidget *window, QObject *parent)
    : QObject(parent), m_window(window), m_undoStack(new QUndoStack(this))
{
    m_runner = [](std::function<void()> work, std::function<void()> finished) {
        work();
        finished();
    };
}

FileCommands::~FileCommands() = default;

void FileCommands::setSelectionProvider(std::function<SelectionProviding *()> provider)
{
    m_selectionProvider = std::move(provider);
}

void FileCommands::setWorkRunner(WorkRunner runner)
{
    m_runner = std::move(runner);
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

void FileCommands::run(std::function<void()> work, std::function<void()> finished)
{
    QPointer<FileCommands> self(this);
    m_runner(std::move(work), [self, finished = std::move(finished)] {
        if (self)
            finished();
    });
}

// Undo and redo run their work through the same runner as the commands;
// their failures are not shown, and the views refresh either way.
void FileCommands::pushStep(const QString &actionName, std::function<void()> undoWork,
                            std::function<void()> redoWork)
{
    QPointer<FileCommands> self(this);
    auto inRunner = [self](std::function<void()> work) {
        return [self, work = std::move(work)] {
            if (!self)
                return work();
            self->run(work, [self] { self->refreshAllViews(); });
        };
    };
    m_undoStack->push(new FileUndoStep(actionName, inRunner(std::move(undoWork)), inRunner(std::move(redoWork))));
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
    auto errors = std::make_shared<QStringList>();
    auto place = std::make_shared<ItemPlace>();
    // Undo puts the folder in the Trash with whatever was put into it meanwhile;
    // redo brings that back rather than making an empty one.
    auto trashed = std::make_shared<ItemPlace>();
    run([=] { place->current = attempt(errors, [&] { return FileOperations::createNewFolder(folder); }); },
        [=, this] {
            for (const QString &error : std::as_const(*errors))
                showFileOperationError(error);
            refreshAllViews();
            if (place->current.isEmpty())
                return;
            pushStep(
                tr("New Folder"),
                [=] {
                    if (place->current.isEmpty())
                        return;
                    trashed->current = attempt(ErrorList(), [&] { return FileOperations::moveToTrash(place->current); });
                    place->current.clear();
                },
                [=] {
                    if (trashed->current.isEmpty())
                        return;
                    place->current = attempt(ErrorList(), [&] { return FileOperations::restoreFromTrash(trashed->current); });
                    trashed->current.clear();
                });
        });
}

void FileCommands::duplicateSelection()
{
    const QList<QUrl> items = selectedURLs();
    auto errors = std::make_shared<QStringList>();
    auto copies = std::make_shared<QList<SharedPlace>>();
    run(
        [=] {
            for (const QUrl &item : items) {
                auto place = std::make_shared<ItemPlace>();
                place->current = attempt(errors, [&] { return FileOperations::duplicate(item); });
                copies->append(place);
            }
        },
        [=, this] {
            for (const QString &error : std::as_const(*errors))
                showFileOperationError(error);
            for (qsizetype i = 0; i < copies->size(); ++i) {
                const SharedPlace place = copies->at(i);
                const QUrl original = items.at(i);
                if (place->current.isEmpty())
                    continue;
                pushStep(
                    tr("Duplicate"),
                    [place] {
                        if (!place->current.isEmpty())
                            attempt(ErrorList(), [&] { return FileOperations::moveToTrash(place->current); });
                        place->current.clear();
                    },
                    [place, original] {
                        place->current = attempt(ErrorList(), [&] { return FileOperations::duplicate(original); });
                    });
            }
            refreshAllViews();
        });
}

void FileCommands::moveSelectionToTrash()
{
    const QList<QUrl> items = selectedURLs();
    auto errors = std::make_shared<QStringList>();
    auto trashed = std::make_shared<QList<SharedPlace>>();
    run(
        [=] {
            for (const QUrl &item : items) {
                auto place = std::make_shared<ItemPlace>();
                place->current = attempt(errors, [&] { return FileOperations::moveToTrash(item); });
                trashed->append(place);
            }
        },
        [=, this] {
            for (const QString &error : std::as_const(*errors))
                showFileOperationError(error);
            for (const SharedPlace &inTrash : std::as_const(*trashed)) {
                if (inTrash->current.isEmpty())
                    continue;
                // Undo restores from the Trash's own record, so its info file
                // goes too and a name taken meanwhile gets a number.
                auto restored = std::make_shared<ItemPlace>();
                pushStep(
                    tr("Move to Trash"),
                    [inTrash, restored] {
                        if (inTrash->current.isEmpty())
                            return;
                        restored->current = attempt(ErrorList(), [&] { return FileOperations::restoreFromTrash(inTrash->current); });
                        inTrash->current.clear();
                    },
                    [inTrash, restored] {
                        if (restored->current.isEmpty())
                            return;
                        inTrash->current = attempt(ErrorList(), [&] { return FileOperations::moveToTrash(restored->current); });
                        restored->current.clear();
                    });
            }
            refreshAllViews();
        });
}

void FileCommands::moveSelectionToEnclosingFolder()
{
    struct Move
    {
        QUrl from;  // the folder the item was in
        SharedPlace place;
    };
    const QList<QUrl> items = selectedURLs();
    auto errors = std::make_shared<QStringList>();
    auto moves = std::make_shared<QList<Move>>();
    run(
        [=] {
            for (const QUrl &item : items) {
                const QUrl from = parentFolder(item);
                // Moving an item of the top folder "up" would only number it.
                if (isTopFolder(from))
                    continue;
                auto place = std::make_shared<ItemPlace>();
                place->current = attempt(errors, [&] { return FileOperations::move(item, parentFolder(from)); });
                if (!place->current.isEmpty())
                    moves->append({from, place});
            }
        },
        [=, this] {
            for (const QString &error : std::as_const(*errors))
                showFileOperationError(error);
            if (moves->isEmpty() && errors->isEmpty())
                return;
            for (const Move &move : std::as_const(*moves)) {
                const SharedPlace place = move.place;
                const QUrl from = move.from;
                pushStep(
                    tr("Move to Enclosing Folder"),
                    [place, from] {
                        if (!place->current.isEmpty())
                            place->current = attempt(ErrorList(), [&] { return FileOperations::move(place->current, from); });
                    },
                    [place, from] {
                        if (!place->current.isEmpty())
                            place->current = attempt(ErrorList(), [&] { return FileOperations::move(place->current, parentFolder(from)); });
                    });
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
        if (!self || button != erase)
            return;
        auto errors = std::make_shared<QStringList>();
        self->run([errors] { attempt(errors, [] { FileOperations::emptyTrash(); return 0; }); },
                  [self, errors] {
                      for (const QString &error : std::as_const(*errors))
                          self->showFileOperationError(error);
                  });
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
    auto errors = std::make_shared<QStringList>();
    auto copies = std::make_shared<QList<Copy>>();
    run(
        [=] {
            for (const QUrl &source : sources) {
                auto place = std::make_shared<ItemPlace>();
                place->current = attempt(errors, [&] { return FileOperations::copy(source, folder); });
                if (!place->current.isEmpty())
                    copies->append({source, place});
            }
        },
        [=, this] {
            // A folder pasted into itself and the like: the user asked for it
            // and must learn why nothing came.
            for (const QString &error : std::as_const(*errors))
                showFileOperationError(error);
            if (copies->isEmpty())
                return;
            refreshAllViews();
            // Only what succeeded is repeated, and a copy that fails on redo
            // drops out of every later step.
            auto repeated = std::make_shared<QList<Copy>>(*copies);
            pushStep(
                tr("Paste"),
                [repeated] {
                    for (const Copy &copy : std::as_const(*repeated)) {
                        if (!copy.place->current.isEmpty())
                            attempt(ErrorList(), [&] { return FileOperations::moveToTrash(copy.place->current); });
                        copy.place->current.clear();
                    }
                },
                [repeated, folder] {
                    QList<Copy> kept;
                    for (const Copy &copy : std::as_const(*repeated)) {
                        copy.place->current = attempt(ErrorList(), [&] { return FileOperations::copy(copy.source, folder); });
                        if (!copy.place->current.isEmpty())
                            kept.append(copy);
                    }
                    *repeated = kept;
                });
        });
}
