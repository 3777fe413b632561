#include "BrowserColumnView.h"

#include "BrowserColumnModel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>

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
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setProperty("tidewrightActiveColumn", false);
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
    const auto *columnModel = qobject_cast<const BrowserColumnModel *>(model());
    if (!columnModel)
        return;
    const int row = columnModel->rowForTypeAhead(m_typed);
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
    const auto *columnModel = qobject_cast<const BrowserColumnModel *>(model());
    if (!columnModel || columnModel->message().isEmpty() || columnModel->rowCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    const QRect area = viewport()->rect().adjusted(12, 12, -12, -12);
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, columnModel->message());
}
