#pragma once

#include "FSUIKit/TypeAheadSearch.h"

#include <QListView>
#include <QPersistentModelIndex>

#include <functional>

class FileDropHandler;
class QMenu;

// The icon grid: a list view in icon mode on fixed cells, which asks its
// owner for a context menu and, through its drop handler, where a drop goes,
// and which selects by typing the first letters of a name.
class ContextMenuCollectionView : public QListView
{
    Q_OBJECT
public:
    explicit ContextMenuCollectionView(QWidget *parent = nullptr);

    // Called with the index under a right-click (invalid on the background);
    // the menu returned is shown and then deleted.
    std::function<QMenu *(const QModelIndex &index)> menuProvider;

    // Lays the grid out on cells of this size. The grid's width W holds
    // (W − 24 + 8) / cell width cells (the items 12 in from both edges, 8
    // apart); the list view fits n cells when n × cell width < its viewport
    // width, so the viewport is 15 narrower than the grid.
    void setCellSize(const QSize &cell);
    QSize cellSize() const { return m_cellSize; }
    int itemsPerRow() const;
    // The first and last row on screen now; (0, −1) when none is.
    std::pair<int, int> visibleRows() const;

    FileDropHandler *dropHandler() const { return m_drops; }
    bool isDropTarget(const QModelIndex &index) const;

    // Shown over the grid, e.g. why a folder cannot be shown.
    void setPlaceholderText(const QString &text);
    QString placeholderText() const { return m_placeholderText; }
    // A line at the foot of the grid while rows wait for something.
    void setNoteText(const QString &text);

    void keyboardSearch(const QString &search) override;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QSize m_cellSize;
    FileDropHandler *m_drops = nullptr;
    QString m_placeholderText;
    QString m_noteText;
    TypeAheadSearch m_typeAhead;
};
