#include "ContextMenuCollectionView.h"

#include "FSUIKit/FileDropHandler.h"
#include "FSUIKit/SortedFolderModel.h"

#include <QContextMenuEvent>
#include <QMenu>
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
    m_drops = new FileDropHandler(this);
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

bool ContextMenuCollectionView::isDropTarget(const QModelIndex &index) const
{
    return index.isValid() && m_drops->highlightedRow() == index;
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
    const auto *folderModel = qobject_cast<const SortedFolderModel *>(model());
    if (!folderModel)
        return;
    m_typeAhead.keyboardSearch(this, search, [folderModel](int row) { return folderModel->itemAt(row); });
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
    m_drops->startDrag(supportedActions);
}

void ContextMenuCollectionView::dragEnterEvent(QDragEnterEvent *event)
{
    m_drops->dragEnter(event);
}

void ContextMenuCollectionView::dragMoveEvent(QDragMoveEvent *event)
{
    // For the scrolling near the edges; whether the drop is taken is decided after.
    QListView::dragMoveEvent(event);
    m_drops->dragMove(event);
}

void ContextMenuCollectionView::dragLeaveEvent(QDragLeaveEvent *event)
{
    QListView::dragLeaveEvent(event);
    m_drops->dragLeave();
}

void ContextMenuCollectionView::dropEvent(QDropEvent *event)
{
    m_drops->drop(event);
}

void ContextMenuCollectionView::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    QPainter painter(viewport());
    // A folder item draws its own outline.
    m_drops->paintHighlight(&painter, {});
    if (m_placeholderText.isEmpty() && m_noteText.isEmpty())
        return;
    QColor colour = palette().color(QPalette::Active, QPalette::WindowText);
    colour.setAlphaF(0.6);
    painter.setPen(colour);
    const QRect area = viewport()->rect().adjusted(24, 24, -24, -24);
    if (!m_placeholderText.isEmpty())
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, m_placeholderText);
    if (!m_noteText.isEmpty())
        painter.drawText(area, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap, m_noteText);
}
