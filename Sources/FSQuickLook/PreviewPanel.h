#pragma once

#include "PreviewContent.h"

#include "FSUIKit/AppTheme.h"
#include "FSUIKit/TextSize.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <atomic>
#include <memory>

class PreviewPanelDataSource;
class QLabel;
class QPlainTextEdit;
class QStackedWidget;

// The one preview panel of the application. A window that shows it becomes its
// owner and data source; the window that owned it before is told. The panel
// shows the item at its current index, read from the data source every time,
// so a list that changed under it never shows a stale item. Previews are made
// on a worker thread; a preview that comes back after the panel moved on is
// dropped. Main thread only.
class PreviewPanel : public QWidget
{
    Q_OBJECT
public:
    static PreviewPanel *shared();

    // `owner` is the window the data source belongs to; the panel lets go of
    // the source and hides when the owner is destroyed.
    void setDataSource(PreviewPanelDataSource *dataSource, QObject *owner);
    PreviewPanelDataSource *dataSource() const;
    QObject *owner() const { return m_owner; }
    // Lets go of the data source if `owner` holds it, and hides.
    void releaseOwnership(QObject *owner);

    // Reads the number of items again and shows the current one afresh; when
    // the item shown before is still in the list, the panel stays on it.
    void reloadData();
    int currentPreviewItemIndex() const { return m_currentIndex; }
    void setCurrentPreviewItemIndex(int index);
    // Moves by `step` items, clamped to the list; the data source is told.
    void step(int step);
    int itemCount() const { return m_itemCount; }
    QUrl currentURL() const { return m_currentUrl; }

    // Puts a panel that was never shown over the middle of `window`; after
    // that it stays where the user leaves it.
    void placeOver(const QWidget *window);

    void applyTheme(AppTheme theme);
    void applyTextSize(TextSize size);

    // For tests: the preview now shown, and whether one is still being made.
    const PreviewContent &shownContent() const { return m_shown; }
    bool isRendering() const { return m_pending != nullptr; }

Q_SIGNALS:
    void currentPreviewItemIndexChanged(int index);
    void previewShown(const QUrl &url);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    explicit PreviewPanel(QWidget *parent = nullptr);
    void showCurrentItem();
    void display(const PreviewContent &content);
    void showImage();
    QString captionFor(const PreviewContent &content) const;
    void restyle();

    QPointer<QObject> m_owner;
    PreviewPanelDataSource *m_dataSource = nullptr;
    int m_itemCount = 0;
    int m_currentIndex = 0;
    QUrl m_currentUrl;
    quint64 m_generation = 0;
    std::shared_ptr<std::atomic<bool>> m_pending;
    PreviewContent m_shown;
    AppTheme m_theme = AppTheme::graphite10_6;
    TextSize m_textSize = TextSize::medium;
    bool m_isPlaced = false;

    QStackedWidget *m_stack = nullptr;
    QLabel *m_imageView = nullptr;
    QPlainTextEdit *m_textView = nullptr;
    QWidget *m_iconPage = nullptr;
    QLabel *m_iconView = nullptr;
    QLabel *m_nameLabel = nullptr;
    QLabel *m_detailsLabel = nullptr;
    QLabel *m_caption = nullptr;
};
