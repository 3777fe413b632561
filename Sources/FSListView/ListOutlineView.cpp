#include "ListOutlineView.h"

#include "ListViewController.h"
#include "ListViewModel.h"

#include "FSUIKit/FileDropHandler.h"

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QPainter>

ListOutlineView::ListOutlineView(ListViewController *controller, QWidget *parent)
    : QTreeView(parent)
    , m_controller(controller)
    , m_drops(new FileDropHandler(this))
{
}

void ListOutlineView::keyboardSearch(const QString &search)
{
    const auto *listModel = qobject_cast<const ListViewModel *>(model());
    if (!listModel)
        return;
    m_typeAhead.keyboardSearch(this, search, [listModel](int row) { return listModel->itemAt(listModel->index(row, 0)); });
}

void ListOutlineView::keyPressEvent(QKeyEvent *event)
{
    const bool isOpenKey = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        || (event->key() == Qt::Key_Down && event->modifiers().testFlag(Qt::ControlModifier));
    if (isOpenKey && state() != EditingState && currentIndex().isValid()) {
        m_controller->openIndex(currentIndex());
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_F2 && state() != EditingState) {
        m_controller->beginRename();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void ListOutlineView::dragEnterEvent(QDragEnterEvent *event)
{
    m_drops->dragEnter(event);
}

void ListOutlineView::dragMoveEvent(QDragMoveEvent *event)
{
    // For the scrolling near the edges; whether the drop is taken is decided after.
    QTreeView::dragMoveEvent(event);
    m_drops->dragMove(event);
}

void ListOutlineView::dragLeaveEvent(QDragLeaveEvent *event)
{
    QTreeView::dragLeaveEvent(event);
    m_drops->dragLeave();
}

void ListOutlineView::dropEvent(QDropEvent *event)
{
    m_drops->drop(event);
}

void ListOutlineView::startDrag(Qt::DropActions supportedActions)
{
    m_drops->startDrag(supportedActions);
}

void ListOutlineView::paintEvent(QPaintEvent *event)
{
    QTreeView::paintEvent(event);
    const QModelIndex row = m_drops->highlightedRow();
    if (!row.isValid() && !m_drops->isHighlightingShownFolder())
        return;
    QPainter painter(viewport());
    const QRect cell = visualRect(row);
    m_drops->paintHighlight(&painter, QRect(0, cell.top(), viewport()->width(), cell.height()));
}

void ListOutlineView::scrollContentsBy(int dx, int dy)
{
    QTreeView::scrollContentsBy(dx, dy);
    if (dy != 0)
        m_controller->scheduleVisibleWork();
}

void ListOutlineView::resizeEvent(QResizeEvent *event)
{
    QTreeView::resizeEvent(event);
    m_controller->scheduleVisibleWork();
}
