#pragma once

#include "DragOperationResolver.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <Qt>

#include <functional>

class QMimeData;
class QWidget;

// What every browser view and the sidebar do with files dropped on them, so
// that they refuse and perform drops alike. Only local files count; a folder is
// never dropped into itself or into a folder inside it; a move into the folder
// an item already lies in changes nothing and is left alone.
namespace FileDropHandler {

struct Failure
{
    QUrl source;
    QString message;
};

struct Result
{
    QList<QUrl> placed;     // where each copied or moved item now is
    QList<Failure> failures;
    // Nothing placed is not a success, even when nothing failed either.
    bool succeeded() const { return !placed.isEmpty(); }
};

// The local file URLs `data` carries, in order; empty when it carries none.
QList<QUrl> sources(const QMimeData *data);

// Whether `source` is `folder` or lies inside it, judged by the paths (the
// operation itself checks again by device and inode).
bool isSameOrInside(const QUrl &folder, const QUrl &source);

// The action to show while dragging `sources` over `destinationFolder` with
// `tracker`'s keys: IgnoreAction when the drop is refused (nothing to drop, a
// folder over itself or over a folder inside it, or a move of items that all
// lie in `destinationFolder` already), else CopyAction or MoveAction.
Qt::DropAction proposedAction(const QList<QUrl> &sources, const QUrl &destinationFolder,
                              const DragModifierTracker &tracker);

// Copies or moves each source into `destinationFolder`, in order, as one file
// job on the shared queue, so the window never waits for a disk and the
// progress panel shows a long drop. Each item is copied or moved as
// `tracker`'s keys and its volume say, decided on the job's thread, since
// either volume may be slow to answer; a failure of one item is recorded and
// the next goes on. Returns false when there is nothing to do: nothing usable,
// or every item refused or already in place. When the job ends, what failed or
// was refused is shown on `window` (if it still exists), and then `finished`
// (if given) runs with the whole result. Main thread.
bool perform(const QList<QUrl> &sources, const QUrl &destinationFolder, const DragModifierTracker &tracker,
             QWidget *window, std::function<void(const Result &result)> finished = {});

// One window-modal message listing every failure of `result`; nothing when
// there was none.
void showFailures(const Result &result, QWidget *parent);

} // namespace FileDropHandler
