#include "MainWindowController.h"

#include "ContentContainerViewController.h"
#include "FolderContentsModel.h"
#include "ViewModePreferenceStore.h"

#include "FSColumnView/ColumnBrowserViewController.h"
#include "FSCore/DirectoryListingCache.h"
#include "FSCore/DirectoryWatcher.h"
#include "FSCore/FileItem.h"
#include "FSIconView/IconViewController.h"
#include "FSListView/ListViewController.h"
#include "FSUIKit/AppearanceNotifications.h"
#include "FSUIKit/AppearancePreferenceStore.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

MainWindowController::MainWindowController(const QUrl &rootUrl, QWidget *parent)
    : QMainWindow(parent)
    , m_navigation(rootUrl)
    , m_sortField(ViewModePreferenceStore::loadSortField())
{
    setAttribute(Qt::WA_DeleteOnClose);
    resize(900, 560);

    m_model = new FolderContentsModel(this);
    m_view = new QListView(this);
    m_view->setModel(m_model);
    m_view->setUniformItemSizes(true);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(m_view, &QListView::activated, this, &MainWindowController::openItemAt);

    m_listView = new ListViewController(rootUrl, this);
    m_listView->onOpen = [this](const QUrl &folder) { navigate(folder, true); };
    m_listView->onFileSystemChange = [this] { refreshAllViews(); };
    m_listView->onMoveToEnclosingFolder = [this] { goToEnclosingFolder(); };
    m_listView->hide();
    connect(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange, this,
            [this] { m_listView->applyTextSize(AppearancePreferenceStore::textSize()); });

    m_iconView = new IconViewController(rootUrl, this);
    m_iconView->applySortField(m_sortField);
    m_iconView->onOpen = [this](const QUrl &folder) { navigate(folder, true); };
    m_iconView->onFileSystemChange = [this] { showStatus(m_navigation.currentRootUrl()); };
    m_iconView->onMoveToEnclosingFolder = [this] { goToEnclosingFolder(); };
    m_iconView->hide();
    connect(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange, this,
            [this] { m_iconView->applyTextSize(AppearancePreferenceStore::textSize()); });

    m_content = new ContentContainerViewController(this);
    setCentralWidget(m_content);
    m_viewMode = ViewModePreferenceStore::loadViewMode();
    m_content->setContent(browserFor(m_viewMode));

    m_statusLabel = new QLabel(this);
    statusBar()->addWidget(m_statusLabel, 1);

    m_watcher = new DirectoryWatcher(0.3, this);
    m_watcher->onChange = [this] { refreshAllViews(); };

    buildActions();

    m_navigation.setEffects({
        [this](const QUrl &folder) { showFolder(folder); },
        [this](const QUrl &folder) { m_watcher->startWatching(folder); },
        [this](bool canGoBack, bool canGoForward) {
            m_backAction->setEnabled(canGoBack);
            m_forwardAction->setEnabled(canGoForward);
        },
        [this](const QUrl &folder) { showStatus(folder); },
        [this](const QUrl &folder) { updateWindowTitle(folder); },
    });
    navigate(rootUrl, false);
}

MainWindowController::~MainWindowController() = default;

void MainWindowController::buildActions()
{
    QStyle *style = QApplication::style();
    m_backAction = new QAction(style->standardIcon(QStyle::SP_ArrowBack), tr("Back"), this);
    m_forwardAction = new QAction(style->standardIcon(QStyle::SP_ArrowForward), tr("Forward"), this);
    m_enclosingFolderAction = new QAction(style->standardIcon(QStyle::SP_FileDialogToParent), tr("Enclosing Folder"), this);
    m_enclosingFolderAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
    m_backAction->setEnabled(false);
    m_forwardAction->setEnabled(false);
    connect(m_backAction, &QAction::triggered, this, [this] { m_navigation.navigationControlClicked(0); });
    connect(m_forwardAction, &QAction::triggered, this, [this] { m_navigation.navigationControlClicked(1); });
    connect(m_enclosingFolderAction, &QAction::triggered, this, &MainWindowController::goToEnclosingFolder);

    QToolBar *toolbar = addToolBar(tr("Navigation"));
    toolbar->setMovable(false);
    toolbar->addAction(m_backAction);
    toolbar->addAction(m_forwardAction);
    toolbar->addAction(m_enclosingFolderAction);

    QMenu *goMenu = menuBar()->addMenu(tr("Go"));
    goMenu->addAction(m_enclosingFolderAction);

    // A plain switch until the window gets its view-mode control.
    QMenu *viewMenu = menuBar()->addMenu(tr("View"));
    auto *modes = new QActionGroup(this);
    const std::pair<ViewMode, QString> entries[] = {
        {ViewMode::icon, tr("as Icons")}, {ViewMode::list, tr("as List")}, {ViewMode::column, tr("as Columns")}};
    for (const auto &[mode, title] : entries) {
        QAction *action = viewMenu->addAction(title);
        action->setCheckable(true);
        action->setChecked(mode == m_viewMode);
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + ViewModes::rawValue(mode))));
        modes->addAction(action);
        connect(action, &QAction::triggered, this, [this, mode = mode] { setViewMode(mode); });
    }
}

void MainWindowController::setViewMode(ViewMode mode)
{
    m_viewMode = mode;
    m_content->setContent(browserFor(mode));
    ViewModePreferenceStore::saveViewMode(mode);
}

QWidget *MainWindowController::browserFor(ViewMode mode)
{
    switch (mode) {
    case ViewMode::icon:
        return m_iconView;
    case ViewMode::list:
        return m_listView;
    case ViewMode::column:
        break;
    }
    if (!m_columnView) {
        const QUrl folder = m_navigation.currentRootUrl();
        m_columnView = new ColumnBrowserViewController(folder, this);
        m_columnView->applySortField(m_sortField);
        m_columnView->applyTextSize(AppearancePreferenceStore::textSize());
        if (!folder.isEmpty())
            m_columnView->setRoot(folder);
        m_columnView->onFileSystemChange = [this] { showStatus(m_navigation.currentRootUrl()); };
        m_columnView->onMoveToEnclosingFolder = [this] { goToEnclosingFolder(); };
        connect(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange, this,
                [this] { m_columnView->applyTextSize(AppearancePreferenceStore::textSize()); });
    }
    return m_columnView;
}

void MainWindowController::navigate(const QUrl &to, bool pushHistory)
{
    m_navigation.navigate(to, pushHistory);
}

void MainWindowController::goToEnclosingFolder()
{
    m_navigation.goToEnclosingFolder();
}

void MainWindowController::refreshAllViews()
{
    DirectoryListingCache::invalidateAll();
    const QUrl folder = m_navigation.currentRootUrl();
    showFolder(folder);
    m_listView->refresh();
    m_iconView->refresh();
    if (m_columnView)
        m_columnView->refresh();
    showStatus(folder);
}

void MainWindowController::showFolder(const QUrl &folder)
{
    if (m_listView->rootURL() != folder)
        m_listView->setRoot(folder);
    if (m_iconView->rootUrl() != folder)
        m_iconView->setRoot(folder);
    if (m_columnView)
        m_columnView->setRoot(folder);
    const FileSortField field = m_sortField;
    DirectoryListingCache::contents(folder, this, [this, folder, field](const FileItemList &items) {
        // A listing for a folder the window has left is stale.
        if (folder != m_navigation.currentRootUrl())
            return;
        const FileItemList shown = field == FileSortField::name ? items : FileSorting::sorted(items, field, {});
        m_model->setItems(shown);
    });
}

void MainWindowController::showStatus(const QUrl &folder)
{
    DirectoryListingCache::contents(folder, this, [this, folder](const FileItemList &items) {
        if (folder != m_navigation.currentRootUrl())
            return;
        m_statusLabel->setText(items.size() == 1 ? tr("1 item") : tr("%1 items").arg(items.size()));
    });
}

void MainWindowController::updateWindowTitle(const QUrl &folder)
{
    setWindowTitle(FileItem(folder).name());
}

void MainWindowController::openItemAt(const QModelIndex &index)
{
    const FileItem item = m_model->itemAt(index);
    if (item.isBrowsable())
        navigate(item.url(), true);
}
