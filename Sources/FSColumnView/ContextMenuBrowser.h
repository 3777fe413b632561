#pragma once

#include <QScrollArea>

#include <functional>

class BrowserColumnView;
class QAbstractItemDelegate;
class QAbstractItemModel;
class QHBoxLayout;
class QMenu;

// A row of columns side by side in a horizontal scroller, each one a list that
// the user can make wider or narrower at its right edge. It knows nothing of
// folders: its owner adds and removes columns and answers for their menus.
class ContextMenuBrowser : public QScrollArea
{
    Q_OBJECT
public:
    static constexpr int minimumColumnWidth = 150;
    // At the small text size (12 pixels); a column grows by this much for
    // each pixel of larger text, so names keep room to be read.
    static constexpr int defaultColumnWidth = 190;
    static constexpr int columnGrowthPerPixel = 10;

    // Asked for the context menu of the cell at (row, column); the menu it
    // answers is shown and then deleted. No menu: nothing is shown.
    std::function<QMenu *(int row, int column)> menuProvider;

    explicit ContextMenuBrowser(QWidget *parent = nullptr);

    int columnCount() const { return int(m_columns.size()); }
    BrowserColumnView *column(int index) const;
    int indexOfColumn(const QWidget *view) const;

    // The new column is owned by the browser; the model stays the caller's.
    BrowserColumnView *addColumn(QAbstractItemModel *model);
    void removeColumnsFrom(int index);
    void scrollColumnToVisible(int index);

    void setCellDelegate(QAbstractItemDelegate *delegate);
    // Also widens (or narrows) the columns the user has not resized.
    void setCellFont(const QFont &font);
    int columnWidth() const { return m_columnWidth; }

    // What the provider answers for a point inside column `index`; nullptr on
    // an empty area or without a provider. The caller owns the menu.
    QMenu *menuAt(int index, const QPoint &positionInColumn);

Q_SIGNALS:
    void columnSelectionChanged(int index);
    void columnDoubleClicked(int index, const QModelIndex &item);
    void columnFocused(int index);
    void moveToPreviousColumnRequested(int index);
    void moveToNextColumnRequested(int index);
    void springLoaded(int index, int row);
    void filesDropped(const QUrl &folder, const QList<QUrl> &sources);

private:
    struct Column
    {
        BrowserColumnView *view;
        QWidget *handle;
    };

    void showContextMenu(BrowserColumnView *view, const QPoint &position);

    QWidget *m_strip = nullptr;
    QHBoxLayout *m_layout = nullptr;
    QAbstractItemDelegate *m_delegate = nullptr;
    QFont m_font;
    int m_columnWidth = defaultColumnWidth;
    std::vector<Column> m_columns;
};
