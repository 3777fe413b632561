#include "BrowserColumnView.h"

#include "FileBrowserCell.h"

#include "FSQuickLook/ThumbnailLoader.h"
#include "FSUIKit/FileDropHandler.h"
#include "FSUIKit/SortedFolderModel.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QSet>

#include <algorithm>

BrowserColumnView::BrowserColumnView(QWidget *parent) : QListView(parent)
{
    setUniformItemSizes(true);
    // Large folders are laid out in batches, so the first rows show at once.
    setLayoutMode(QListView::Batched);
    setBatchSize(2000);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::NoFrame);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setAcceptDrops(true);
    m_drops = new FileDropHandler(this);
    // Onto a folder row, else into the column's own folder.
    m_drops->targetAt = [this](const QPoint &position) -> std::optional<FileDropHandler::Target> {
        const auto *columnModel = qobject_cast<const SortedFolderModel *>(model());
        if (!columnModel || columnModel->isShowingSearchResults())
            return std::nullopt;
        const QModelIndex under = indexAt(position);
        const FileItem item = columnModel->itemAt(under);
        if (under.isValid() && item.isBrowsable())
            return FileDropHandler::Target{item.url(), under, false};
        return FileDropHandler::Target{columnModel->folder(), {}, true};
    };
    m_drops->onSpringLoad = [this](const QUrl &, const QModelIndex &row) {
        if (row.isValid())
            Q_EMIT springLoaded(row.row());
    };
    m_drops->onDropped = [this](const QUrl &folder, const QList<QUrl> &sources, const QList<QUrl> &) {
        Q_EMIT filesDropped(folder, sources);
    };
    setContextMenuPolicy(Qt::CustomContextMenu);
    setProperty("tidewrightActiveColumn", false);

    m_thumbnailTimer.setSingleShot(true);
    m_thumbnailTimer.setInterval(0);
    connect(&m_thumbnailTimer, &QTimer::timeout, this, &BrowserColumnView::updateThumbnails);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &BrowserColumnView::scheduleThumbnails);
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, &BrowserColumnView::scheduleThumbnails);
}

BrowserColumnView::~BrowserColumnView()
{
    for (const auto &request : std::as_const(m_thumbnailRequests))
        ThumbnailLoader::cancel(request);
}

void BrowserColumnView::setModel(QAbstractItemModel *newModel)
{
    QListView::setModel(newModel);
    if (!newModel)
        return;
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(newModel, signal, this, &BrowserColumnView::scheduleThumbnails);
    connect(newModel, &QAbstractItemModel::rowsMoved, this, &BrowserColumnView::scheduleThumbnails);
    connect(newModel, &QAbstractItemModel::layoutChanged, this, &BrowserColumnView::scheduleThumbnails);
    // A changed file may look different now.
    connect(newModel, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
        forgetThumbnails(topLeft.row(), bottomRight.row());
        scheduleThumbnails();
    });
}

QImage BrowserColumnView::thumbnailFor(const FileItem &item) const
{
    if (m_thumbnails.isEmpty())
        return {};
    return m_thumbnails.value(item.path());
}

void BrowserColumnView::showEvent(QShowEvent *event)
{
    QListView::showEvent(event);
    scheduleThumbnails();
}

void BrowserColumnView::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    scheduleThumbnails();
}

void BrowserColumnView::scheduleThumbnails()
{
    if (!m_thumbnailTimer.isActive())
        m_thumbnailTimer.start();
}

void BrowserColumnView::updateThumbnails()
{
    const auto *columnModel = qobject_cast<const SortedFolderModel *>(model());
    if (!columnModel || !isVisible())
        return;
    QSet<QString> onScreen;
    const int count = columnModel->rowCount();
    const QModelIndex top = indexAt(QPoint(1, 1));
    const int edge = FileBrowserCell::iconSize();
    int row = top.isValid() ? top.row() : count;
    const int firstOnScreen = row;
    for (; row < count; ++row) {
        const QModelIndex index = columnModel->index(row);
        if (visualRect(index).top() >= viewport()->height())
            break;
        const FileItem item = columnModel->itemAt(row);
        const QString path = item.path();
        onScreen.insert(path);
        if (m_thumbnails.contains(path) || m_thumbnailRequests.contains(path) || !ThumbnailLoader::mayHaveThumbnail(item))
            continue;
        QPointer<BrowserColumnView> self(this);
        auto request = ThumbnailLoader::thumbnail(item.url(), QSizeF(edge, edge), 2.0, this, [self, item, path](const QImage &image) {
            if (!self)
                return;
            self->m_thumbnailRequests.remove(path);
            const auto *shownModel = qobject_cast<const SortedFolderModel *>(self->model());
            const int shownRow = shownModel ? shownModel->rowOf(item.url()) : -1;
            // Only while the item is shown as it was when asked for.
            if (shownRow < 0 || shownModel->itemAt(shownRow).attributeSnapshot() != item.attributeSnapshot())
                return;
            self->m_thumbnails.insert(path, image);
            self->update(shownModel->index(shownRow));
        });
        if (request)
            m_thumbnailRequests.insert(path, request);
    }
    ThumbnailLoader::keepOnlyOnScreen(onScreen, m_thumbnails, m_thumbnailRequests);
    // What the rows on screen will show once read, before the rest of the column.
    columnModel->readFirst(firstOnScreen, row - 1);
}

void BrowserColumnView::forgetThumbnails(int firstRow, int lastRow)
{
    const auto *columnModel = qobject_cast<const SortedFolderModel *>(model());
    if (!columnModel || (m_thumbnails.isEmpty() && m_thumbnailRequests.isEmpty()))
        return;
    for (int row = qMax(0, firstRow); row <= lastRow && row < columnModel->rowCount(); ++row) {
        const QString path = columnModel->itemAt(row).path();
        m_thumbnails.remove(path);
        if (const auto request = m_thumbnailRequests.take(path))
            ThumbnailLoader::cancel(request);
    }
}

void BrowserColumnView::setActiveColumn(bool isActive)
{
    if (isActive == isActiveColumn())
        return;
    setProperty("tidewrightActiveColumn", isActive);
    viewport()->update();
}

bool BrowserColumnView::isActiveColumn() const
{
    return property("tidewrightActiveColumn").toBool();
}

void BrowserColumnView::keyboardSearch(const QString &text)
{
    const auto *columnModel = qobject_cast<const SortedFolderModel *>(model());
    if (!columnModel)
        return;
    m_typeAhead.keyboardSearch(this, text, [columnModel](int row) { return columnModel->itemAt(row); });
}

void BrowserColumnView::keyPressEvent(QKeyEvent *event)
{
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier));
    if (plain && state() != QAbstractItemView::EditingState) {
        switch (event->key()) {
        case Qt::Key_Left:
            Q_EMIT moveToPreviousColumnRequested();
            return;
        case Qt::Key_Right:
            Q_EMIT moveToNextColumnRequested();
            return;
        default:
            break;
        }
    }
    QListView::keyPressEvent(event);
}

void BrowserColumnView::focusInEvent(QFocusEvent *event)
{
    QListView::focusInEvent(event);
    Q_EMIT focusReceived();
}

void BrowserColumnView::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    if (m_drops->highlightedRow().isValid() || m_drops->isHighlightingShownFolder()) {
        QPainter painter(viewport());
        m_drops->paintHighlight(&painter, visualRect(m_drops->highlightedRow()));
    }
    const auto *columnModel = qobject_cast<const SortedFolderModel *>(model());
    if (!columnModel)
        return;
    QString note = columnModel->failureMessage();
    if (note.isEmpty() && columnModel->isWaitingForAttributes())
        note = FileSortFields::waitingNote(columnModel->sortField());
    if (note.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    const QRect area = viewport()->rect().adjusted(12, 12, -12, -12);
    const Qt::Alignment where = columnModel->rowCount() > 0 ? Qt::AlignBottom : Qt::AlignTop;
    painter.drawText(area, Qt::AlignHCenter | where | Qt::TextWordWrap, note);
}

void BrowserColumnView::dragEnterEvent(QDragEnterEvent *event)
{
    m_drops->dragEnter(event);
}

void BrowserColumnView::dragMoveEvent(QDragMoveEvent *event)
{
    // For the scrolling near the edges; whether the drop is taken is decided after.
    QListView::dragMoveEvent(event);
    m_drops->dragMove(event);
}

void BrowserColumnView::dragLeaveEvent(QDragLeaveEvent *event)
{
    QListView::dragLeaveEvent(event);
    m_drops->dragLeave();
}

void BrowserColumnView::dropEvent(QDropEvent *event)
{
    m_drops->drop(event);
}

void BrowserColumnView::startDrag(Qt::DropActions supportedActions)
{
    m_drops->startDrag(supportedActions);
}
