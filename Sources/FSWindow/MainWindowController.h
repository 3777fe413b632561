#pragma once

#include "NavigationModel.h"
#include "ViewMode.h"

#include "FSCore/FileSorting.h"

#include <QMainWindow>
#include <QUrl>

class ColumnBrowserViewController;
class ContentContainerViewController;
class DirectoryWatcher;
class ListViewController;
class FolderContentsModel;
class IconViewController;
class QAction;
class QLabel;
class QListView;

// A browser window on one folder: its items in the stored sort order, entered
// by double-click, left by back, forward and "Enclosing Folder".
class MainWindowController : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindowController(const QUrl &rootUrl, QWidget *parent = nullptr);
    ~MainWindowController() override;

    const NavigationModel &navigation() const { return m_navigation; }
    QUrl currentRootUrl() const { return m_navigation.currentRootUrl(); }

    void navigate(const QUrl &to, bool pushHistory);
    void goToEnclosingFolder();
    // Forgets every listing and reloads the folder shown.
    void refreshAllViews();

    void setViewMode(ViewMode mode);
    ViewMode viewMode() const { return m_viewMode; }
    ListViewController *listView() const { return m_listView; }

private:
    QWidget *browserFor(ViewMode mode);
    void buildActions();
    void showFolder(const QUrl &folder);
    void showStatus(const QUrl &folder);
    void updateWindowTitle(const QUrl &folder);
    void openItemAt(const QModelIndex &index);

    NavigationModel m_navigation;
    FileSortField m_sortField;
    FolderContentsModel *m_model = nullptr;
    QListView *m_view = nullptr;
    ListViewController *m_listView = nullptr;
    IconViewController *m_iconView = nullptr;
    // Made when first shown: its columns from home down cost listings of their own.
    ColumnBrowserViewController *m_columnView = nullptr;
    ContentContainerViewController *m_content = nullptr;
    ViewMode m_viewMode = ViewMode::icon;
    QLabel *m_statusLabel = nullptr;
    DirectoryWatcher *m_watcher = nullptr;
    QAction *m_backAction = nullptr;
    QAction *m_forwardAction = nullptr;
    QAction *m_enclosingFolderAction = nullptr;
};
