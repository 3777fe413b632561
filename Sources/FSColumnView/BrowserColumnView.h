#pragma once

#include "FSUIKit/TypeAheadSearch.h"

#include <QHash>
#include <QImage>
#include <QListView>
#include <QPersistentModelIndex>
#include <QTimer>
#include <QUrl>

#include <memory>

class FileDropHandler;
class FileItem;
struct ThumbnailRequest;

// One column of the browser: a flat list drawn by the shared cell, with
// type-ahead in natural order, arrow keys that move between columns, a line
// saying why a folder shows nothing, and drops onto its folder rows or its
// own folder (a folder that a drag rests over opens in the next column).
// Pictures of images and documents are asked for the rows on screen only, and
// let go when the rows scroll away.
class BrowserColumnView : public QListView
{
    Q_OBJECT
public:
    explicit BrowserColumnView(QWidget *parent = nullptr);
    ~BrowserColumnView() override;

    void setModel(QAbstractItemModel *model) override;
    // The thumbnail shown for `item`, or a null image (its icon is shown).
    QImage thumbnailFor(const FileItem &item) const;

    void setActiveColumn(bool isActive);
    bool isActiveColumn() const;

    void keyboardSearch(const QString &text) override;
    FileDropHandler *dropHandler() const { return m_drops; }

Q_SIGNALS:
    void moveToPreviousColumnRequested();
    void moveToNextColumnRequested();
    void focusReceived();
    // A drag rested over the folder in `row`.
    void springLoaded(int row);
    // Files were copied or moved into `folder` (the rest of the drop may have failed).
    void filesDropped(const QUrl &folder, const QList<QUrl> &sources);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void scheduleThumbnails();
    void updateThumbnails();
    void forgetThumbnails(int firstRow, int lastRow);

    TypeAheadSearch m_typeAhead;
    FileDropHandler *m_drops = nullptr;
    QTimer m_thumbnailTimer;
    QHash<QString, QImage> m_thumbnails;
    QHash<QString, std::shared_ptr<ThumbnailRequest>> m_thumbnailRequests;
};
