#include "BrowserColumnView.h"

#include "FileBrowserCell.h"

#include "FSPlatform/NaturalOrder.h"
#include "FSQuickLook/ThumbnailLoader.h"
#include "FSQuickLook/ThumbnailRenderer.h"
#include "FSUIKit/FileDropHandler.h"
#include "FSUIKit/SortedFolderModel.h"
#include "FSUIKit/SpringLoadTimer.h"

#include <QApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QSet>

#include <algorithm>

namespace {

bool startsWithNaturally(const QString &name, const QString &typed)
{
    return NaturalOrder::compare(name.left(typed.size()), typed) == 0;
}

// The first row whose name starts with `typed` as the natural order compares
// names, -1 when none does.
int rowForTypeAhead(const SortedFolderModel &model, const QString &typed)
{
    const FileItemList &items = model.items();
    if (model.sortField() == FileSortField::name) {
        const auto it = std::lower_bound(items.cbegin(), items.cend(), typed, [](const FileItem &item, const QString &text) {
            return NaturalOrder::compare(item.name(), text) < 0;
        });
        if (it != items.cend() && startsWithNaturally(it->name(), typed))
            return int(it - items.cbegin());
    }
    // Numbers compare by value, so "File 10" starts with "File 1" yet sorts
    // after "File 2": look further than the place the text would sort at.
    for (qsizetype row = 0; row < items.size(); ++row) {
        if (startsWithNaturally(items.at(row).name(), typed))
            return int(row);
    }
    return -1;
}

bool hasThumbnailKind(const FileItem &item)
{
    const FileAttributes *attributes = item.attributeSnapshot();
    // An entry listed names first is pictured once its status is read (it comes first for rows on screen).
    if (!attributes || !attributes->hasStatus || attributes->isDirectory || !attributes->contentType)
        return false;
    return ThumbnailRenderer::canRender(attributes->contentType->name);
}

} // namespace

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
    m_springLoad = new SpringLoadTimer(this);
    m_springLoad->onActivate = [this](const QUrl &) {
        if (m_dropRow.isValid())
            Q_EMIT springLoaded(m_dropRow.row());
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
        if (m_thumbnails.contains(path) || m_thumbnailRequests.contains(path) || !hasThumbnailKind(item))
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
    if (text.isEmpty())
        return;
    if (!m_sinceLastKey.isValid() || m_sinceLastKey.elapsed() > QApplication::keyboardInputInterval())
        m_typed.clear();
    m_typed += text;
    m_sinceLastKey.start();
    const auto *columnModel = qobject_cast<const SortedFolderModel *>(model());
    if (!columnModel)
        return;
    const int row = rowForTypeAhead(*columnModel, m_typed);
    if (row < 0)
        return;
    const QModelIndex found = columnModel->index(row);
    selectionModel()->setCurrentIndex(found, QItemSelectionModel::ClearAndSelect);
    scrollTo(found);
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
    if (m_dropRow.isValid()) {
        QPainter painter(viewport());
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 2));
        painter.drawRoundedRect(QRectF(visualRect(m_dropRow)).adjusted(1, 1, -1, -1), 4, 4);
    }
    const auto *columnModel = qobject_cast<const SortedFolderModel *>(model());
    if (!columnModel)
        return;
    QString note = columnModel->failureMessage();
    if (note.isEmpty() && columnModel->isWaitingForAttributes())
        note = tr("Sorting when every item has been read…");
    if (note.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    const QRect area = viewport()->rect().adjusted(12, 12, -12, -12);
    const Qt::Alignment where = columnModel->rowCount() > 0 ? Qt::AlignBottom : Qt::AlignTop;
    painter.drawText(area, Qt::AlignHCenter | where | Qt::TextWordWrap, note);
}

QUrl BrowserColumnView::dropFolderAt(const QPoint &position, QPersistentModelIndex *row) const
{
    const auto *columnModel = qobject_cast<const SortedFolderModel *>(model());
    if (!columnModel || columnModel->isShowingSearchResults())
        return {};
    const QModelIndex under = indexAt(position);
    const FileItem item = columnModel->itemAt(under);
    if (under.isValid() && item.isBrowsable()) {
        *row = under;
        return item.url();
    }
    *row = QPersistentModelIndex();
    return columnModel->folder();
}

void BrowserColumnView::dragEnterEvent(QDragEnterEvent *event)
{
    if (FileDropHandler::sources(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void BrowserColumnView::dragMoveEvent(QDragMoveEvent *event)
{
    // For the scrolling near the edges; whether the drop is taken is decided here.
    QListView::dragMoveEvent(event);
    const QPoint position = event->position().toPoint();
    QPersistentModelIndex row;
    const QUrl folder = dropFolderAt(position, &row);
    if (row != m_dropRow) {
        m_dropRow = row;
        viewport()->update();
    }
    if (row.isValid())
        m_springLoad->hover(folder);
    else
        m_springLoad->cancel();
    m_dragModifiers.sample(event->modifiers());
    const Qt::DropAction action = FileDropHandler::proposedAction(FileDropHandler::sources(event->mimeData()), folder, m_dragModifiers);
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void BrowserColumnView::dragLeaveEvent(QDragLeaveEvent *event)
{
    QListView::dragLeaveEvent(event);
    endDrag();
}

void BrowserColumnView::dropEvent(QDropEvent *event)
{
    QPersistentModelIndex row;
    const QUrl folder = dropFolderAt(event->position().toPoint(), &row);
    endDrag();
    const QList<QUrl> sources = FileDropHandler::sources(event->mimeData());
    m_dragModifiers.sample(event->modifiers());
    const Qt::DropAction action = FileDropHandler::proposedAction(sources, folder, m_dragModifiers);
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    const FileDropHandler::Result result = FileDropHandler::perform(sources, folder, m_dragModifiers);
    FileDropHandler::showFailures(result, window());
    if (!result.succeeded()) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
    Q_EMIT filesDropped(folder, sources);
}

void BrowserColumnView::endDrag()
{
    m_springLoad->cancel();
    if (m_dropRow.isValid()) {
        m_dropRow = QPersistentModelIndex();
        viewport()->update();
    }
}
