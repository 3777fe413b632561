#pragma once

#include "FSCore/FileItem.h"
#include "FSCore/FileSorting.h"
#include "FSUIKit/SelectionProviding.h"
#include "FSUIKit/TextSize.h"

#include <QHash>
#include <QImage>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class ContextMenuCollectionView;
class FileJob;
class IconCollectionViewItem;
class QMenu;
class SortedFolderModel;
struct ThumbnailRequest;

// The icon browser: one folder's items (or search results) as a grid of
// icons with names, kept up to date in place as the folder changes. A drag
// source and drop target for files, with spring-loaded folders, the shared
// context menu, renaming in place and type-ahead selection.
class IconViewController : public QWidget, public SelectionProviding
{
    Q_OBJECT
public:
    explicit IconViewController(const QUrl &rootUrl, QWidget *parent = nullptr);
    ~IconViewController() override;

    std::function<void(const QUrl &url)> onOpen;
    std::function<void()> onFileSystemChange;
    std::function<void(const FileItem &item)> onShowInfo;
    std::function<void(const FileItem &item)> onOpenInNewWindow;
    std::function<void()> onMoveToEnclosingFolder;
    std::function<void()> onSelectionChange;
    // Opens a file that is not a folder; the desktop's default application unless replaced.
    std::function<void(const QUrl &url)> openFile;

    QUrl rootUrl() const { return m_rootUrl; }
    void setRoot(const QUrl &url);
    void applyTextSize(TextSize size);
    void applySortField(FileSortField field);
    void showSearchResults(const FileItemList &results);
    void clearSearchResults();
    int itemsPerRow() const;

    QList<QUrl> selectedURLs() const override;
    QUrl currentDirectoryURL() const override;
    QList<FileItem> currentSortedItems() const override;
    void refresh() override;
    void beginRename() override;
    void selectItem(const QUrl &url) override;

    ContextMenuCollectionView *collectionView() const { return m_view; }
    SortedFolderModel *model() const { return m_model; }
    // The menu a right-click on `index` shows; nothing on the background.
    QMenu *contextMenu(const QModelIndex &index);
    void commitRename(const FileItem &item, const QString &newName);

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Runs the job on the shared queue on `item`; when it ends, the view reads
    // again what changed and, if `selectsResult`, selects what it made.
    void runFileJob(FileJob *job, const QUrl &item, bool selectsResult = false);
    void reload();
    void handleActivation(const QModelIndex &index);
    void afterChange(const QList<QUrl> &touched);
    void setUpDrops();
    void updateState();
    void scheduleThumbnails();
    void updateThumbnails();
    void forgetThumbnails(int firstRow, int lastRow);
    QImage thumbnailFor(const FileItem &item) const;

    QUrl m_rootUrl;
    TextSize m_textSize;
    FileSortField m_sortField = FileSortField::name;
    bool m_hasBeenShown = false;
    bool m_isSelectingForTheUser = true;
    SortedFolderModel *m_model = nullptr;
    ContextMenuCollectionView *m_view = nullptr;
    IconCollectionViewItem *m_item = nullptr;
    QUrl m_selectWhenShown;

    QTimer m_thumbnailTimer;
    QHash<QString, QImage> m_thumbnails;
    QHash<QString, std::shared_ptr<ThumbnailRequest>> m_thumbnailRequests;
};
