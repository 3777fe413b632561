#pragma once

#include "NavigationModel.h"
#include "ViewMode.h"

#include "FSCore/FileItem.h"
#include "FSCore/FileSorting.h"
#include "FSCore/FolderListingUpdate.h"
#include "FSQuickLook/PreviewPanelDataSource.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <optional>

class ColumnBrowserViewController;
class ContentContainerViewController;
class FileCommands;
class FileItem;
class IconViewController;
class ListViewController;
class MainToolbarView;
class MetadataQuery;
class QAction;
class QSplitter;
class QUndoStack;
class SelectionProviding;
class ServerConnector;
class SidebarViewController;
class SpacebarMonitor;
class StatusBarView;

// A browser window on one folder: the sidebar of places beside the three
// browsers, of which the view mode shows one, with back/forward, the view
// modes, the folder's name and the search field in a band above them and the
// status line below. Every browser shown once keeps following the window's
// folder, so a change of view mode shows the other browser as it already is.
//
// The main menu reaches a window through its slots, found by name, the way a
// menu item's action travels from the focused widget up to its window; before
// a menu shows, and before any of its commands runs, validateMenuItem() says
// whether the window takes it now.
//
// Typing in the search field searches below the shown folder, and the results
// take the place of the folder in all three browsers until the field is
// emptied. The space bar shows the shared preview panel on the selected item
// of the shown browser, and the arrows step through that browser's items.
class MainWindowController : public QMainWindow, public PreviewPanelDataSource
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
    void setViewMode(ViewMode mode);

    // The browser of the current view mode.
    SelectionProviding *activeBrowser() const;
    // The browser of `mode`; nullptr while it was never shown.
    QWidget *browserFor(ViewMode mode) const;

    // Shows the window, then makes it at least as large as it was placed.
    void showWindow();

    // True when a browser view has the keyboard focus and no text is being
    // edited in it: only then do bare keys (Return, Delete, space) act as commands.
    bool browserHasFocus() const;

    // The window's one search; started by the search field.
    MetadataQuery *searchQuery() const { return m_searchQuery; }
    // Whether this window shows the preview panel now.
    bool isQuickLookVisible() const { return m_isQuickLookVisible; }

    int numberOfPreviewItems(PreviewPanel *panel) override;
    QUrl previewPanel(PreviewPanel *panel, int previewItemAt) override;
    void previewPanelDidEndOwnership(PreviewPanel *panel) override;

    // Each browser, made now if it was never shown.
    ColumnBrowserViewController *columnView();
    ListViewController *listView();
    IconViewController *iconView();
    SidebarViewController *sidebar() const { return m_sidebar; }
    ContentContainerViewController *contentContainer() const { return m_contentContainer; }
    MainToolbarView *toolbarView() const { return m_toolbar; }
    StatusBarView *statusBarView() const { return m_statusBarView; }
    ServerConnector *serverConnector() const { return m_serverConnector; }
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
    QWidget *makeBrowser(ViewMode mode);
    QWidget *browser(ViewMode mode);
    void focusActiveBrowser();
    void setUpContent();
    void restoreFrame();
    void saveWindowFrame();
    void saveSidebarWidth();
    void applyAppearancePreferences();
    void updateStatusBar(const QUrl &folder);
    void updateWindowTitle(const QUrl &folder);
    void listingUpdated(const FolderListingUpdate &update);
    void listingFailed(const QUrl &folder, ListingFailure failure);
    void volumeUnmounted(const QUrl &volume);
    // Shows the nearest folder at or above `lowest` that exists, if the window
    // still shows `gone` by then and `gone` is not that folder; the home
    // folder when none exists.
    void moveToNearestExistingFolder(const QUrl &gone, const QUrl &lowest);
    void showInfo(const FileItem &item);
    void openInNewWindow(const FileItem &item);
    void applyPendingSelection(int attemptsLeft);
    void setUpServerConnector();
    QList<QUrl> selectedUrls() const;
    void browserMade(ViewMode mode);

    void setUpSearch();
    void searchFieldChanged(const QString &text);
    void startSearch(const QString &text);
    void stopMetadataQuery();
    void searchQueryDidUpdate();

    void setUpSpacebarMonitor();
    bool quickLookTakesKeys() const;
    void showQuickLook();
    void hideQuickLook();
    void endQuickLook();
    void applyQuickLookAppearance();
    void stepQuickLook(int step);
    // The browser's items or selection changed: the panel reads them again.
    void quickLookListChanged();
    void reloadQuickLook();
    void selectCurrentQuickLookIndex(PreviewPanel *panel);
    void selectItemInActiveBrowser(int index);

    NavigationModel m_navigation;
    ViewMode m_currentViewMode;
    FileSortField m_sortField;
    QSize m_intendedWindowSize;
    ColumnBrowserViewController *m_columnView = nullptr;
    ListViewController *m_listView = nullptr;
    IconViewController *m_iconView = nullptr;
    SidebarViewController *m_sidebar = nullptr;
    QSplitter *m_splitView = nullptr;
    ContentContainerViewController *m_contentContainer = nullptr;
    MainToolbarView *m_toolbar = nullptr;
    StatusBarView *m_statusBarView = nullptr;
    FileCommands *m_fileCommands = nullptr;
    QUndoStack *m_undoStack = nullptr; // the commands' own
    ServerConnector *m_serverConnector = nullptr;
    QUrl m_pendingSelection;
    QUrl m_shownFolder;
    QTimer m_frameSaveTimer;
    // Which selection request a retry belongs to.
    quint64 m_selectionGeneration = 0;
    // Frame changes made while the window is being built are not the user's.
    bool m_isPlaced = false;
    bool m_isWatchingMounts = false;

    MetadataQuery *m_searchQuery = nullptr;
    // The results last given to the browsers, while the field is not empty.
    std::optional<FileItemList> m_shownSearchResults;
    // Batches and live changes that arrive together reach the browsers once.
    QTimer m_searchDelivery;

    SpacebarMonitor *m_spacebarMonitor = nullptr;
    bool m_isQuickLookVisible = false;
    QMetaObject::Connection m_quickLookIndexObservation;
    // The shown browser's items as the panel last read them.
    FileItemList m_previewItems;
    QTimer m_quickLookReload;
    // Set while the panel is put on the browser's selection, which the
    // selection need not follow back.
    bool m_isPlacingQuickLook = false;
};
