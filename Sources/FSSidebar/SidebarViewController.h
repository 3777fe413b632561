#pragma once

#include "SidebarSection.h"

#include "FSCore/FileItem.h"
#include "FSUIKit/AppTheme.h"
#include "FSUIKit/DragOperationResolver.h"
#include "FSUIKit/TextSize.h"

#include <QList>
#include <QMetaObject>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QMenu;
class QMimeData;
class SidebarBackgroundView;
class SidebarItemCell;
class SidebarModel;
class SidebarOutlineView;
class SpringLoadTimer;

// The left-hand list of a main window: "DEVICES", "PLACES" and "SHARED".
// Choosing a row asks the window to show it; dropping files on a row copies
// or moves them into it, and resting a drag on a row opens it. The list
// follows volumes as they come and go and keeps its selected row selected.
//
// Only the user chooses: onSelect runs for a click, the arrow keys or a drag
// resting on a row, never for a selection made by code (the default place at
// start, the row found again after a mount), so that a window opened on some
// folder keeps showing it.
class SidebarViewController : public QWidget
{
    Q_OBJECT
public:
    explicit SidebarViewController(QWidget *parent = nullptr);
    ~SidebarViewController() override;

    std::function<void(const FileItem &item)> onSelect;
    // A drop changed the file system; called when its copies and moves are done.
    std::function<void()> onFileSystemChange;
    // An eject failed with this message. Unset: a window-modal message box.
    std::function<void(const QString &message)> onEjectFailure;

    const QList<SidebarSection> &sections() const;
    SidebarOutlineView *outlineView() const { return m_outlineView; }
    SidebarBackgroundView *backgroundView() const { return m_backgroundView; }
    TextSize textSize() const { return m_textSize; }

    // After a mount, an unmount or a server connection: all three sections
    // anew, with the selected row selected again by its URL.
    void refreshVolumeSections();
    // The first place (the home folder), selected without calling onSelect.
    void selectDefaultLocation();
    // Shows the row of `url` as selected, or none when no row has that URL;
    // for a window that went somewhere by other means. Never calls onSelect.
    void selectLocation(const QUrl &url);
    std::optional<QUrl> selectedUrl() const;

    void applyTextSize(TextSize size);
    // The sidebar looks the same in both themes.
    void applyTheme(AppTheme theme);

    // The context menu of a row: "Eject" for removable devices and shares;
    // nullptr when a row has nothing to offer. The caller owns the menu.
    QMenu *makeContextMenu(const QModelIndex &index, QWidget *parent);
    void eject(const FileItem &volume);

    // The drag pieces, as the outline uses them.
    Qt::DropAction validateDrop(const QMimeData *data, const QModelIndex &target, Qt::KeyboardModifiers modifiers);
    bool acceptDrop(const QMimeData *data, const QModelIndex &target, Qt::KeyboardModifiers modifiers);

private:
    void rebuildSections();
    void selectIndex(const QModelIndex &index);
    void userSelected(const QModelIndex &index);
    void reportEjectFailure(const QString &message);
    std::optional<FileItem> dropFolder(const QModelIndex &target) const;

    SidebarModel *m_model = nullptr;
    SidebarOutlineView *m_outlineView = nullptr;
    SidebarBackgroundView *m_backgroundView = nullptr;
    SidebarItemCell *m_cell = nullptr;
    DragModifierTracker m_dragModifierTracker;
    SpringLoadTimer *m_springLoadTimer = nullptr;
    TextSize m_textSize;
    AppTheme m_theme;
    QList<QMetaObject::Connection> m_volumeObservers;
};
