#include "ListOutlineView.h"

#include "ListViewController.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QPainter>

ListOutlineView::ListOutlineView(ListViewController *controller, QWidget *parent)
    : QTreeView(parent)
    , m_controller(controller)
{
}

void ListOutlineView::keyboardSearch(const QString &search)
{
    if (search.isEmpty())
        return;
    if (!m_sinceLastKey.isValid() || m_sinceLastKey.elapsed() > QApplication::keyboardInputInterval())
        m_typed.clear();
    m_sinceLastKey.start();
    m_typed += search;
    m_controller->typeAhead(m_typed);
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
    // Files are accepted on entering even where they cannot be dropped, so
    // that the moves over the view keep coming; each move decides.
    const bool carriesFiles = m_controller->dragMove(event);
    if (carriesFiles && !event->isAccepted()) {
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
    }
}

void ListOutlineView::dragMoveEvent(QDragMoveEvent *event)
{
    m_controller->dragMove(event);
}

void ListOutlineView::dragLeaveEvent(QDragLeaveEvent *event)
{
    m_controller->dragLeft();
    event->accept();
}

void ListOutlineView::dropEvent(QDropEvent *event)
{
    m_controller->drop(event);
}

void ListOutlineView::setDropHighlight(const QModelIndex &row, bool isRoot)
{
    if (QPersistentModelIndex(row) == m_dropRow && isRoot == m_isDropOnRoot)
        return;
    m_dropRow = row;
    m_isDropOnRoot = isRoot;
    viewport()->update();
}

void ListOutlineView::paintEvent(QPaintEvent *event)
{
    QTreeView::paintEvent(event);
    if (!m_isDropOnRoot && !m_dropRow.isValid())
        return;
    QPainter painter(viewport());
    QPen pen(palette().color(QPalette::Highlight), 2);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    QRect area = viewport()->rect();
    if (!m_isDropOnRoot) {
        const QRect row = visualRect(m_dropRow);
        area = QRect(0, row.top(), viewport()->width(), row.height());
    }
    painter.drawRoundedRect(QRectF(area).adjusted(1, 1, -1, -1), 3, 3);
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
