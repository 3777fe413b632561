#include "ContextMenuBrowser.h"

#include "BrowserColumnView.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>

#include <utility>

namespace {

// The strip at a column's right edge: a separator line, and a grip that makes
// the column wider or narrower.
class ColumnResizeHandle : public QWidget
{
public:
    ColumnResizeHandle(QWidget *column, QWidget *parent) : QWidget(parent), m_column(column)
    {
        setFixedWidth(5);
        setCursor(Qt::SplitHCursor);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Base));
        painter.setPen(QColor(0, 0, 0, 60));
        painter.drawLine(width() - 1, 0, width() - 1, height());
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        m_pressX = event->globalPosition().x();
        m_widthAtPress = m_column ? m_column->width() : 0;
    }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!(event->buttons() & Qt::LeftButton) || !m_column)
            return;
        const int width = m_widthAtPress + int(event->globalPosition().x() - m_pressX);
        m_column->setFixedWidth(qMax(ContextMenuBrowser::minimumColumnWidth, width));
    }

private:
    QPointer<QWidget> m_column;
    qreal m_pressX = 0;
    int m_widthAtPress = 0;
};

} // namespace

ContextMenuBrowser::ContextMenuBrowser(QWidget *parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    m_strip = new QWidget(this);
    m_strip->setBackgroundRole(QPalette::Base);
    m_strip->setAutoFillBackground(true);
    m_layout = new QHBoxLayout(m_strip);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->addStretch(1);
    setWidget(m_strip);
}

BrowserColumnView *ContextMenuBrowser::column(int index) const
{
    return index >= 0 && index < columnCount() ? m_columns.at(size_t(index)).view : nullptr;
}

int ContextMenuBrowser::indexOfColumn(const QWidget *view) const
{
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].view == view)
            return int(i);
    }
    return -1;
}

BrowserColumnView *ContextMenuBrowser::addColumn(QAbstractItemModel *model)
{
    auto *view = new BrowserColumnView(m_strip);
    view->setFixedWidth(m_columnWidth);
    view->setFont(m_font);
    if (m_delegate)
        view->setItemDelegate(m_delegate);
    view->setModel(model);
    auto *handle = new ColumnResizeHandle(view, m_strip);
    m_layout->insertWidget(m_layout->count() - 1, view);
    m_layout->insertWidget(m_layout->count() - 1, handle);
    m_columns.push_back({view, handle});

    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, view] { Q_EMIT columnSelectionChanged(indexOfColumn(view)); });
    connect(view, &QAbstractItemView::doubleClicked, this,
            [this, view](const QModelIndex &item) { Q_EMIT columnDoubleClicked(indexOfColumn(view), item); });
    connect(view, &BrowserColumnView::focusReceived, this, [this, view] { Q_EMIT columnFocused(indexOfColumn(view)); });
    connect(view, &BrowserColumnView::moveToPreviousColumnRequested, this,
            [this, view] { Q_EMIT moveToPreviousColumnRequested(indexOfColumn(view)); });
    connect(view, &BrowserColumnView::moveToNextColumnRequested, this,
            [this, view] { Q_EMIT moveToNextColumnRequested(indexOfColumn(view)); });
    connect(view, &BrowserColumnView::springLoaded, this, [this, view](int row) { Q_EMIT springLoaded(indexOfColumn(view), row); });
    connect(view, &BrowserColumnView::filesDropped, this, &ContextMenuBrowser::filesDropped);
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint &position) { showContextMenu(view, position); });
    view->show();
    handle->show();
    if (hasFocus())
        view->setFocus();
    return view;
}

void ContextMenuBrowser::removeColumnsFrom(int index)
{
    // A hidden column hands the focus on to the next widget of the window (the
    // search field, say): the column before it keeps it, or the browser until
    // its next column comes (search results replacing every column).
    for (int i = qMax(0, index); i < columnCount(); ++i) {
        if (m_columns.at(size_t(i)).view->hasFocus()) {
            if (BrowserColumnView *before = column(index - 1))
                before->setFocus();
            else
                setFocus();
            break;
        }
    }
    while (columnCount() > qMax(0, index)) {
        const Column column = m_columns.back();
        m_columns.pop_back();
        // Later: the column may be the one whose event is being handled.
        disconnect(column.view, nullptr, this, nullptr);
        if (QItemSelectionModel *selection = column.view->selectionModel())
            disconnect(selection, nullptr, this, nullptr);
        column.view->hide();
        column.handle->hide();
        m_layout->removeWidget(column.view);
        m_layout->removeWidget(column.handle);
        column.view->deleteLater();
        column.handle->deleteLater();
    }
}

void ContextMenuBrowser::scrollColumnToVisible(int index)
{
    QPointer<BrowserColumnView> view = column(index);
    if (!view)
        return;
    // The strip grows when the layout next runs; scroll once it has.
    QTimer::singleShot(0, this, [this, view] {
        if (view)
            ensureWidgetVisible(view, 0, 0);
    });
}

void ContextMenuBrowser::setCellDelegate(QAbstractItemDelegate *delegate)
{
    m_delegate = delegate;
    for (const Column &column : m_columns)
        column.view->setItemDelegate(delegate);
}

void ContextMenuBrowser::setCellFont(const QFont &font)
{
    m_font = font;
    const int previousWidth = std::exchange(m_columnWidth, defaultColumnWidth + columnGrowthPerPixel * qMax(0, font.pixelSize() - 12));
    for (const Column &column : m_columns) {
        if (column.view->maximumWidth() == previousWidth)
            column.view->setFixedWidth(m_columnWidth);
        column.view->setFont(font);
        column.view->doItemsLayout();
    }
}

QMenu *ContextMenuBrowser::menuAt(int index, const QPoint &positionInColumn)
{
    BrowserColumnView *view = column(index);
    if (!view || !menuProvider)
        return nullptr;
    const QModelIndex item = view->indexAt(positionInColumn);
    if (!item.isValid())
        return nullptr;
    return menuProvider(item.row(), index);
}

void ContextMenuBrowser::showContextMenu(BrowserColumnView *view, const QPoint &position)
{
    QMenu *menu = menuAt(indexOfColumn(view), position);
    if (!menu)
        return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(view->viewport()->mapToGlobal(position));
}
