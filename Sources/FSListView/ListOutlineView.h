#pragma once

#include <QElapsedTimer>
#include <QPersistentModelIndex>
#include <QTreeView>

class ListViewController;

// The list view's table: a tree view that hands drags, type-ahead and the
// keys of the file browser to its controller.
class ListOutlineView : public QTreeView
{
    Q_OBJECT
public:
    explicit ListOutlineView(ListViewController *controller, QWidget *parent = nullptr);

    void keyboardSearch(const QString &search) override;
    // The row a drag now targets, or the whole view (an invalid index while
    // isDropOnRoot()), drawn highlighted.
    void setDropHighlight(const QModelIndex &row, bool isRoot);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    ListViewController *m_controller;
    QString m_typed;
    QElapsedTimer m_sinceLastKey;
    QPersistentModelIndex m_dropRow;
    bool m_isDropOnRoot = false;
};
