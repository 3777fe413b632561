#pragma once

#include "DragOperationResolver.h"

#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QString>
#include <QUrl>

#include <Qt>

#include <functional>
#include <optional>

class QAbstractItemView;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QPainter;
class QWidget;
class SpringLoadTimer;

// The drag and drop side of a browser view, so that the three views drag
// files out, refuse and perform drops, and open folders a drag rests on
// alike; the sidebar performs its drops through it too. Only local files count; a folder is never dropped into itself or into
// a folder inside it; a move into the folder an item already lies in changes
// nothing and is left alone. Ctrl copies, Shift moves.
//
// The view owns one, answers targetAt() and hands it its drag events.
class FileDropHandler : public QObject
{
    Q_OBJECT
public:
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

    // Where a drop at some point of the view goes.
    struct Target
    {
        QUrl folder;
        // The folder's row under the pointer, outlined and opened when the
        // drag rests on it; invalid for a drop between rows or on the background.
        QPersistentModelIndex row;
        // The drop goes into the folder the view shows: the whole view is outlined.
        bool isShownFolder = false;
    };

    explicit FileDropHandler(QAbstractItemView *view);
    ~FileDropHandler() override;

    // Where a drop at `position` (viewport coordinates) goes; nothing where a
    // drop is refused, such as a file's row.
    std::function<std::optional<Target>(const QPoint &position)> targetAt;
    // A drag rested on the folder of `row` for a moment.
    std::function<void(const QUrl &folder, const QModelIndex &row)> onSpringLoad;
    // A drop into `folder` has ended: `placed` is where its files are now (the
    // rest of the drop may have failed, and then its failures were shown).
    std::function<void(const QUrl &folder, const QList<QUrl> &sources, const QList<QUrl> &placed)> onDropped;

    // From the view's own event handlers; the view's base handlers may run
    // first (for scrolling near the edges), this decides.
    void dragEnter(QDragEnterEvent *event);
    void dragMove(QDragMoveEvent *event);
    void dragLeave();
    void drop(QDropEvent *event);

    // Drags the selected rows' files out of the view, pictured by the cell
    // under the pointer. The rows stay: a move shows up as the change the
    // folder's listing reports, never as rows taken out here.
    void startDrag(Qt::DropActions supportedActions);

    // What a drop now would go onto, drawn by the view.
    QModelIndex highlightedRow() const { return m_highlightedRow; }
    bool isHighlightingShownFolder() const { return m_isHighlightingShownFolder; }
    // Outlines the whole viewport while a drop would go into the shown folder,
    // else `rowRect` when a folder row is the target (an empty rect: the cell
    // draws its own outline).
    void paintHighlight(QPainter *painter, const QRect &rowRect) const;

    SpringLoadTimer *springLoadTimer() const { return m_springLoad; }
    const DragModifierTracker &modifiers() const { return m_modifiers; }

    // The local file URLs `data` carries, in order; empty when it carries none.
    static QList<QUrl> sources(const QMimeData *data);

    // Whether `source` is `folder` or lies inside it, judged by the paths (the
    // operation itself checks again by device and inode).
    static bool isSameOrInside(const QUrl &folder, const QUrl &source);

    // The action to show while dragging `sources` over `destinationFolder` with
    // `tracker`'s keys: IgnoreAction when the drop is refused (nothing to drop, a
    // folder over itself or over a folder inside it, or a move of items that all
    // lie in `destinationFolder` already), else CopyAction or MoveAction.
    static Qt::DropAction proposedAction(const QList<QUrl> &sources, const QUrl &destinationFolder,
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
    static bool perform(const QList<QUrl> &sources, const QUrl &destinationFolder, const DragModifierTracker &tracker,
                        QWidget *window, std::function<void(const Result &result)> finished = {});

    // One window-modal message listing every failure of `result`; nothing when
    // there was none.
    static void showFailures(const Result &result, QWidget *parent);

private:
    // The action a drag at `position` would take, with its target.
    Qt::DropAction actionAt(const QPoint &position, const QMimeData *data, Qt::KeyboardModifiers keys,
                            Qt::DropActions possible, std::optional<Target> *target);
    void setHighlight(const QModelIndex &row, bool isShownFolder);
    // Carries out a drop that was accepted; true when a job was started for it.
    bool carryOut(const QList<QUrl> &sources, const QUrl &folder);

    QAbstractItemView *m_view;
    DragModifierTracker m_modifiers;
    SpringLoadTimer *m_springLoad;
    QPersistentModelIndex m_springRow;
    QPersistentModelIndex m_highlightedRow;
    bool m_isHighlightingShownFolder = false;
};
