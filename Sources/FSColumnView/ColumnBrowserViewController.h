#pragma once

#include "FSCore/FileItem.h"
#include "FSCore/FileSorting.h"
#include "FSUIKit/SelectionProviding.h"
#include "FSUIKit/TextSize.h"

#include <QSet>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ContextMenuBrowser;
class FileJob;
class FileBrowserCell;
class QMenu;
class SortedFolderModel;

// A folder hierarchy as columns side by side: the first lists the root, and a
// folder selected in a column is listed in the next. Folders inside the home
// folder are shown from home down, so the path to them is visible. No column
// ever lists a folder on the main thread: a column fills from the listing cache
// at once or when the background listing arrives, and then follows the
// folder's changes row by row.
class ColumnBrowserViewController : public QWidget, public SelectionProviding
{
    Q_OBJECT
public:
    using FileOpener = std::function<void(const QUrl &url)>;

    std::function<void(const FileItem &item)> onSelectionChange;
    std::function<void()> onFileSystemChange;
    std::function<void(const FileItem &item)> onShowInfo;
    std::function<void(const FileItem &item)> onOpenInNewWindow;
    std::function<void()> onMoveToEnclosingFolder;

    explicit ColumnBrowserViewController(const QUrl &rootUrl, QWidget *parent = nullptr);
    ~ColumnBrowserViewController() override;

    // The home folder for anything inside it, otherwise the folder itself.
    static FileItem ancestorRoot(const QUrl &url);
    // How a double-clicked file is opened; the desktop's handler unless replaced.
    static void setFileOpener(FileOpener opener);

    ContextMenuBrowser *browser() const { return m_browser; }
    const FileItem &currentRoot() const { return m_currentRoot; }
    const std::optional<FileItem> &lastSelectedItem() const { return m_lastSelectedItem; }
    FileSortField sortField() const { return m_sortField; }
    // The folder each column lists, the first column first (empty for search results).
    QList<QUrl> columnFolders() const;
    SortedFolderModel *columnModel(int index) const;

    void setRoot(const QUrl &url);
    void applySortField(FileSortField field);
    void applyTextSize(TextSize size);
    void showSearchResults(const FileItemList &items);
    void clearSearchResults();

    QList<QUrl> selectedURLs() const override;
    QUrl currentDirectoryURL() const override;
    QList<FileItem> currentSortedItems() const override;
    // Reads every column again, keeping the selection by URL; a column whose
    // folder is gone goes with it.
    void refresh() override;
    void beginRename() override;
    void selectItem(const QUrl &url) override;

    // The menu for the cell at (row, column), which becomes the selection; the
    // caller owns it. nullptr where there is no item.
    QMenu *contextMenu(int row, int column);

private:
    struct Column
    {
        QUrl folder;
        SortedFolderModel *model;
    };
    struct PathWalk;

    void openColumn(const QUrl &folder);
    void openSearchColumn();
    SortedFolderModel *addColumnModel(const QUrl &folder);
    void dropColumnsFrom(int index);
    int indexOfModel(const SortedFolderModel *model) const;
    void columnStateChanged(SortedFolderModel *model);

    void columnSelectionChanged(int index);
    void followSelection(int index);
    void updateActiveColumn();
    int selectedColumn() const;
    std::optional<FileItem> chosenItem(int index) const;
    void moveToPreviousColumn(int index);
    void moveToNextColumn(int index);
    void openItem(int index, const QModelIndex &item);
    void springLoad(int index, int row);
    void filesDropped(const QUrl &folder, const QList<QUrl> &sources);

    void selectPath(const QUrl &url, bool reRootWhenUnreachable);
    void walkPath(const std::shared_ptr<PathWalk> &walk);
    void finishWalk(const PathWalk &walk);

    void selectPendingItem(int index);
    void forgetVanishedSelection();

    void commitRename(const QUrl &url, const QString &newName);
    void runFileJob(FileJob *job, const QUrl &changedFolder);
    void writeLabelColor(const FileItem &item, LabelColor color, const QUrl &changedFolder);
    void fileSystemChanged(const QUrl &changedFolder);

    ContextMenuBrowser *m_browser = nullptr;
    FileBrowserCell *m_cell = nullptr;
    FileItem m_currentRoot;
    std::optional<FileItem> m_lastSelectedItem;
    std::optional<FileItemList> m_searchResults;
    FileSortField m_sortField = FileSortField::name;
    std::vector<Column> m_columns;
    // Bumped whenever the root or the first column's contents change, so that
    // a path walk started before is dropped.
    quint64 m_generation = 0;
    // Nesting depth of selection changes the user did not make.
    int m_quietSelection = 0;
    // Models whose rows are being removed or reordered: what that does to the
    // selection is not the user choosing.
    QSet<const QObject *> m_changingModels;
    // An item made or renamed here, selected once its folder's listing shows it.
    std::optional<QUrl> m_pendingSelection;
};
