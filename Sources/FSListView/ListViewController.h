#pragma once

#include "ListViewModel.h"

#include "FSCore/FileItem.h"
#include "FSCore/FileSorting.h"
#include "FSCore/FolderListingUpdate.h"
#include "FSUIKit/SelectionProviding.h"
#include "FSUIKit/TextSize.h"

#include <QSet>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class FolderSizeCalculator;
class ListNameCell;
class ListOutlineView;
class ListTextCell;
class FileJob;
class QLabel;
class QTreeView;
struct ThumbnailRequest;

// The list browser: the shown folder as a sortable outline with "Name",
// "Date Modified", "Size" and "Kind", folders expanding in place. It follows
// the listing cache's changes row by row, computes the sizes of the folders on
// screen, offers the file context menu, renames in place, and is a drag source
// and a drop target for files, opening folders a drag rests on.
class ListViewController : public QWidget, public SelectionProviding
{
    Q_OBJECT
public:
    // Walks of folder sizes running at once for one view.
    static constexpr int maximumSizeWalks = 2;

    explicit ListViewController(const QUrl &rootUrl, QWidget *parent = nullptr);
    ~ListViewController() override;

    std::function<void(const QUrl &)> onOpen;
    std::function<void()> onFileSystemChange;
    std::function<void(const FileItem &)> onShowInfo;
    std::function<void(const FileItem &)> onOpenInNewWindow;
    std::function<void()> onMoveToEnclosingFolder;
    std::function<void()> onSelectionChange;
    // Opens a file (not a folder) with its application; the desktop's by default.
    std::function<void(const QUrl &)> onOpenFile;

    void setRoot(const QUrl &url);
    QUrl rootURL() const { return m_rootUrl; }
    void applyTextSize(TextSize size);
    TextSize textSize() const { return m_textSize; }
    void showSearchResults(const FileItemList &items);
    void clearSearchResults();

    QList<QUrl> selectedURLs() const override;
    QUrl currentDirectoryURL() const override { return m_rootUrl; }
    QList<FileItem> currentSortedItems() const override;
    void refresh() override;
    void beginRename() override;
    void selectItem(const QUrl &url) override;

    QTreeView *outlineView() const;
    ListViewModel *model() const { return m_model; }
    // What the view says instead of showing rows (a folder that cannot be
    // read, a sort waiting for attributes); empty when it shows rows.
    QString statusMessage() const;
    const FolderSizeMap &folderSizeCache() const { return m_model->folderSizes(); }
    QList<QUrl> pendingFolderSizeURLs() const;

    void commitRename(const QUrl &url, const QString &newName);

private:
    friend class ListOutlineView;

    void loadRootItems();
    void loadFolder(const QUrl &folder);
    void forgetFolder(const QUrl &folder);
    void releaseUnloadedFolders();
    void showListing(const QUrl &folder, const FileItemList &items);
    void applyUpdate(const FolderListingUpdate &update);
    void forgetWhatChanged(const FolderListingUpdate &update);
    void listingFailed(const QUrl &folder, ListingFailure failure);
    void showMessage(const QString &text);
    void sizeColumns();
    void updateMessage();
    void retainFolder(const QUrl &folder);
    void releaseAll();

    void resetFolderSizes();
    void forgetFolderSize(const QUrl &folder);
    void scheduleVisibleWork();
    void updateVisibleFolderSizes();
    void startFolderSizeCalculation(const QUrl &folder);
    void updateVisibleThumbnails(const FileItemList &visibleFiles);

    void openIndex(const QModelIndex &index);
    void showContextMenu(const QPoint &position);
    // Runs the job on the shared queue; when it ends, shows what failed,
    // selects what it made if `selectsResult`, and reloads.
    void runFileJob(FileJob *job, bool selectsResult);
    void reportFailure(const QString &message);

    void setUpDrops();

    QUrl m_rootUrl;
    ListViewModel *m_model = nullptr;
    ListOutlineView *m_outline = nullptr;
    ListNameCell *m_nameCell = nullptr;
    ListTextCell *m_textCell = nullptr;
    QLabel *m_message = nullptr;
    QString m_failureMessage;
    std::map<QUrl, std::shared_ptr<FolderSizeCalculator>> m_pendingSizeCalculators;
    QTimer m_visibleWork;
    std::map<QUrl, std::shared_ptr<ThumbnailRequest>> m_thumbnailRequests;
    QSet<QUrl> m_thumbnailsAsked;
    QSet<QUrl> m_retainedFolders;
    std::optional<QUrl> m_urlToSelect;
    TextSize m_textSize;
    quint64 m_loadGeneration = 0;
};
