#pragma once

#include <QPersistentModelIndex>
#include <QTreeView>

#include <functional>

class QMimeData;

// The sidebar's list. It tells the user's own selections (a click, the arrow
// keys) from those made by code, which the selection model cannot, and hands
// drags to its controller.
class SidebarOutlineView : public QTreeView
{
    Q_OBJECT
public:
    explicit SidebarOutlineView(QWidget *parent = nullptr);

    // The action a drop of `data` onto `target` would take, Qt::IgnoreAction
    // to refuse it.
    std::function<Qt::DropAction(const QMimeData *data, const QModelIndex &target, Qt::KeyboardModifiers modifiers)>
        validateDrop;
    // Whether the drop was taken.
    std::function<bool(const QMimeData *data, const QModelIndex &target, Qt::KeyboardModifiers modifiers)> acceptDrop;
    // The drag left without dropping.
    std::function<void()> onDragExit;

    QModelIndex dropTarget() const { return m_dropTarget; }

Q_SIGNALS:
    // The user chose this row, by a click or from the keyboard; once per click.
    void userSelected(const QModelIndex &index);
    void contextMenuRequested(const QModelIndex &index, const QPoint &globalPosition);

protected:
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void drawBranches(QPainter *, const QRect &, const QModelIndex &) const override {}
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    static bool isSelectable(const QModelIndex &index);
    void setDropTarget(const QModelIndex &index);

    QPersistentModelIndex m_dropTarget;
};
