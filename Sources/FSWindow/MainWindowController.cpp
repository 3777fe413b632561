#include "MainWindowController.h"

#include "AppWindowOpening.h"
#include "ClassicSegmentedControl.h"
#include "ContentContainerViewController.h"
#include "FileCommands.h"
#include "MainToolbarView.h"
#include "ServerConnector.h"
#include "StatusBarView.h"
#include "ViewModePreferenceStore.h"

#include "FSColumnView/BrowserColumnView.h"
#include "FSColumnView/ColumnBrowserViewController.h"
#include "FSColumnView/ContextMenuBrowser.h"
#include "FSCore/DirectoryListingCache.h"
#include "FSCore/FileItem.h"
#include "FSCore/MainThread.h"
#include "FSCore/MetadataQuery.h"
#include "FSCore/VolumeInfo.h"
#include "FSCore/WorkQueues.h"
#include "FSGetInfo/GetInfoWindowRegistry.h"
#include "FSIconView/ContextMenuCollectionView.h"
#include "FSIconView/IconViewController.h"
#include "FSListView/ListViewController.h"
#include "FSPlatform/MountMonitor.h"
#include "FSPlatform/MountTable.h"
#include "FSPlatform/PathCodec.h"
#include "FSQuickLook/PreviewPanel.h"
#include "FSQuickLook/SpacebarMonitor.h"
#include "FSSidebar/SidebarViewController.h"
#include "FSUIKit/AppearanceNotifications.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSUIKit/ClassicStyle.h"
#include "FSUIKit/FilePasteboard.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTextEdit>
#include <QThreadPool>
#include <QTimer>
#include <QTreeView>
#include <QUndoStack>
#include <QVBoxLayout>

namespace {

const QString frameKey = QStringLiteral("TidewrightMainWindowFrame");
const QString sidebarWidthKey = QStringLiteral("NSSplitView Subview Frames MainSplitView");

// How long a selection asked for before its folder was shown waits for the
// browser to show the item: the listing may still be read, then sorted.
constexpr int selectionRetryMilliseconds = 50;
constexpr int selectionAttempts = 100;

bool isTextInput(const QWidget *widget)
{
    if (qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QTextEdit *>(widget)
        || qobject_cast<const QPlainTextEdit *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget))
        return true;
    const auto *combo = qobject_cast<const QComboBox *>(widget);
    return combo && combo->isEditable();
}

QRect centredOnScreen(QSize size, const QScreen *screen)
{
    QRect frame(QPoint(0, 0), size);
    if (screen)
        frame.moveCenter(screen->availableGeometry().center());
    return frame;
}

QByteArray menuActionOf(const QAction *item)
{
    return item ? item->property("menuAction").toByteArray() : QByteArray();
}

QUrl parentOf(const QUrl &folder)
{
    const QString path = folder.toLocalFile();
    const QString parent = QDir::cleanPath(path + QStringLiteral("/.."));
    return parent == path ? QUrl() : PathCodec::urlForPath(parent);
}

} // namespace

MainWindowController::MainWindowController(const QUrl &rootUrl, QWidget *parent)
    : QMainWindow(parent)
    , m_navigation(rootUrl)
    , m_currentViewMode(ViewModePreferenceStore::loadViewMode())
    , m_sortField(ViewModePreferenceStore::loadSortField())
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Tidewright"));
    m_fileCommands = new FileCommands(this, this);
    m_undoStack = m_fileCommands->undoStack();
    m_fileCommands->setSelectionProvider([this] { return activeBrowser(); });
    m_fileCommands->onRefreshAllViews = [this] { refreshAllViews(); };
    m_fileCommands->onNavigate = [this](const QUrl &folder) { navigate(folder, true); };
    m_fileCommands->onOpenInNewWindow = [](const QUrl &folder) {
        if (AppWindowOpening *opener = AppWindowOpening::shared())
            opener->openNewWindow(folder);
    };
    m_fileCommands->onShowInfo = [this](const QList<QUrl> &) { showInfoForSelection(); };
    m_frameSaveTimer.setSingleShot(true);
    m_frameSaveTimer.setInterval(200);
    connect(&m_frameSaveTimer, &QTimer::timeout, this,
            [this] { QSettings().setValue(frameKey, stringFromRect(geometry())); });

    m_sidebar = new SidebarViewController;
    setUpContent();
    restoreFrame();
    m_intendedWindowSize = size();
    // As narrow as the band's controls allow side by side.
    setMinimumSize(m_toolbar->minimumWindowWidth(), minimumFrameSize.height());

    m_navigation.setEffects({
        [this](const QUrl &folder) {
            if (m_columnView)
                m_columnView->setRoot(folder);
            if (m_listView)
                m_listView->setRoot(folder);
            if (m_iconView)
                m_iconView->setRoot(folder);
            m_sidebar->selectLocation(folder);
            quickLookListChanged();
        },
        // The listing cache watches every folder a browser shows, and the
        // browsers follow its changes; the window follows them for its status line.
        {},
        [this](bool canGoBack, bool canGoForward) {
            m_toolbar->navigationControl()->setSegmentEnabled(0, canGoBack);
            m_toolbar->navigationControl()->setSegmentEnabled(1, canGoForward);
        },
        [this](const QUrl &folder) { updateStatusBar(folder); },
        [this](const QUrl &folder) { updateWindowTitle(folder); },
    });
    // The browser shown was made on the root and is listing it already:
    // navigating to it again would list it twice.
    m_sidebar->selectLocation(rootUrl);
    // The sidebar selects its first place on its first turn of the event loop
    // when nothing is selected; a window on another folder shows none.
    QTimer::singleShot(0, this, [this] { m_sidebar->selectLocation(currentRootUrl()); });
    updateStatusBar(rootUrl);
    updateWindowTitle(rootUrl);
    applyAppearancePreferences();

    auto *notifier = FolderListingNotifier::instance();
    connect(notifier, &FolderListingNotifier::listingUpdated, this, &MainWindowController::listingUpdated);
    connect(notifier, &FolderListingNotifier::listingFailed, this, &MainWindowController::listingFailed);
    connect(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange, this,
            &MainWindowController::applyAppearancePreferences);
    connect(AppearanceNotifications::instance(), &AppearanceNotifications::resetWindowLayoutRequested, this,
            &MainWindowController::resetToDefaultLayout);
    connect(m_toolbar->navigationControl(), &ClassicSegmentedControl::segmentClicked, this,
            &MainWindowController::navigationControlClicked);
    connect(m_toolbar->viewModeControl(), &ClassicSegmentedControl::segmentClicked, this,
            &MainWindowController::viewModeChanged);
    m_sidebar->onSelect = [this](const FileItem &item) { navigate(item.url(), true); };
    m_sidebar->onFileSystemChange = [this] { refreshAllViews(); };
    setUpServerConnector();
    setUpSearch();
    setUpSpacebarMonitor();
    m_isPlaced = true;
}

MainWindowController::~MainWindowController()
{
    // The browsers go after this body, with the members: nothing of theirs
    // may reach back into the window by then.
    delete m_spacebarMonitor;
    m_spacebarMonitor = nullptr;
    if (m_isQuickLookVisible)
        PreviewPanel::shared()->releaseOwnership(this);
    endQuickLook();
    stopMetadataQuery();
    if (m_columnView)
        m_columnView->onSelectionChange = nullptr;
    if (m_listView)
        m_listView->onSelectionChange = nullptr;
    if (m_iconView)
        m_iconView->onSelectionChange = nullptr;
}

QWidget *MainWindowController::makeBrowser(ViewMode mode)
{
    // The browsers are children of this window: their callbacks cannot outlive it.
    const auto refresh = [this] { refreshAllViews(); };
    const auto open = [this](const QUrl &folder) { navigate(folder, true); };
    const auto info = [this](const FileItem &item) { showInfo(item); };
    const auto newWindow = [this](const FileItem &item) { openInNewWindow(item); };
    const auto moveToEnclosingFolder = [this] { moveSelectionToEnclosingFolder(); };
    const TextSize textSize = AppearancePreferenceStore::textSize();
    const QUrl root = currentRootUrl();

    switch (mode) {
    case ViewMode::icon:
        m_iconView = new IconViewController(root, m_contentContainer);
        m_iconView->applySortField(m_sortField);
        m_iconView->applyTextSize(textSize);
        m_iconView->onOpen = open;
        m_iconView->onFileSystemChange = refresh;
        m_iconView->onShowInfo = info;
        m_iconView->onOpenInNewWindow = newWindow;
        m_iconView->onMoveToEnclosingFolder = moveToEnclosingFolder;
        return m_iconView;
    case ViewMode::list:
        m_listView = new ListViewController(root, m_contentContainer);
        m_listView->applyTextSize(textSize);
        m_listView->onOpen = open;
        m_listView->onFileSystemChange = refresh;
        m_listView->onShowInfo = info;
        m_listView->onOpenInNewWindow = newWindow;
        m_listView->onMoveToEnclosingFolder = moveToEnclosingFolder;
        return m_listView;
    case ViewMode::column:
        break;
    }
    m_columnView = new ColumnBrowserViewController(root, m_contentContainer);
    // Folders inside the home folder show the home folder's column first.
    if (ColumnBrowserViewController::ancestorRoot(root).url() != root)
        m_columnView->setRoot(root);
    m_columnView->applySortField(m_sortField);
    m_columnView->applyTextSize(textSize);
    m_columnView->onFileSystemChange = refresh;
    m_columnView->onShowInfo = info;
    m_columnView->onOpenInNewWindow = newWindow;
    m_columnView->onMoveToEnclosingFolder = moveToEnclosingFolder;
    return m_columnView;
}

QWidget *MainWindowController::browser(ViewMode mode)
{
    if (QWidget *made = browserFor(mode))
        return made;
    QWidget *made = makeBrowser(mode);
    made->hide();
    browserMade(mode);
    return made;
}

ColumnBrowserViewController *MainWindowController::columnView()
{
    browser(ViewMode::column);
    return m_columnView;
}

ListViewController *MainWindowController::listView()
{
    browser(ViewMode::list);
    return m_listView;
}

IconViewController *MainWindowController::iconView()
{
    browser(ViewMode::icon);
    return m_iconView;
}

void MainWindowController::setUpContent()
{
    m_sidebar->setMinimumWidth(minimumSidebarWidth);
    m_sidebar->setMaximumWidth(maximumSidebarWidth);
    m_contentContainer = new ContentContainerViewController;
    // A browser is made when first shown: one that is never shown never lists
    // or sorts anything. Once made, it follows the window's folder, hidden
    // or not, so that showing it again needs no reload.
    m_contentContainer->setContent(browser(m_currentViewMode));

    m_splitView = new QSplitter(Qt::Horizontal);
    m_splitView->setObjectName(QStringLiteral("MainSplitView"));
    m_splitView->setChildrenCollapsible(false);
    m_splitView->setHandleWidth(1);
    m_splitView->addWidget(m_sidebar);
    m_splitView->addWidget(m_contentContainer);
    m_splitView->setStretchFactor(0, 0);
    m_splitView->setStretchFactor(1, 1);
    const QVariant storedWidth = QSettings().value(sidebarWidthKey);
    bool isNumber = false;
    const int sidebarWidth = storedWidth.toInt(&isNumber);
    m_splitView->setSizes({isNumber ? sidebarWidth : defaultSidebarWidth, defaultContentSize.width()});
    connect(m_splitView, &QSplitter::splitterMoved, this, &MainWindowController::saveSidebarWidth);

    m_toolbar = new MainToolbarView(ViewModes::rawValue(m_currentViewMode));
    m_statusBarView = new StatusBarView;

    auto *container = new QWidget;
    auto *layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_splitView, 1);
    layout->addWidget(m_statusBarView);
    setCentralWidget(container);
}

void MainWindowController::restoreFrame()
{
    const std::optional<QRect> stored = rectFromString(QSettings().value(frameKey).toString());
    if (stored && stored->width() >= minimumFrameSize.width() && stored->height() >= minimumFrameSize.height()
        && isReasonablyOnScreen(*stored)) {
        setGeometry(*stored);
        return;
    }
    setGeometry(centredOnScreen(defaultContentSize, QGuiApplication::primaryScreen()));
}

void MainWindowController::showWindow()
{
    show();
    // Keys go to the browser when the window opens, not to the search field.
    focusActiveBrowser();
    if (width() >= m_intendedWindowSize.width() && height() >= m_intendedWindowSize.height())
        return;
    QRect frame = geometry();
    const QPoint centre = frame.center();
    frame.setSize(frame.size().expandedTo(m_intendedWindowSize));
    frame.moveCenter(centre);
    setGeometry(frame);
}

void MainWindowController::resetToDefaultLayout()
{
    QRect candidate(QPoint(0, 0), defaultContentSize);
    candidate.moveCenter(geometry().center());
    if (isReasonablyOnScreen(candidate))
        setGeometry(candidate);
    else
        setGeometry(centredOnScreen(defaultContentSize, screen()));
    m_splitView->setSizes({defaultSidebarWidth, std::max(0, m_splitView->width() - defaultSidebarWidth)});
    saveSidebarWidth();
}

void MainWindowController::paintEvent(QPaintEvent *event)
{
    QMainWindow::paintEvent(event);
    if (m_isWatchingMounts)
        return;
    // The volume monitor starts the desktop's volume services on first use,
    // which takes a while: after the window is on screen, not before.
    m_isWatchingMounts = true;
    QTimer::singleShot(0, this, [this] {
        connect(MountMonitor::instance(), &MountMonitor::volumeUnmounted, this, &MainWindowController::volumeUnmounted);
    });
}

void MainWindowController::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    saveWindowFrame();
}

void MainWindowController::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    saveWindowFrame();
}

void MainWindowController::saveWindowFrame()
{
    // A drag moves or resizes the window many times a second; the frame is
    // written once it has rested.
    if (m_isPlaced && isVisible())
        m_frameSaveTimer.start();
}

void MainWindowController::saveSidebarWidth()
{
    const QList<int> sizes = m_splitView->sizes();
    if (!sizes.isEmpty())
        QSettings().setValue(sidebarWidthKey, sizes.first());
}

bool MainWindowController::isReasonablyOnScreen(const QRect &rect)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(),
                       [&rect](const QScreen *screen) { return screen->availableGeometry().contains(rect); });
}

QString MainWindowController::stringFromRect(const QRect &rect)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

std::optional<QRect> MainWindowController::rectFromString(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        R"(^\s*\{\s*\{\s*(-?\d+(?:\.\d+)?)\s*,\s*(-?\d+(?:\.\d+)?)\s*\}\s*,\s*\{\s*(\d+(?:\.\d+)?)\s*,\s*(\d+(?:\.\d+)?)\s*\}\s*\}\s*$)"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const auto number = [&match](int group) { return qRound(match.captured(group).toDouble()); };
    return QRect(number(1), number(2), number(3), number(4));
}

void MainWindowController::applyAppearancePreferences()
{
    const AppTheme theme = AppearancePreferenceStore::theme();
    const TextSize textSize = AppearancePreferenceStore::textSize();
    QPalette windowPalette = palette();
    windowPalette.setBrush(QPalette::Window, ClassicStyle::windowBackground(theme));
    setPalette(windowPalette);
    setAutoFillBackground(true);
    m_statusBarView->applyTheme(theme);
    m_statusBarView->label()->setFont(TextSizes::font(textSize));
    m_sidebar->applyTheme(theme);
    m_sidebar->applyTextSize(textSize);
    if (m_listView)
        m_listView->applyTextSize(textSize);
    if (m_iconView)
        m_iconView->applyTextSize(textSize);
    if (m_columnView)
        m_columnView->applyTextSize(textSize);
}

void MainWindowController::navigate(const QUrl &to, bool pushHistory)
{
    m_pendingSelection.clear();
    m_navigation.navigate(to, pushHistory);
}

void MainWindowController::navigationControlClicked(int segment)
{
    m_navigation.navigationControlClicked(segment);
}

void MainWindowController::viewModeChanged(int segment)
{
    const std::optional<ViewMode> mode = ViewModes::fromRawValue(segment);
    if (mode)
        setViewMode(*mode);
}

void MainWindowController::setViewMode(ViewMode mode)
{
    m_currentViewMode = mode;
    ViewModePreferenceStore::saveViewMode(mode);
    m_toolbar->viewModeControl()->setSelectedSegment(ViewModes::rawValue(mode));
    const bool hadFocus = m_contentContainer->isAncestorOf(QApplication::focusWidget());
    m_contentContainer->setContent(browser(mode));
    if (hadFocus)
        focusActiveBrowser();
    quickLookListChanged();
}

void MainWindowController::focusActiveBrowser()
{
    switch (m_currentViewMode) {
    case ViewMode::icon:
        m_iconView->collectionView()->setFocus();
        return;
    case ViewMode::list:
        m_listView->outlineView()->setFocus();
        return;
    case ViewMode::column:
        break;
    }
    const ContextMenuBrowser *columns = m_columnView->browser();
    if (columns->columnCount() > 0)
        columns->column(columns->columnCount() - 1)->setFocus();
}

QWidget *MainWindowController::browserFor(ViewMode mode) const
{
    switch (mode) {
    case ViewMode::icon:
        return m_iconView;
    case ViewMode::list:
        return m_listView;
    case ViewMode::column:
        break;
    }
    return m_columnView;
}

SelectionProviding *MainWindowController::activeBrowser() const
{
    switch (m_currentViewMode) {
    case ViewMode::icon:
        return m_iconView;
    case ViewMode::list:
        return m_listView;
    case ViewMode::column:
        break;
    }
    return m_columnView;
}

void MainWindowController::goToEnclosingFolder()
{
    m_navigation.goToEnclosingFolder();
}

void MainWindowController::refreshAllViews()
{
    // Read again by difference: the browsers change row by row and keep their
    // selection, instead of starting over from a fresh listing.
    QList<QUrl> folders{currentRootUrl()};
    const QList<QUrl> columnFolders = m_columnView ? m_columnView->columnFolders() : QList<QUrl>();
    for (const QUrl &folder : columnFolders) {
        if (!folders.contains(folder))
            folders.append(folder);
    }
    for (const QUrl &folder : folders)
        DirectoryListingCache::refresh(folder);
}

void MainWindowController::listingUpdated(const FolderListingUpdate &update)
{
    // While search results are shown, the line counts them instead.
    if (update.folder == currentRootUrl() && !m_shownSearchResults)
        m_statusBarView->update(update.items.size(), update.folder);
}

void MainWindowController::listingFailed(const QUrl &folder, ListingFailure failure)
{
    if (folder != currentRootUrl())
        return;
    if (failure == ListingFailure::missing || failure == ListingFailure::notAFolder)
        moveToNearestExistingFolder(folder, folder);
    else
        m_statusBarView->update(0, folder);
}

void MainWindowController::volumeUnmounted(const QUrl &volume)
{
    // The empty mount point left behind is no place to show.
    if (MountTable::isAtOrBelow(currentRootUrl().toLocalFile(), volume.toLocalFile()))
        moveToNearestExistingFolder(currentRootUrl(), parentOf(volume));
}

void MainWindowController::leaveFolderIfGone()
{
    moveToNearestExistingFolder(currentRootUrl(), currentRootUrl());
}

void MainWindowController::moveToNearestExistingFolder(const QUrl &gone, const QUrl &lowest)
{
    // Asking the disk may wait on a share that stopped answering.
    QPointer<MainWindowController> guard(this);
    WorkQueues::listings()->start([guard, gone, lowest] {
        QUrl nearest = lowest;
        while (!nearest.isEmpty() && !QFileInfo(nearest.toLocalFile()).isDir())
            nearest = parentOf(nearest);
        if (nearest.isEmpty())
            nearest = PathCodec::urlForPath(QDir::homePath());
        MainThread::post([guard, gone, nearest] {
            // The window may have gone elsewhere while the disk was asked.
            if (guard && guard->currentRootUrl() == gone && nearest != gone)
                guard->navigate(nearest, true);
        });
    });
}

void MainWindowController::selectItem(const QUrl &item)
{
    m_pendingSelection = item;
    applyPendingSelection(selectionAttempts);
}

void MainWindowController::applyPendingSelection(int attemptsLeft)
{
    if (m_pendingSelection.isEmpty())
        return;
    SelectionProviding *browser = activeBrowser();
    browser->selectItem(m_pendingSelection);
    if (browser->selectedURLs().contains(m_pendingSelection) || attemptsLeft <= 0) {
        m_pendingSelection.clear();
        return;
    }
    // Not shown yet: its listing is still being read or sorted.
    const quint64 generation = ++m_selectionGeneration;
    QTimer::singleShot(selectionRetryMilliseconds, this, [this, generation, attemptsLeft] {
        if (generation == m_selectionGeneration)
            applyPendingSelection(attemptsLeft - 1);
    });
}

void MainWindowController::updateStatusBar(const QUrl &folder)
{
    QPointer<MainWindowController> guard(this);
    DirectoryListingCache::contents(folder, this, [guard, folder](const FileItemList &items) {
        if (!guard || folder != guard->m_navigation.currentRootUrl())
            return;
        // The browsers asked for this listing first, so they show it already.
        guard->m_shownFolder = folder;
        if (!guard->m_shownSearchResults)
            guard->m_statusBarView->update(items.size(), folder);
    });
}

void MainWindowController::updateWindowTitle(const QUrl &folder)
{
    const QString path = folder.toLocalFile();
    const QString name = path == QLatin1String("/") ? VolumeInfo::displayName(folder)
                                                    : PathCodec::displayForm(FileItem(folder).name());
    setWindowTitle(name);
    m_toolbar->setFolderName(name);
}

void MainWindowController::showInfo(const FileItem &item)
{
    GetInfoWindowRegistry::shared().show(item);
}

void MainWindowController::openInNewWindow(const FileItem &item)
{
    if (AppWindowOpening *opener = AppWindowOpening::shared())
        opener->openNewWindow(item.url());
}

QList<QUrl> MainWindowController::selectedUrls() const
{
    return activeBrowser()->selectedURLs();
}

bool MainWindowController::browserHasFocus() const
{
    const QWidget *focus = QApplication::focusWidget();
    return focus && focus->window() == this && m_contentContainer->isAncestorOf(focus) && !isTextInput(focus);
}

bool MainWindowController::validateMenuItem(QAction *item) const
{
    const QByteArray action = menuActionOf(item);
    if (action == "newFolder")
        return m_fileCommands->validate(FileCommands::Command::newFolder);
    if (action == "duplicateSelection")
        return m_fileCommands->validate(FileCommands::Command::duplicate);
    if (action == "moveSelectionToTrash")
        return m_fileCommands->validate(FileCommands::Command::moveToTrash);
    if (action == "moveSelectionToEnclosingFolder")
        return m_fileCommands->validate(FileCommands::Command::moveToEnclosingFolder);
    if (action == "emptyTrash")
        return m_fileCommands->validate(FileCommands::Command::emptyTrash);
    if (action == "renameSelection" || action == "showInfoForSelection" || action == "toggleQuickLook"
        || action == "copy")
        return !selectedUrls().isEmpty();
    if (action == "goToEnclosingFolder")
        return m_navigation.enclosingFolder().has_value();
    if (action == "paste")
        return m_fileCommands->validate(FileCommands::Command::paste);
    if (action == "undo") {
        item->setText(m_undoStack->canUndo() ? tr("Undo %1").arg(m_undoStack->undoText()) : tr("Undo"));
        return m_undoStack->canUndo();
    }
    if (action == "redo") {
        item->setText(m_undoStack->canRedo() ? tr("Redo %1").arg(m_undoStack->redoText()) : tr("Redo"));
        return m_undoStack->canRedo();
    }
    if (action == "setSortField") {
        item->setCheckable(true);
        item->setChecked(FileSortFields::fromRawValue(item->data().toString()) == m_sortField);
        return true;
    }
    return true;
}

void MainWindowController::setSortField(QAction *sender)
{
    const std::optional<FileSortField> field = sender ? FileSortFields::fromRawValue(sender->data().toString())
                                                      : std::nullopt;
    if (!field)
        return;
    m_sortField = *field;
    ViewModePreferenceStore::saveSortField(*field);
    // The list keeps the order of its own column headers.
    if (m_iconView)
        m_iconView->applySortField(*field);
    if (m_columnView)
        m_columnView->applySortField(*field);
    quickLookListChanged();
}

void MainWindowController::openSelection()
{
    const QList<QUrl> selection = selectedUrls();
    if (selection.isEmpty())
        return;
    // The browser's items carry what their listing read: no disk access here.
    const FileItemList shown = activeBrowser()->currentSortedItems();
    const auto isFolder = [&shown](const QUrl &url) {
        const auto found = std::find_if(shown.begin(), shown.end(), [&url](const FileItem &item) { return item.url() == url; });
        return found != shown.end() && found->isBrowsable();
    };
    if (selection.size() == 1) {
        if (isFolder(selection.first()))
            navigate(selection.first(), true);
        return;
    }
    for (const QUrl &url : selection) {
        if (isFolder(url) && AppWindowOpening::shared())
            AppWindowOpening::shared()->openNewWindow(url);
    }
}

void MainWindowController::showInfoForSelection()
{
    const QList<QUrl> selection = selectedUrls();
    if (selection.isEmpty())
        return;
    if (selection.size() == 1) {
        GetInfoWindowRegistry::shared().show(FileItem(selection.first()));
        return;
    }
    FileItemList items;
    for (const QUrl &url : selection)
        items.append(FileItem(url));
    GetInfoWindowRegistry::shared().showMultiple(items);
}

void MainWindowController::renameSelection()
{
    activeBrowser()->beginRename();
}

void MainWindowController::copy()
{
    const QList<QUrl> selection = selectedUrls();
    if (!selection.isEmpty())
        FilePasteboard::write(selection);
}

void MainWindowController::selectAll()
{
    if (auto *view = qobject_cast<QAbstractItemView *>(QApplication::focusWidget());
        view && m_contentContainer->isAncestorOf(view))
        view->selectAll();
}

void MainWindowController::undo()
{
    m_undoStack->undo();
}

void MainWindowController::redo()
{
    m_undoStack->redo();
}

void MainWindowController::newFolder()
{
    m_fileCommands->newFolder();
}

void MainWindowController::duplicateSelection()
{
    m_fileCommands->duplicateSelection();
}

void MainWindowController::moveSelectionToEnclosingFolder()
{
    m_fileCommands->moveSelectionToEnclosingFolder();
}

void MainWindowController::moveSelectionToTrash()
{
    m_fileCommands->moveSelectionToTrash();
}

void MainWindowController::emptyTrash()
{
    m_fileCommands->emptyTrash();
}

void MainWindowController::paste()
{
    m_fileCommands->paste();
}

void MainWindowController::setUpServerConnector()
{
    m_serverConnector = new ServerConnector(this, this);
    m_serverConnector->onConnected = [this](const QList<QUrl> &roots) {
        m_sidebar->refreshVolumeSections();
        if (!roots.isEmpty())
            navigate(roots.first(), true);
    };
    m_serverConnector->onFailure = [this](const QString &message) { m_fileCommands->showFileOperationError(message); };
}

void MainWindowController::connectToServer()
{
    m_serverConnector->connectToServer();
}

// ---- Search ----

void MainWindowController::setUpSearch()
{
    m_searchQuery = new MetadataQuery(this);
    m_searchDelivery.setSingleShot(true);
    m_searchDelivery.setInterval(0);
    connect(&m_searchDelivery, &QTimer::timeout, this, &MainWindowController::searchQueryDidUpdate);
    const auto deliver = [this] { m_searchDelivery.start(); };
    connect(m_searchQuery, &MetadataQuery::resultsAdded, this, deliver);
    connect(m_searchQuery, &MetadataQuery::resultsRemoved, this, deliver);
    // A search that finds nothing says so only by finishing.
    connect(m_searchQuery, &MetadataQuery::didFinishGathering, this, deliver);
    connect(m_searchQuery, &MetadataQuery::liveUpdateLimitReached, this, [this] {
        m_statusBarView->setNote(tr("Too many folders to follow: search again to see later changes"));
    });
    connect(m_toolbar->searchField(), &QLineEdit::textChanged, this, &MainWindowController::searchFieldChanged);
}

void MainWindowController::searchFieldChanged(const QString &text)
{
    if (!text.isEmpty()) {
        startSearch(text);
        return;
    }
    stopMetadataQuery();
    m_shownSearchResults.reset();
    if (m_columnView)
        m_columnView->clearSearchResults();
    if (m_listView)
        m_listView->clearSearchResults();
    if (m_iconView)
        m_iconView->clearSearchResults();
    updateStatusBar(currentRootUrl());
    quickLookListChanged();
}

void MainWindowController::startSearch(const QString &text)
{
    // The browsers keep the results before until the first batch of this
    // search replaces them: typing one more letter does not blank them.
    stopMetadataQuery();
    m_searchQuery->start(currentRootUrl(), text);
}

void MainWindowController::stopMetadataQuery()
{
    if (!m_searchQuery)
        return;
    m_searchQuery->stop();
    m_searchDelivery.stop();
    m_statusBarView->setNote(QString());
}

void MainWindowController::searchQueryDidUpdate()
{
    if (!m_searchQuery->isStarted())
        return;
    // The whole list each time; each browser keeps the rows it has.
    m_shownSearchResults = m_searchQuery->results();
    if (m_columnView)
        m_columnView->showSearchResults(*m_shownSearchResults);
    if (m_listView)
        m_listView->showSearchResults(*m_shownSearchResults);
    if (m_iconView)
        m_iconView->showSearchResults(*m_shownSearchResults);
    m_statusBarView->update(m_shownSearchResults->size(), currentRootUrl());
    quickLookListChanged();
}

void MainWindowController::browserMade(ViewMode mode)
{
    switch (mode) {
    case ViewMode::icon:
        m_iconView->onSelectionChange = [this] { quickLookListChanged(); };
        if (m_shownSearchResults)
            m_iconView->showSearchResults(*m_shownSearchResults);
        return;
    case ViewMode::list:
        m_listView->onSelectionChange = [this] { quickLookListChanged(); };
        if (m_shownSearchResults)
            m_listView->showSearchResults(*m_shownSearchResults);
        return;
    case ViewMode::column:
        break;
    }
    m_columnView->onSelectionChange = [this](const FileItem &) { quickLookListChanged(); };
    if (m_shownSearchResults)
        m_columnView->showSearchResults(*m_shownSearchResults);
}

// ---- Quick Look ----

void MainWindowController::setUpSpacebarMonitor()
{
    m_spacebarMonitor = new SpacebarMonitor(this, this);
    m_spacebarMonitor->onToggle = [this] { toggleQuickLook(); };
    m_spacebarMonitor->isPreviewShown = [this] { return m_isQuickLookVisible; };
    m_spacebarMonitor->takesKeys = [this] { return quickLookTakesKeys(); };
    m_spacebarMonitor->onArrow = [this](int direction) {
        // A whole row of the grid, as the arrows move in it.
        const int rowLength = m_currentViewMode == ViewMode::icon ? std::max(1, m_iconView->itemsPerRow()) : 1;
        stepQuickLook(direction * rowLength);
    };
    m_quickLookReload.setSingleShot(true);
    m_quickLookReload.setInterval(0);
    connect(&m_quickLookReload, &QTimer::timeout, this, &MainWindowController::reloadQuickLook);
    // Any folder a browser shows may have changed under the panel.
    connect(FolderListingNotifier::instance(), &FolderListingNotifier::listingUpdated, this,
            [this] { quickLookListChanged(); });
    connect(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange, this,
            [this] {
                if (m_isQuickLookVisible)
                    applyQuickLookAppearance();
            });
}

bool MainWindowController::quickLookTakesKeys() const
{
    if (browserHasFocus())
        return true;
    // Clicked, the panel has the keys; they still work it for its owner.
    PreviewPanel *panel = PreviewPanel::shared();
    return m_isQuickLookVisible && QApplication::activeWindow() == panel && panel->owner() == this;
}

void MainWindowController::toggleQuickLook()
{
    if (m_isQuickLookVisible)
        hideQuickLook();
    else
        showQuickLook();
}

void MainWindowController::showQuickLook()
{
    PreviewPanel *panel = PreviewPanel::shared();
    // The window that had it hears it is no longer the owner.
    panel->setDataSource(this, this);
    applyQuickLookAppearance();
    m_isQuickLookVisible = true;
    panel->reloadData();
    selectCurrentQuickLookIndex(panel);
    m_quickLookIndexObservation =
        connect(panel, &PreviewPanel::currentPreviewItemIndexChanged, this, [this](int index) {
            if (!m_isPlacingQuickLook)
                selectItemInActiveBrowser(index);
        });
    panel->placeOver(this);
    // The keys stay with the browser: its arrows and space work the panel.
    panel->setAttribute(Qt::WA_ShowWithoutActivating);
    // Shown by another window, it comes over this one.
    if (panel->isVisible())
        panel->raise();
    else
        panel->show();
}

void MainWindowController::hideQuickLook()
{
    endQuickLook();
    PreviewPanel::shared()->releaseOwnership(this);
}

void MainWindowController::endQuickLook()
{
    m_isQuickLookVisible = false;
    m_quickLookReload.stop();
    disconnect(m_quickLookIndexObservation);
    m_previewItems.clear();
}

void MainWindowController::previewPanelDidEndOwnership(PreviewPanel *)
{
    // Another window took the panel, or it was closed by its own control: the
    // next space shows it here again at once.
    endQuickLook();
}

void MainWindowController::applyQuickLookAppearance()
{
    PreviewPanel *panel = PreviewPanel::shared();
    panel->applyTheme(AppearancePreferenceStore::theme());
    panel->applyTextSize(AppearancePreferenceStore::textSize());
}

int MainWindowController::numberOfPreviewItems(PreviewPanel *)
{
    // Read once per reload: asking the browser for each index would copy its
    // whole list every time. Every change of the list reloads the panel.
    m_previewItems = activeBrowser()->currentSortedItems();
    return int(m_previewItems.size());
}

QUrl MainWindowController::previewPanel(PreviewPanel *, int previewItemAt)
{
    if (previewItemAt < 0 || previewItemAt >= m_previewItems.size())
        return QUrl();
    return m_previewItems.at(previewItemAt).url();
}

void MainWindowController::stepQuickLook(int step)
{
    PreviewPanel *panel = PreviewPanel::shared();
    if (!m_isQuickLookVisible || panel->owner() != this)
        return;
    // From the item shown, wherever the list has moved it meanwhile.
    panel->reloadData();
    panel->step(step);
}

void MainWindowController::quickLookListChanged()
{
    if (m_isQuickLookVisible)
        m_quickLookReload.start();
}

void MainWindowController::reloadQuickLook()
{
    PreviewPanel *panel = PreviewPanel::shared();
    if (!m_isQuickLookVisible || panel->owner() != this)
        return;
    panel->reloadData();
    selectCurrentQuickLookIndex(panel);
}

void MainWindowController::selectCurrentQuickLookIndex(PreviewPanel *panel)
{
    const QList<QUrl> selection = selectedUrls();
    if (selection.isEmpty())
        return;
    const QUrl &first = selection.first();
    const auto found = std::find_if(m_previewItems.cbegin(), m_previewItems.cend(),
                                    [&first](const FileItem &item) { return item.url() == first; });
    if (found == m_previewItems.cend())
        return;
    m_isPlacingQuickLook = true;
    panel->setCurrentPreviewItemIndex(int(found - m_previewItems.cbegin()));
    m_isPlacingQuickLook = false;
}

void MainWindowController::selectItemInActiveBrowser(int index)
{
    if (index >= 0 && index < m_previewItems.size())
        activeBrowser()->selectItem(m_previewItems.at(index).url());
}
