#include "ContextMenuCollectionView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>

namespace {

// Across: the items sit 12 from the grid's left edge and each cell starts 4
// before its item. The viewport is one pixel narrower again than the cells it
// holds need, because the list view wraps when a cell would touch its edge.
constexpr int leftMargin = 8;
constexpr int rightMargin = 7;

} // namespace

ContextMenuCollectionView::ContextMenuCollectionView(QWidget *parent)
    : QListView(parent)
{
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setBatchSize(1000);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // As the classic look has it. It also keeps the layout honest: with a
    // scroll bar shown only as needed, the list view lays out as if one were
    // there, and the rows would hold fewer items than the grid's width says.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionRectVisible(true);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setFrameShape(QFrame::NoFrame);
    // Whatever lies behind the grid shows through.
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    setViewportMargins(leftMargin, 0, rightMargin, 0);
    m_sinceLastKey.invalidate();
}

void ContextMenuCollectionView::setCellSize(const QSize &cell)
{
    if (cell == m_cellSize)
        return;
    m_cellSize = cell;
    setGridSize(cell);
    scheduleDelayedItemsLayout();
}

int ContextMenuCollectionView::itemsPerRow() const
{
    if (m_cellSize.width() <= 0)
        return 1;
    // The grid's width, margins included; the items fill it 12 from each edge.
    const int width = viewport()->width() + leftMargin + rightMargin;
    return qMax(1, (width - 24 + 8) / m_cellSize.width());
}

std::pair<int, int> ContextMenuCollectionView::visibleRows() const
{
    const int count = model() ? model()->rowCount(rootIndex()) : 0;
    if (count == 0 || m_cellSize.height() <= 0)
        return {0, -1};
    const int perRow = itemsPerRow();
    const int top = verticalScrollBar()->value();
    const int firstLine = top / m_cellSize.height();
    const int lastLine = (top + viewport()->height() - 1) / m_cellSize.height();
    const int first = qMin(count - 1, firstLine * perRow);
    const int last = qMin(count - 1, (lastLine + 1) * perRow - 1);
    return {first, last};
}

void ContextMenuCollectionView::setDropTarget(const QModelIndex &index)
{
    if (QModelIndex(m_dropTarget) == index)
        return;
    if (m_dropTarget.isValid())
        update(m_dropTarget);
    m_dropTarget = index;
    if (index.isValid())
        update(index);
}

bool ContextMenuCollectionView::isDropTarget(const QModelIndex &index) const
{
    return m_dropTarget.isValid() && QModelIndex(m_dropTarget) == index;
}

void ContextMenuCollectionView::setPlaceholderText(const QString &text)
{
    if (text == m_placeholderText)
        return;
    m_placeholderText = text;
    viewport()->update();
}

void ContextMenuCollectionView::setNoteText(const QString &text)
{
    if (text == m_noteText)
        return;
    m_noteText = text;
    viewport()->update();
}

void ContextMenuCollectionView::keyboardSearch(const QString &search)
{
    if (search.isEmpty() || !onTypeAhead)
        return;
    if (!m_sinceLastKey.isValid() || m_sinceLastKey.elapsed() > QApplication::keyboardInputInterval())
        m_typed.clear();
    m_sinceLastKey.start();
    m_typed += search;
    const QModelIndex found = onTypeAhead(m_typed);
    if (!found.isValid())
        return;
    selectionModel()->setCurrentIndex(found, QItemSelectionModel::ClearAndSelect);
    scrollTo(found);
}

void ContextMenuCollectionView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!menuProvider)
        return;
    const QModelIndex index = indexAt(viewport()->mapFrom(this, event->pos()));
    QMenu *menu = menuProvider(index);
    if (!menu)
        return;
    menu->exec(event->globalPos());
    menu->deleteLater();
}

void ContextMenuCollectionView::startDrag(Qt::DropActions supportedActions)
{
    const QModelIndexList indexes = selectedIndexes();
    if (indexes.isEmpty() || !model())
        return;
    QMimeData *data = model()->mimeData(indexes);
    if (!data)
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    const QModelIndex pressed = currentIndex().isValid() ? currentIndex() : indexes.first();
    const QRect cell = visualRect(pressed);
    if (cell.isValid()) {
        QPixmap picture(cell.size() * devicePixelRatioF());
        picture.setDevicePixelRatio(devicePixelRatioF());
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.rect = QRect(QPoint(0, 0), cell.size());
        itemDelegateForIndex(pressed)->paint(&painter, option, pressed);
        painter.end();
        drag->setPixmap(picture);
        drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - cell.topLeft());
    }
    // The files stay where they are in this view: a move shows up as the
    // change the folder's listing reports, never as rows taken out here.
    drag->exec(supportedActions & (Qt::CopyAction | Qt::MoveAction), Qt::MoveAction);
}

void ContextMenuCollectionView::dragEnterEvent(QDragEnterEvent *event)
{
    handleDrag(event);
}

void ContextMenuCollectionView::dragMoveEvent(QDragMoveEvent *event)
{
    handleDrag(event);
}

void ContextMenuCollectionView::handleDrag(QDragMoveEvent *event)
{
    const QPoint position = event->position().toPoint();
    const Qt::DropAction action =
        onDragMove ? onDragMove(position, event->mimeData(), event->modifiers()) : Qt::IgnoreAction;
    if (action == Qt::IgnoreAction || !(event->possibleActions() & action)) {
        setDropTarget({});
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void ContextMenuCollectionView::dragLeaveEvent(QDragLeaveEvent *event)
{
    setDropTarget({});
    if (onDragLeave)
        onDragLeave();
    event->accept();
}

void ContextMenuCollectionView::dropEvent(QDropEvent *event)
{
    setDropTarget({});
    const bool done = onDrop && onDrop(event->position().toPoint(), event->mimeData());
    if (!done) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void ContextMenuCollectionView::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    if (m_placeholderText.isEmpty() && m_noteText.isEmpty())
        return;
    QPainter painter(viewport());
    QColor colour = palette().color(QPalette::Active, QPalette::WindowText);
    colour.setAlphaF(0.6);
    painter.setPen(colour);
    const QRect area = viewport()->rect().adjusted(24, 24, -24, -24);
    if (!m_placeholderText.isEmpty())
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, m_placeholderText);
    if (!m_noteText.isEmpty())
        painter.drawText(area, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap, m_noteText);
}
