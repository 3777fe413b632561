#include "FileDropHandler.h"

#include "DisplayNameText.h"
#include "FilePasteboard.h"
#include "SpringLoadTimer.h"

#include "FSCore/FileJob.h"
#include "FSCore/FileJobQueue.h"
#include "FSCore/FileOperations.h"
#include "FSPlatform/MountTable.h"
#include "FSPlatform/PathCodec.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace {

QString cleanPath(const QUrl &url)
{
    return PathCodec::urlForPath(url.toLocalFile()).toLocalFile();
}

QUrl parentOf(const QUrl &url)
{
    const QString path = cleanPath(url);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return PathCodec::urlForPath(slash <= 0 ? QStringLiteral("/") : path.left(slash));
}

bool isInPlace(const QUrl &source, const QUrl &destinationFolder)
{
    return parentOf(source) == PathCodec::urlForPath(destinationFolder.toLocalFile());
}

// The cell of `index` as the view draws it selected, with the number of
// files dragged in a badge when there are several.
QPixmap dragPicture(QAbstractItemView *view, const QModelIndex &index, const QSize &size, int count)
{
    const qreal ratio = view->devicePixelRatioF();
    QPixmap picture(size * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.widget = view;
    option.rect = QRect(QPoint(0, 0), size);
    option.state |= QStyle::State_Selected;
    option.decorationSize = view->iconSize();
    view->itemDelegateForIndex(index)->paint(&painter, option, index);
    if (count > 1) {
        QFont font = view->font();
        font.setBold(true);
        const QFontMetrics metrics(font);
        const QString text = QString::number(count);
        const qreal height = metrics.height() + 2;
        const qreal width = qMax(height, qreal(metrics.horizontalAdvance(text)) + height / 2);
        const QRectF badge(qMax(0.0, size.width() - width - 2), 1, width, height);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(view->palette().color(QPalette::Active, QPalette::Highlight));
        painter.drawRoundedRect(badge, height / 2, height / 2);
        painter.setFont(font);
        painter.setPen(view->palette().color(QPalette::Active, QPalette::HighlightedText));
        painter.drawText(badge, Qt::AlignCenter, text);
    }
    return picture;
}

// What the progress panel calls the drop before the volumes are asked: the
// mount table tells them apart without waiting on either.
FileJob::Kind likelyKind(const QUrl &source, const QUrl &destinationFolder, const DragModifierTracker &tracker)
{
    if (tracker.optionHeld())
        return FileJob::Kind::copy;
    if (tracker.commandHeld())
        return FileJob::Kind::move;
    const QList<MountEntry> table = MountTable::read();
    const std::optional<MountEntry> from = MountTable::entryHolding(table, source.toLocalFile());
    const std::optional<MountEntry> to = MountTable::entryHolding(table, destinationFolder.toLocalFile());
    return from && to && from->mountPoint == to->mountPoint ? FileJob::Kind::move : FileJob::Kind::copy;
}

} // namespace

FileDropHandler::FileDropHandler(QAbstractItemView *view)
    : QObject(view)
    , m_view(view)
    , m_springLoad(new SpringLoadTimer(this))
{
    m_springLoad->onActivate = [this](const QUrl &folder) {
        if (onSpringLoad)
            onSpringLoad(folder, m_springRow);
    };
}

FileDropHandler::~FileDropHandler() = default;

Qt::DropAction FileDropHandler::actionAt(const QPoint &position, const QMimeData *data, Qt::KeyboardModifiers keys,
                                         Qt::DropActions possible, std::optional<Target> *target)
{
    const QList<QUrl> dropped = sources(data);
    if (dropped.isEmpty() || !targetAt)
        return Qt::IgnoreAction;
    // The keys the event carries: those held over this view now.
    m_modifiers.sample(keys);
    *target = targetAt(position);
    if (!*target)
        return Qt::IgnoreAction;
    const Qt::DropAction action = proposedAction(dropped, (*target)->folder, m_modifiers);
    return action != Qt::IgnoreAction && possible.testFlag(action) ? action : Qt::IgnoreAction;
}

void FileDropHandler::dragEnter(QDragEnterEvent *event)
{
    if (sources(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    dragMove(event);
    // Files are taken on entering even where they cannot be dropped, so that
    // the moves over the view keep coming; each move decides.
    if (!event->isAccepted()) {
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
    }
}

void FileDropHandler::dragMove(QDragMoveEvent *event)
{
    std::optional<Target> target;
    const Qt::DropAction action = actionAt(event->position().toPoint(), event->mimeData(), event->modifiers(),
                                           event->possibleActions(), &target);
    if (action == Qt::IgnoreAction) {
        m_springLoad->cancel();
        setHighlight({}, false);
        event->ignore();
        return;
    }
    if (target->row.isValid()) {
        m_springRow = target->row;
        m_springLoad->hover(target->folder);
    } else {
        m_springLoad->cancel();
    }
    setHighlight(target->row, target->isShownFolder && !target->row.isValid());
    event->setDropAction(action);
    event->accept();
}

void FileDropHandler::dragLeave()
{
    m_springLoad->cancel();
    setHighlight({}, false);
}

void FileDropHandler::drop(QDropEvent *event)
{
    std::optional<Target> target;
    const Qt::DropAction action = actionAt(event->position().toPoint(), event->mimeData(), event->modifiers(),
                                           event->possibleActions(), &target);
    dragLeave();
    // Checked again whatever the hover said: a drop may come without one.
    if (action == Qt::IgnoreAction || !carryOut(sources(event->mimeData()), target->folder)) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

bool FileDropHandler::carryOut(const QList<QUrl> &sources, const QUrl &folder)
{
    const QPointer<FileDropHandler> self(this);
    return perform(sources, folder, m_modifiers, m_view, [self, sources, folder](const Result &result) {
        if (self && self->onDropped)
            self->onDropped(folder, sources, result.placed);
    });
}

void FileDropHandler::setHighlight(const QModelIndex &row, bool isShownFolder)
{
    if (QModelIndex(m_highlightedRow) == row && m_isHighlightingShownFolder == isShownFolder)
        return;
    m_highlightedRow = row;
    m_isHighlightingShownFolder = isShownFolder;
    m_view->viewport()->update();
}

void FileDropHandler::paintHighlight(QPainter *painter, const QRect &rowRect) const
{
    QRectF area;
    if (m_isHighlightingShownFolder)
        area = m_view->viewport()->rect();
    else if (m_highlightedRow.isValid() && !rowRect.isEmpty())
        area = rowRect;
    else
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(m_view->palette().color(QPalette::Active, QPalette::Highlight), 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(area.adjusted(1, 1, -1, -1), 4, 4);
    painter->restore();
}

void FileDropHandler::startDrag(Qt::DropActions supportedActions)
{
    QAbstractItemModel *model = m_view->model();
    if (!model || !m_view->selectionModel())
        return;
    QModelIndexList rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedIndexes()) {
        if (index.column() == 0)
            rows.append(index);
    }
    if (rows.isEmpty())
        return;
    QMimeData *data = model->mimeData(rows);
    if (!data)
        return;
    auto *drag = new QDrag(m_view);
    drag->setMimeData(data);
    QModelIndex pressed = m_view->currentIndex().siblingAtColumn(0);
    if (!rows.contains(pressed))
        pressed = rows.first();
    const QRect cell = m_view->visualRect(pressed);
    if (cell.isValid()) {
        drag->setPixmap(dragPicture(m_view, pressed, cell.size(), int(FileDropHandler::sources(data).size())));
        drag->setHotSpot(m_view->viewport()->mapFromGlobal(QCursor::pos()) - cell.topLeft());
    }
    drag->exec(supportedActions & (Qt::CopyAction | Qt::MoveAction), Qt::MoveAction);
}

QList<QUrl> FileDropHandler::sources(const QMimeData *data)
{
    QList<QUrl> urls;
    for (const QUrl &url : FilePasteboard::fileURLs(data)) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            urls.append(url);
    }
    return urls;
}

bool FileDropHandler::isSameOrInside(const QUrl &folder, const QUrl &source)
{
    const QString sourcePath = cleanPath(source);
    const QString folderPath = cleanPath(folder);
    if (folderPath == sourcePath)
        return true;
    const QString prefix = sourcePath.endsWith(QLatin1Char('/')) ? sourcePath : sourcePath + QLatin1Char('/');
    return folderPath.startsWith(prefix);
}

Qt::DropAction FileDropHandler::proposedAction(const QList<QUrl> &sources, const QUrl &destinationFolder,
                                               const DragModifierTracker &tracker)
{
    if (sources.isEmpty() || !destinationFolder.isLocalFile())
        return Qt::IgnoreAction;
    bool isAllInPlace = true;
    for (const QUrl &source : sources) {
        if (isSameOrInside(destinationFolder, source))
            return Qt::IgnoreAction;
        isAllInPlace = isAllInPlace && isInPlace(source, destinationFolder);
    }
    const DragOperationKind kind = tracker.resolve(sources.first(), destinationFolder);
    if (kind == DragOperationKind::move && isAllInPlace)
        return Qt::IgnoreAction;
    return kind == DragOperationKind::copy ? Qt::CopyAction : Qt::MoveAction;
}

bool FileDropHandler::perform(const QList<QUrl> &sources, const QUrl &destinationFolder,
                              const DragModifierTracker &tracker, QWidget *window,
                              std::function<void(const Result &result)> finished)
{
    if (!destinationFolder.isLocalFile())
        return false;
    Result refused;
    QList<QUrl> items;
    for (const QUrl &source : sources) {
        if (!source.isLocalFile())
            continue;
        if (isSameOrInside(destinationFolder, source)) {
            refused.failures.append({source, FileOperationError(tracker.optionHeld() ? FileOperationError::copyIntoItself
                                                                                     : FileOperationError::moveIntoItself)
                                                 .localizedDescription()});
            continue;
        }
        // Moved where it lies, an item would only be renamed "Name 2".
        if (isInPlace(source, destinationFolder) && !tracker.optionHeld())
            continue;
        items.append(source);
    }
    if (items.isEmpty()) {
        if (window)
            showFailures(refused, window);
        return false;
    }

    auto *job = new FileJob(likelyKind(items.first(), destinationFolder, tracker), items, destinationFolder);
    job->setItemKind([tracker](const QUrl &item, const QUrl &folder) -> std::optional<FileJob::Kind> {
        return tracker.resolve(item, folder) == DragOperationKind::copy ? FileJob::Kind::copy : FileJob::Kind::move;
    });
    FileJobQueue::shared()->add(job, job,
                                [refused, window = QPointer<QWidget>(window),
                                 finished = std::move(finished)](const FileJobResult &done) {
                                    Result result = refused;
                                    for (const FileJobSuccess &success : done.succeeded)
                                        result.placed.append(success.result);
                                    for (const FileJobFailure &failure : done.failures)
                                        result.failures.append({failure.source, failure.message});
                                    if (window)
                                        showFailures(result, window);
                                    if (finished)
                                        finished(result);
                                });
    return true;
}

void FileDropHandler::showFailures(const Result &result, QWidget *parent)
{
    if (result.failures.isEmpty())
        return;
    QStringList lines;
    for (const Failure &failure : result.failures) {
        const QString path = failure.source.toLocalFile();
        const QString name = DisplayNameText::forDisplay(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
        lines.append(QCoreApplication::translate("FileDropHandler", "“%1”: %2").arg(name, failure.message));
    }
    auto *box = new QMessageBox(QMessageBox::Warning,
                                QCoreApplication::translate("FileDropHandler", "Some items couldn’t be copied or moved."),
                                QCoreApplication::translate("FileDropHandler", "Some items couldn’t be copied or moved."),
                                QMessageBox::Ok, parent);
    box->setInformativeText(lines.join(QLatin1Char('\n')));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}
