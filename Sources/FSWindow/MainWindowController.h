#pragma once

#include "NavigationModel.h"
#include "ViewMode.h"

#include "FSCore/FileSorting.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <optional>

class ContentContainerViewController;
class DirectoryWatcher;
class FolderContentsModel;
class ListViewController;
class MainToolbarView;
class QAction;
class QListView;
class QSplitter;
class QUndoStack;
class StatusBarView;

// A browser window on one folder: its items in the stored sort order, entered
// by double-click, left by back, forward and "Enclosing Folder".
//
// The main menu reaches a window through its slots, found by name, the way a
// menu item's action travels from the focused widget up to its window; before
// a menu shows, and before any of its commands runs, validateMenuItem() says
// whether the window takes it now.
class MainWindowController : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr QSize defaultContentSize{1075, 700};
    static constexpr int defaultSidebarWidth = 150;
    static constexpr int minimumSidebarWidth = 120;
    static constexpr int maximumSidebarWidth = 220;
    static constexpr QSize minimumFrameSize{640, 400};

    explicit MainWindowController(const QUrl &rootUrl, QWidget *parent = nullptr);
    ~MainWindowController() override;

    const NavigationModel &navigation() const { return m_navigation; }
    QUrl currentRootUrl() const { return m_navigation.currentRootUrl(); }
    ViewMode currentViewMode() const { return m_currentViewMode; }
    ListViewController *listView() const { return m_listView; }
    FileSortField sortField() const { return m_sortField; }

    void navigate(const QUrl &to, bool pushHistory);
    // Forgets every listing and reloads the folder shown.
    void refreshAllViews();
    // A window never shows a folder that is gone (deleted, or its volume
    // unmounted): it moves to the nearest folder above that still exists.
    void leaveFolderIfGone();
    // Selects `item` in the shown folder once its listing is there.
    void selectItem(const QUrl &item);

    // True once the listing of the current folder is shown.
    bool isShowingCurrentFolder() const { return m_shownFolder == currentRootUrl(); }

    // Shows the window, then makes it at least as large as it was placed.
    void showWindow();

    // True when a browser view has the keyboard focus and no text is being
    // edited in it: only then do bare keys (Return, Delete) act as commands.
    bool browserHasFocus() const;

    MainToolbarView *toolbarView() const { return m_toolbar; }
    StatusBarView *statusBarView() const { return m_statusBarView; }
    QSplitter *splitView() const { return m_splitView; }
    QUndoStack *undoStack() const { return m_undoStack; }

    // True when at least one screen's available area holds all of `rect`.
    static bool isReasonablyOnScreen(const QRect &rect);
    // The "{{x, y}, {w, h}}" text the frame is stored as, in screen
    // coordinates from the top left.
    static QString stringFromRect(const QRect &rect);
    static std::optional<QRect> rectFromString(const QString &text);

public Q_SLOTS:
    // The menu's commands. Each takes the menu item that sent it.
    bool validateMenuItem(QAction *item) const;
    void newFolder();
    void openSelection();
    void showInfoForSelection();
    void toggleQuickLook();
    void duplicateSelection();
    void renameSelection();
    void moveSelectionToEnclosingFolder();
    void moveSelectionToTrash();
    void emptyTrash();
    void undo();
    void redo();
    void copy();
    void paste();
    void selectAll();
    void setSortField(QAction *sender);
    void goToEnclosingFolder();
    void connectToServer();

    void navigationControlClicked(int segment);
    void viewModeChanged(int segment);
    void resetToDefaultLayout();

protected:
    void paintEvent(QPaintEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setUpContent(const QUrl &rootUrl);
    // The browser of the current view mode; the list until the other two exist.
    QWidget *activeBrowser() const;
    void restoreFrame();
    void saveWindowFrame();
    void saveSidebarWidth();
    void applyAppearancePreferences();
    void showFolder(const QUrl &folder);
    void updateStatusBar(const QUrl &folder);
    void updateWindowTitle(const QUrl &folder);
    void openItemAt(const QModelIndex &index);
    void applyPendingSelection();
    QList<QUrl> selectedUrls() const;

    NavigationModel m_navigation;
    ViewMode m_currentViewMode;
    FileSortField m_sortField;
    QSize m_intendedWindowSize;
    FolderContentsModel *m_model = nullptr;
    QListView *m_view = nullptr;
    ListViewController *m_listView = nullptr;
    QSplitter *m_splitView = nullptr;
    QWidget *m_sidebar = nullptr;
    ContentContainerViewController *m_contentContainer = nullptr;
    MainToolbarView *m_toolbar = nullptr;
    StatusBarView *m_statusBarView = nullptr;
    DirectoryWatcher *m_watcher = nullptr;
    QUndoStack *m_undoStack = nullptr;
    QUrl m_pendingSelection;
    QUrl m_shownFolder;
    QTimer m_frameSaveTimer;
    // Frame changes made while the window is being built are not the user's.
    bool m_isPlaced = false;
    bool m_isWatchingMounts = false;
};
