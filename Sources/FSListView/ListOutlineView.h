#pragma once

#include "FSUIKit/TypeAheadSearch.h"

#include <QTreeView>

class FileDropHandler;
class ListViewController;

// The list view's table: a tree view that hands drags to its drop handler,
// and type-ahead and the keys of the file browser to its controller.
class ListOutlineView : public QTreeView
{
    Q_OBJECT
public:
    explicit ListOutlineView(ListViewController *controller, QWidget *parent = nullptr);

    void keyboardSearch(const QString &search) override;
    FileDropHandler *dropHandler() const { return m_drops; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void paintEvent(QPaintEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    ListViewController *m_controller;
    TypeAheadSearch m_typeAhead;
    FileDropHandler *m_drops = nullptr;
};
