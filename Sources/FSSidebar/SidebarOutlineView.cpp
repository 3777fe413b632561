#include "SidebarOutlineView.h"

#include "SidebarRowView.h"

#include <QContextMenuEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>

SidebarOutlineView::SidebarOutlineView(QWidget *parent) : QTreeView(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    // A change of text size changes every row's height; a few dozen rows
    // cost nothing to measure.
    setUniformRowHeights(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAcceptDrops(true);
    setDragEnabled(false);
    setDropIndicatorShown(false);
    setMouseTracking(false);
    // The gradient behind shows through; the selection is drawn by drawRow.
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    QPalette clear = palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    clear.setColor(QPalette::Window, Qt::transparent);
    clear.setColor(QPalette::Highlight, Qt::transparent);
    clear.setColor(QPalette::AlternateBase, Qt::transparent);
    setPalette(clear);
    setAttribute(Qt::WA_MacShowFocusRect, false);
}

bool SidebarOutlineView::isSelectable(const QModelIndex &index)
{
    return index.isValid() && index.flags().testFlag(Qt::ItemIsSelectable);
}

void SidebarOutlineView::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRectF rowBounds(0, option.rect.top(), viewport()->width(), option.rect.height());
    if (selectionModel() && selectionModel()->isSelected(index))
        SidebarRowView::drawSelection(painter, rowBounds, isActiveWindow());
    if (m_dropTarget.isValid() && QModelIndex(m_dropTarget) == index)
        SidebarRowView::drawDropTarget(painter, rowBounds);
    QStyleOptionViewItem plain = option;
    plain.state &= ~QStyle::State_HasFocus;
    QTreeView::drawRow(painter, plain, index);
}

QModelIndex SidebarOutlineView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    if (action != MoveUp && action != MoveDown)
        return QTreeView::moveCursor(action, modifiers);
    // Headers are rows too, but nothing to land on.
    QModelIndex index = currentIndex();
    do {
        if (action == MoveDown)
            index = index.isValid() ? indexBelow(index) : model()->index(0, 0);
        else
            index = indexAbove(index);
    } while (index.isValid() && !isSelectable(index));
    return index.isValid() ? index : currentIndex();
}

void SidebarOutlineView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    // A header or the empty space below the rows is nothing to choose, and
    // leaves the choice made before.
    if (!isSelectable(index)) {
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        Q_EMIT userSelected(index);
}

void SidebarOutlineView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The press before it already chose the row; a double click is no
    // second choice.
    event->accept();
}

void SidebarOutlineView::keyPressEvent(QKeyEvent *event)
{
    const QModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    const QModelIndex after = currentIndex();
    if (after != before && isSelectable(after) && selectionModel()->isSelected(after))
        Q_EMIT userSelected(after);
}

void SidebarOutlineView::contextMenuEvent(QContextMenuEvent *event)
{
    Q_EMIT contextMenuRequested(indexAt(event->pos()), event->globalPos());
    event->accept();
}

void SidebarOutlineView::setDropTarget(const QModelIndex &index)
{
    if (QModelIndex(m_dropTarget) == index)
        return;
    m_dropTarget = index;
    viewport()->update();
}

void SidebarOutlineView::dragEnterEvent(QDragEnterEvent *event)
{
    // Taken whenever it carries URLs, so the moves over the rows arrive; each
    // row decides for itself there.
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void SidebarOutlineView::dragMoveEvent(QDragMoveEvent *event)
{
    const QModelIndex target = indexAt(event->position().toPoint());
    const Qt::DropAction action =
        validateDrop ? validateDrop(event->mimeData(), target, event->modifiers()) : Qt::IgnoreAction;
    if (action == Qt::IgnoreAction) {
        setDropTarget({});
        event->ignore();
        return;
    }
    setDropTarget(target);
    event->setDropAction(action);
    event->accept();
}

void SidebarOutlineView::dragLeaveEvent(QDragLeaveEvent *event)
{
    setDropTarget({});
    if (onDragExit)
        onDragExit();
    event->accept();
}

void SidebarOutlineView::dropEvent(QDropEvent *event)
{
    const QModelIndex target = indexAt(event->position().toPoint());
    setDropTarget({});
    const Qt::DropAction action =
        validateDrop ? validateDrop(event->mimeData(), target, event->modifiers()) : Qt::IgnoreAction;
    if (action == Qt::IgnoreAction || !acceptDrop || !acceptDrop(event->mimeData(), target, event->modifiers())) {
        if (onDragExit)
            onDragExit();
        event->ignore();
        return;
    }
    // The copy or move is done here. A source told "moved" may remove what
    // it believes it still holds, perhaps before the move has run, so it is
    // told "copied": there is nothing left for it to do either way.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
