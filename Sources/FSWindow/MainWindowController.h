#pragma once

#include "NavigationModel.h"

#include "FSCore/FileSorting.h"

#include <QMainWindow>
#include <QUrl>

class ColumnBrowserViewController;
class DirectoryWatcher;
class FolderContentsModel;
class QAction;
class QLabel;
class QListView;
class QStackedWidget;

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

private:
    void buildActions();
    void showFolder(const QUrl &folder);
    void showStatus(const QUrl &folder);
    void updateWindowTitle(const QUrl &folder);
    void openItemAt(const QModelIndex &index);
    void showColumns(bool shown);

    NavigationModel m_navigation;
    FileSortField m_sortField;
    FolderContentsModel *m_model = nullptr;
    QListView *m_view = nullptr;
    QStackedWidget *m_views = nullptr;
    // Made when first shown.
    ColumnBrowserViewController *m_columnView = nullptr;
    QAction *m_columnsAction = nullptr;
    QLabel *m_statusLabel = nullptr;
    DirectoryWatcher *m_watcher = nullptr;
    QAction *m_backAction = nullptr;
    QAction *m_forwardAction = nullptr;
    QAction *m_enclosingFolderAction = nullptr;
};
