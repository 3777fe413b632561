#include "MainWindowController.h"

#include "AppWindowOpening.h"
#include "ClassicSegmentedControl.h"
#include "ContentContainerViewController.h"
#include "FolderContentsModel.h"
#include "MainToolbarView.h"
#include "StatusBarView.h"
#include "ViewModePreferenceStore.h"

#include "FSCore/DirectoryListingCache.h"
#include "FSCore/DirectoryWatcher.h"
#include "FSCore/FileItem.h"
#include "FSCore/MainThread.h"
#include "FSCore/WorkQueues.h"
#include "FSListView/ListViewController.h"
#include "FSPlatform/MountMonitor.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/AppearanceNotifications.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSUIKit/ClassicStyle.h"
#include "FSUIKit/FilePasteboard.h"
#include "FSUIKit/SidebarBackgroundView.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTextEdit>
#include <QTreeView>
#include <QThreadPool>
#include <QTimer>
#include <QUndoStack>
#include <QVBoxLayout>

namespace {

const QString frameKey = QStringLiteral("TidewrightMainWindowFrame");
const QString sidebarWidthKey = QStringLiteral("NSSplitView Subview Frames MainSplitView");

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

// `folder` itself when it is still a folder, else the closest folder above it
// that is, else the home folder. It asks the disk: work queues only.
QUrl nearestExistingFolder(const QUrl &folder)
{
    QString path = folder.toLocalFile();
    while (!path.isEmpty()) {
        const QUrl candidate = PathCodec::urlForPath(path);
        if (FileItem(candidate).isBrowsable())
            return candidate;
        if (path == QLatin1String("/"))
            break;
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        path = slash <= 0 ? QStringLiteral("/") : path.left(slash);
    }
    return PathCodec::urlForPath(QDir::homePath());
}

QByteArray menuActionOf(const QAction *item)
{
    return item ? item->property("menuAction").toByteArray() : QByteArray();
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
    m_undoStack = new QUndoStack(this);
    m_frameSaveTimer.setSingleShot(true);
    m_frameSaveTimer.setInterval(200);
    connect(&m_frameSaveTimer, &QTimer::timeout, this,
            [this] { QSettings().setValue(frameKey, stringFromRect(geometry())); });

    setUpContent(rootUrl);
    restoreFrame();
    m_intendedWindowSize = size();
    // As narrow as the band's controls allow side by side.
    setMinimumSize(m_toolbar->minimumWindowWidth(), minimumFrameSize.height());

    m_watcher = new DirectoryWatcher(0.3, this);
    m_watcher->onChange = [this] { refreshAllViews(); };

    m_navigation.setEffects({
        [this](const QUrl &folder) { showFolder(folder); },
        [this](const QUrl &folder) { m_watcher->startWatching(folder); },
        [this](bool canGoBack, bool canGoForward) {
            m_toolbar->navigationControl()->setSegmentEnabled(0, canGoBack);
            m_toolbar->navigationControl()->setSegmentEnabled(1, canGoForward);
        },
        [this](const QUrl &folder) { updateStatusBar(folder); },
        [this](const QUrl &folder) { updateWindowTitle(folder); },
    });
    navigate(rootUrl, false);
    applyAppearancePreferences();

    connect(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange, this,
            &MainWindowController::applyAppearancePreferences);
    connect(AppearanceNotifications::instance(), &AppearanceNotifications::resetWindowLayoutRequested, this,
            &MainWindowController::resetToDefaultLayout);
    connect(m_toolbar->navigationControl(), &ClassicSegmentedControl::segmentClicked, this,
            &MainWindowController::navigationControlClicked);
    connect(m_toolbar->viewModeControl(), &ClassicSegmentedControl::segmentClicked, this,
            &MainWindowController::viewModeChanged);
    // Keys go to the browser when the window opens, not to the search field.
    activeBrowser()->setFocus();
    m_isPlaced = true;
}

MainWindowController::~MainWindowController() = default;

void MainWindowController::setUpContent(const QUrl &rootUrl)
{
    m_listView = new ListViewController(rootUrl);
    m_listView->onOpen = [this](const QUrl &folder) { navigate(folder, true); };
    m_listView->onFileSystemChange = [this] { refreshAllViews(); };
    m_listView->onMoveToEnclosingFolder = [this] { moveSelectionToEnclosingFolder(); };
    m_listView->onOpenInNewWindow = [](const FileItem &item) {
        if (AppWindowOpening::shared())
            AppWindowOpening::shared()->openNewWindow(item.url());
    };
    m_listView->hide();

    m_model = new FolderContentsModel(this);
    m_view = new QListView;
    m_view->setModel(m_model);
    m_view->setUniformItemSizes(true);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setFrameShape(QFrame::NoFrame);
    connect(m_view, &QListView::activated, this, &MainWindowController::openItemAt);

    m_sidebar = new SidebarBackgroundView;
    m_sidebar->setMinimumWidth(minimumSidebarWidth);
    m_sidebar->setMaximumWidth(maximumSidebarWidth);
    m_contentContainer = new ContentContainerViewController;
    m_contentContainer->setContent(activeBrowser());

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
        connect(MountMonitor::instance(), &MountMonitor::volumeUnmounted, this,
                &MainWindowController::leaveFolderIfGone);
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
    m_view->setFont(TextSizes::font(textSize));
    m_listView->applyTextSize(textSize);
}

void MainWindowController::navigate(const QUrl &to, bool pushHistory)
{
    m_navigation.navigate(to, pushHistory);
}

void MainWindowController::navigationControlClicked(int segment)
{
    m_navigation.navigationControlClicked(segment);
}

void MainWindowController::viewModeChanged(int segment)
{
    const std::optional<ViewMode> mode = ViewModes::fromRawValue(segment);
    if (!mode)
        return;
    m_currentViewMode = *mode;
    ViewModePreferenceStore::saveViewMode(*mode);
    m_contentContainer->setContent(activeBrowser());
}

QWidget *MainWindowController::activeBrowser() const
{
    if (m_currentViewMode == ViewMode::list)
        return m_listView;
    return m_view;
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
    updateStatusBar(folder);
    leaveFolderIfGone();
}

void MainWindowController::leaveFolderIfGone()
{
    const QUrl folder = currentRootUrl();
    QPointer<MainWindowController> guard(this);
    WorkQueues::listings()->start([guard, folder] {
        const QUrl existing = nearestExistingFolder(folder);
        MainThread::post([guard, folder, existing] {
            // The window may have moved on by itself meanwhile.
            if (!guard || guard->currentRootUrl() != folder || existing == folder)
                return;
            guard->navigate(existing, true);
        });
    });
}

void MainWindowController::selectItem(const QUrl &item)
{
    m_listView->selectItem(item);
    m_pendingSelection = item;
    // Before the listing is there, its arrival selects the item.
    if (m_shownFolder == m_navigation.currentRootUrl())
        applyPendingSelection();
}

void MainWindowController::applyPendingSelection()
{
    const FileItemList &shown = m_model->items();
    for (int row = 0; row < shown.size(); ++row) {
        if (shown[row].url() == m_pendingSelection) {
            const QModelIndex index = m_model->index(row);
            m_view->setCurrentIndex(index);
            m_view->scrollTo(index);
            break;
        }
    }
    m_pendingSelection.clear();
}

void MainWindowController::showFolder(const QUrl &folder)
{
    if (m_listView->rootURL() != folder)
        m_listView->setRoot(folder);
    const FileSortField field = m_sortField;
    DirectoryListingCache::contents(folder, this, [this, folder, field](const FileItemList &items) {
        // A listing for a folder the window has left is stale.
        if (folder != m_navigation.currentRootUrl())
            return;
        const FileItemList shown = field == FileSortField::name ? items : FileSorting::sorted(items, field, {});
        m_model->setItems(shown);
        m_shownFolder = folder;
        if (!m_pendingSelection.isEmpty())
            applyPendingSelection();
    });
}

void MainWindowController::updateStatusBar(const QUrl &folder)
{
    QPointer<MainWindowController> guard(this);
    DirectoryListingCache::contents(folder, this, [guard, folder](const FileItemList &items) {
        if (!guard || folder != guard->m_navigation.currentRootUrl())
            return;
        guard->m_statusBarView->update(items.size(), folder);
    });
}

void MainWindowController::updateWindowTitle(const QUrl &folder)
{
    const QString name = PathCodec::displayForm(FileItem(folder).name());
    setWindowTitle(name);
    m_toolbar->setFolderName(name);
}

void MainWindowController::openItemAt(const QModelIndex &index)
{
    const FileItem item = m_model->itemAt(index);
    if (item.isBrowsable())
        navigate(item.url(), true);
}

QList<QUrl> MainWindowController::selectedUrls() const
{
    if (activeBrowser() == m_listView)
        return m_listView->selectedURLs();
    QList<QUrl> urls;
    const QModelIndexList rows = m_view->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : rows)
        urls.append(m_model->itemAt(index).url());
    return urls;
}

bool MainWindowController::browserHasFocus() const
{
    const QWidget *focus = QApplication::focusWidget();
    return focus && focus->window() == this && m_contentContainer->isAncestorOf(focus) && !isTextInput(focus);
}

bool MainWindowController::validateMenuItem(QAction *item) const
{
    const QByteArray action = menuActionOf(item);
    if (action == "duplicateSelection" || action == "moveSelectionToTrash" || action == "renameSelection"
        || action == "showInfoForSelection" || action == "toggleQuickLook" || action == "copy")
        return !selectedUrls().isEmpty();
    if (action == "goToEnclosingFolder")
        return m_navigation.enclosingFolder().has_value();
    if (action == "paste")
        return !FilePasteboard::readURLs().isEmpty();
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
    showFolder(currentRootUrl());
}

void MainWindowController::openSelection()
{
    const QList<QUrl> selection = selectedUrls();
    if (selection.size() == 1) {
        if (FileItem(selection.first()).isBrowsable())
            navigate(selection.first(), true);
        return;
    }
    for (const QUrl &url : selection) {
        if (FileItem(url).isBrowsable() && AppWindowOpening::shared())
            AppWindowOpening::shared()->openNewWindow(url);
    }
}

void MainWindowController::copy()
{
    const QList<QUrl> selection = selectedUrls();
    if (!selection.isEmpty())
        FilePasteboard::write(selection);
}

void MainWindowController::selectAll()
{
    if (activeBrowser() == m_listView)
        m_listView->outlineView()->selectAll();
    else
        m_view->selectAll();
}

void MainWindowController::undo()
{
    m_undoStack->undo();
}

void MainWindowController::redo()
{
    m_undoStack->redo();
}

// The file commands proper come with the commands' own undo steps and sheets;
// until then the menu reaches them and they do nothing.
void MainWindowController::newFolder() {}
void MainWindowController::showInfoForSelection() {}
void MainWindowController::toggleQuickLook() {}
void MainWindowController::duplicateSelection() {}
void MainWindowController::renameSelection()
{
    if (activeBrowser() == m_listView)
        m_listView->beginRename();
}
void MainWindowController::moveSelectionToEnclosingFolder() {}
void MainWindowController::moveSelectionToTrash() {}
void MainWindowController::emptyTrash() {}
void MainWindowController::paste() {}
void MainWindowController::connectToServer() {}
