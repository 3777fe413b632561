#include "SidebarViewController.h"

#include "SidebarItemCell.h"
#include "SidebarModel.h"
#include "SidebarOutlineView.h"

#include "FSPlatform/MountMonitor.h"
#include "FSPlatform/MountTable.h"
#include "FSPlatform/PathCodec.h"
#include "FSPlatform/VolumeEjector.h"
#include "FSUIKit/AppearanceNotifications.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSUIKit/ClosureMenuItem.h"
#include "FSUIKit/FileDropHandler.h"
#include "FSUIKit/FilePasteboard.h"
#include "FSUIKit/SidebarBackgroundView.h"
#include "FSUIKit/SpringLoadTimer.h"

#include <QGridLayout>
#include <QMimeData>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

// True when `folder` is `item` or lies inside it: a drop there would put a
// folder into itself.
bool isAtOrInside(const QUrl &folder, const QUrl &item)
{
    const QString folderPath = folder.toLocalFile();
    const QString itemPath = item.toLocalFile();
    if (folderPath == itemPath)
        return true;
    const QString prefix = itemPath.endsWith(QLatin1Char('/')) ? itemPath : itemPath + QLatin1Char('/');
    return folderPath.startsWith(prefix);
}

} // namespace

SidebarViewController::SidebarViewController(QWidget *parent)
    : QWidget(parent)
    , m_model(new SidebarModel(this))
    , m_outlineView(new SidebarOutlineView(this))
    , m_backgroundView(new SidebarBackgroundView(this))
    , m_cell(new SidebarItemCell(this))
    , m_springLoadTimer(new SpringLoadTimer(this))
    , m_textSize(AppearancePreferenceStore::textSize())
    , m_theme(AppearancePreferenceStore::theme())
{
    rebuildSections();

    m_cell->setTextSize(m_textSize);
    m_outlineView->setItemDelegate(m_cell);
    m_outlineView->setModel(m_model);
    m_outlineView->setIndentation(SidebarItemCell::headerLeading + 2);

    // The gradient first, so the list lies over it.
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_backgroundView, 0, 0);
    layout->addWidget(m_outlineView, 0, 0);
    m_outlineView->raise();

    m_outlineView->expandAll();

    QPointer<SidebarViewController> self(this);
    QTimer::singleShot(0, this, [this] {
        // A window may have shown its own folder meanwhile.
        if (!selectedUrl())
            selectDefaultLocation();
    });

    m_springLoadTimer->onActivate = [self](const QUrl &url) {
        if (!self)
            return;
        self->selectLocation(url);
        const std::optional<FileItem> item = self->m_model->itemAt(self->m_model->indexOf(url));
        if (item && self->onSelect)
            self->onSelect(*item);
    };

    connect(m_outlineView, &SidebarOutlineView::userSelected, this, &SidebarViewController::userSelected);
    connect(m_outlineView, &SidebarOutlineView::contextMenuRequested, this,
            [this](const QModelIndex &index, const QPoint &globalPosition) {
                QMenu *menu = makeContextMenu(index, this);
                if (!menu)
                    return;
                menu->setAttribute(Qt::WA_DeleteOnClose);
                menu->popup(globalPosition);
            });
    m_outlineView->validateDrop = [this](const QMimeData *data, const QModelIndex &target,
                                         Qt::KeyboardModifiers modifiers) {
        return validateDrop(data, target, modifiers);
    };
    m_outlineView->acceptDrop = [this](const QMimeData *data, const QModelIndex &target,
                                       Qt::KeyboardModifiers modifiers) {
        return acceptDrop(data, target, modifiers);
    };
    m_outlineView->onDragExit = [this] { m_springLoadTimer->cancel(); };

    MountMonitor *monitor = MountMonitor::instance();
    m_volumeObservers.append(
        connect(monitor, &MountMonitor::volumeMounted, this, &SidebarViewController::refreshVolumeSections));
    m_volumeObservers.append(
        connect(monitor, &MountMonitor::volumeUnmounted, this, &SidebarViewController::refreshVolumeSections));

    connect(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange, this,
            [this] {
                applyTextSize(AppearancePreferenceStore::textSize());
                applyTheme(AppearancePreferenceStore::theme());
            });
}

SidebarViewController::~SidebarViewController()
{
    for (const QMetaObject::Connection &observer : std::as_const(m_volumeObservers))
        disconnect(observer);
}

const QList<SidebarSection> &SidebarViewController::sections() const
{
    return m_model->sections();
}

void SidebarViewController::rebuildSections()
{
    m_model->setSections(SidebarSection::build());
}

void SidebarViewController::refreshVolumeSections()
{
    const std::optional<QUrl> remembered = selectedUrl();
    rebuildSections();
    m_outlineView->expandAll();
    if (!remembered)
        return;
    // The row stays selected when it stayed; found again by URL when it moved;
    // nothing is selected when its volume went away.
    selectLocation(*remembered);
}

void SidebarViewController::selectDefaultLocation()
{
    const QModelIndex places = m_model->sectionIndex(SidebarSection::Kind::places);
    if (!places.isValid() || m_model->rowCount(places) == 0)
        return;
    selectIndex(m_model->index(0, 0, places));
}

void SidebarViewController::selectLocation(const QUrl &url)
{
    selectIndex(m_model->indexOf(url));
}

void SidebarViewController::selectIndex(const QModelIndex &index)
{
    QItemSelectionModel *selection = m_outlineView->selectionModel();
    if (!index.isValid()) {
        selection->clear();
        return;
    }
    if (selection->isSelected(index) && selection->selectedIndexes().size() == 1)
        return;
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

std::optional<QUrl> SidebarViewController::selectedUrl() const
{
    const QModelIndexList selected = m_outlineView->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return std::nullopt;
    if (const std::optional<FileItem> item = m_model->itemAt(selected.first()))
        return item->url();
    return std::nullopt;
}

void SidebarViewController::userSelected(const QModelIndex &index)
{
    const std::optional<FileItem> item = m_model->itemAt(index);
    if (item && onSelect)
        onSelect(*item);
}

void SidebarViewController::applyTextSize(TextSize size)
{
    m_textSize = size;
    m_cell->setTextSize(size);
    Q_EMIT m_cell->sizeHintChanged(QModelIndex());
    m_outlineView->doItemsLayout();
    m_outlineView->viewport()->update();
}

void SidebarViewController::applyTheme(AppTheme theme)
{
    m_theme = theme;
}

QMenu *SidebarViewController::makeContextMenu(const QModelIndex &index, QWidget *parent)
{
    const std::optional<FileItem> item = m_model->itemAt(index);
    if (!item || !index.data(SidebarModel::IsEjectableRole).toBool())
        return nullptr;
    auto *menu = new QMenu(parent);
    QPointer<SidebarViewController> self(this);
    const FileItem volume = *item;
    menu->addAction(new ClosureMenuItem(
        tr("Eject"),
        [self, volume] {
            if (self)
                self->eject(volume);
        },
        menu));
    return menu;
}

void SidebarViewController::eject(const FileItem &volume)
{
    QPointer<SidebarViewController> self(this);
    VolumeEjector::eject(volume.url(), SidebarItemCell::shownText(volume.name()), this,
                         [self](const std::optional<QString> &failure) {
                             if (self && failure)
                                 self->reportEjectFailure(*failure);
                         });
}

void SidebarViewController::reportEjectFailure(const QString &message)
{
    if (onEjectFailure) {
        onEjectFailure(message);
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Eject"), message, QMessageBox::Ok, window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

std::optional<FileItem> SidebarViewController::dropFolder(const QModelIndex &target) const
{
    // Every row is a folder, known from the volume list or the places, so
    // asking costs no disk access, and a dead share cannot stall the drag.
    const std::optional<FileItem> item = m_model->itemAt(target);
    if (!item || !item->isBrowsable())
        return std::nullopt;
    return item;
}

Qt::DropAction SidebarViewController::validateDrop(const QMimeData *data, const QModelIndex &target,
                                                   Qt::KeyboardModifiers modifiers)
{
    const std::optional<FileItem> folder = dropFolder(target);
    const QList<QUrl> urls = data ? FilePasteboard::fileURLs(data) : QList<QUrl>();
    const bool isIntoItself = folder && std::any_of(urls.cbegin(), urls.cend(), [&](const QUrl &url) {
        return isAtOrInside(folder->url(), url);
    });
    if (!folder || urls.isEmpty() || isIntoItself) {
        m_springLoadTimer->cancel();
        return Qt::IgnoreAction;
    }
    m_dragModifierTracker.sample(modifiers);
    m_springLoadTimer->hover(folder->url());
    if (m_dragModifierTracker.optionHeld())
        return Qt::CopyAction;
    if (m_dragModifierTracker.commandHeld())
        return Qt::MoveAction;
    // Without keys the volumes decide. The pointer shows what the mount table
    // says, which needs neither volume to answer; the drop itself asks them,
    // off the main thread.
    const QList<MountEntry> table = MountTable::read();
    const std::optional<MountEntry> from = MountTable::entryHolding(table, urls.first().toLocalFile());
    const std::optional<MountEntry> to = MountTable::entryHolding(table, folder->url().toLocalFile());
    return from && to && from->mountPoint == to->mountPoint ? Qt::MoveAction : Qt::CopyAction;
}

bool SidebarViewController::acceptDrop(const QMimeData *data, const QModelIndex &target,
                                       Qt::KeyboardModifiers modifiers)
{
    m_springLoadTimer->cancel();
    const std::optional<FileItem> folder = dropFolder(target);
    if (!folder)
        return false;
    const QList<QUrl> urls = data ? FilePasteboard::fileURLs(data) : QList<QUrl>();
    if (urls.isEmpty())
        return false;
    m_dragModifierTracker.sample(modifiers);
    // Telling one volume from another looks at both, and either may be a
    // share that stopped answering: the job asks them on its own thread.
    QPointer<SidebarViewController> self(this);
    return FileDropHandler::perform(urls, folder->url(), m_dragModifierTracker, window(),
                                    [self](const FileDropHandler::Result &) {
                                        if (self && self->onFileSystemChange)
                                            self->onFileSystemChange();
                                    });
}
