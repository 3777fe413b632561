#include "PreviewPanel.h"

#include "PreviewPanelDataSource.h"

#include "FSCore/FileItem.h"
#include "FSCore/MainThread.h"
#include "FSPlatform/DisplayFormats.h"
#include "FSUIKit/IconCache.h"
#include "FSUIKit/MetalTexture.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QThreadPool>
#include <QVBoxLayout>

namespace {

// Previews wait for no thumbnail of a large folder: a queue of their own.
// One preview is wanted at a time; the second thread lets a new one start
// while a slow file still holds the first.
QThreadPool *previewQueue()
{
    static QThreadPool *pool = [] {
        auto *made = new QThreadPool;
        made->setObjectName(QStringLiteral("previews"));
        made->setMaxThreadCount(2);
        return made;
    }();
    return pool;
}

constexpr int iconEdge = 128;

} // namespace

PreviewPanel *PreviewPanel::shared()
{
    // Lives until the application goes; it owns nothing a window needs.
    static QPointer<PreviewPanel> panel;
    if (!panel) {
        panel = new PreviewPanel;
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, panel, &QObject::deleteLater);
    }
    return panel;
}

PreviewPanel::PreviewPanel(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_QuitOnClose, false);
    setObjectName(QStringLiteral("PreviewPanel"));
    setWindowTitle(tr("Quick Look"));
    resize(560, 480);
    setMinimumSize(240, 200);

    m_imageView = new QLabel;
    m_imageView->setAlignment(Qt::AlignCenter);
    m_imageView->setMinimumSize(1, 1);

    m_textView = new QPlainTextEdit;
    m_textView->setReadOnly(true);
    m_textView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_textView->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_textView->setFocusPolicy(Qt::NoFocus);

    m_iconPage = new QWidget;
    m_iconView = new QLabel;
    m_iconView->setAlignment(Qt::AlignCenter);
    m_nameLabel = new QLabel;
    m_nameLabel->setAlignment(Qt::AlignCenter);
    m_nameLabel->setWordWrap(true);
    m_detailsLabel = new QLabel;
    m_detailsLabel->setAlignment(Qt::AlignCenter);
    m_detailsLabel->setWordWrap(true);
    auto *iconLayout = new QVBoxLayout(m_iconPage);
    iconLayout->addStretch(1);
    iconLayout->addWidget(m_iconView);
    iconLayout->addSpacing(12);
    iconLayout->addWidget(m_nameLabel);
    iconLayout->addWidget(m_detailsLabel);
    iconLayout->addStretch(1);

    m_stack = new QStackedWidget;
    m_stack->addWidget(m_iconPage);
    m_stack->addWidget(m_imageView);
    m_stack->addWidget(m_textView);

    m_caption = new QLabel;
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setTextInteractionFlags(Qt::NoTextInteraction);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 8);
    layout->setSpacing(6);
    layout->addWidget(m_stack, 1);
    layout->addWidget(m_caption);
    restyle();
}

void PreviewPanel::setDataSource(PreviewPanelDataSource *dataSource, QObject *owner)
{
    PreviewPanelDataSource *previous = this->dataSource();
    QObject *previousOwner = m_owner;
    if (previousOwner)
        disconnect(previousOwner, &QObject::destroyed, this, nullptr);
    m_dataSource = dataSource;
    m_owner = owner;
    if (owner) {
        connect(owner, &QObject::destroyed, this, [this, owner] {
            if (m_owner == owner || m_owner.isNull())
                releaseOwnership(nullptr);
        });
    }
    if (previous && previousOwner != owner)
        previous->previewPanelDidEndOwnership(this);
}

PreviewPanelDataSource *PreviewPanel::dataSource() const
{
    // A source whose window went is never asked again.
    return m_owner ? m_dataSource : nullptr;
}

void PreviewPanel::releaseOwnership(QObject *owner)
{
    if (owner && owner != m_owner)
        return;
    if (m_owner)
        disconnect(m_owner, &QObject::destroyed, this, nullptr);
    m_owner = nullptr;
    m_dataSource = nullptr;
    m_itemCount = 0;
    m_currentUrl = QUrl();
    ++m_generation;
    if (m_pending)
        m_pending->store(true);
    m_pending.reset();
    hide();
}

void PreviewPanel::reloadData()
{
    PreviewPanelDataSource *source = dataSource();
    m_itemCount = source ? std::max(source->numberOfPreviewItems(this), 0) : 0;
    // The list may have changed under the index: stay on the item itself.
    if (source && !m_currentUrl.isEmpty() && source->previewPanel(this, m_currentIndex) != m_currentUrl) {
        for (int i = 0; i < m_itemCount; ++i) {
            if (source->previewPanel(this, i) == m_currentUrl) {
                m_currentIndex = i;
                break;
            }
        }
    }
    if (m_currentIndex >= m_itemCount)
        m_currentIndex = std::max(m_itemCount - 1, 0);
    showCurrentItem();
}

void PreviewPanel::setCurrentPreviewItemIndex(int index)
{
    if (index < 0 || index >= m_itemCount)
        return;
    const bool changed = index != m_currentIndex;
    m_currentIndex = index;
    showCurrentItem();
    if (changed)
        Q_EMIT currentPreviewItemIndexChanged(index);
}

void PreviewPanel::step(int step)
{
    if (m_itemCount <= 0)
        return;
    const int index = std::clamp(m_currentIndex + step, 0, m_itemCount - 1);
    setCurrentPreviewItemIndex(index);
    if (PreviewPanelDataSource *source = dataSource())
        source->previewPanelDidChangeCurrentItem(this, index);
}

void PreviewPanel::showCurrentItem()
{
    PreviewPanelDataSource *source = dataSource();
    const QUrl url = source && m_itemCount > 0 ? source->previewPanel(this, m_currentIndex) : QUrl();
    if (url == m_currentUrl && m_shown.url == url && !url.isEmpty() && !m_pending)
        return;
    m_currentUrl = url;
    if (m_pending)
        m_pending->store(true);
    m_pending.reset();
    const quint64 generation = ++m_generation;
    if (url.isEmpty()) {
        display(PreviewContent());
        return;
    }
    setWindowTitle(url.fileName());
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_pending = cancelled;
    const int edge = std::clamp(int(std::max(width(), height()) * devicePixelRatioF()), 512, 2048);
    QPointer<PreviewPanel> self(this);
    previewQueue()->start([self, url, edge, cancelled, generation] {
        if (cancelled->load())
            return;
        PreviewContent content = PreviewContent::make(url, edge, *cancelled);
        MainThread::post([self, cancelled, generation, content = std::move(content)] {
            if (!self || cancelled->load() || generation != self->m_generation)
                return;
            self->m_pending.reset();
            self->display(content);
        });
    });
}

void PreviewPanel::display(const PreviewContent &content)
{
    m_shown = content;
    using Kind = PreviewContent::Kind;
    if (content.url.isEmpty()) {
        m_iconView->clear();
        m_nameLabel->clear();
        m_detailsLabel->clear();
        m_caption->clear();
        m_stack->setCurrentWidget(m_iconPage);
        return;
    }
    switch (content.kind) {
    case Kind::image:
    case Kind::document:
        m_stack->setCurrentWidget(m_imageView);
        showImage();
        break;
    case Kind::text:
        m_textView->setPlainText(content.text);
        m_stack->setCurrentWidget(m_textView);
        break;
    case Kind::folder:
    case Kind::generic: {
        const FileItem item(content.url, content.attributes);
        const qreal ratio = devicePixelRatioF();
        QPixmap icon = IconCache::icon(item).pixmap(QSize(iconEdge, iconEdge), ratio);
        m_iconView->setPixmap(icon);
        m_nameLabel->setText(content.attributes.name.isEmpty() ? content.url.fileName() : content.attributes.name);
        QStringList details;
        if (content.attributes.hasKind())
            details.append(content.attributes.kindDescription());
        if (content.kind == Kind::folder && content.itemCount >= 0)
            details.append(content.itemCount == 1 ? tr("1 item") : tr("%1 items").arg(content.itemCount));
        if (content.attributes.hasFileSize)
            details.append(DisplayFormats::byteCount(content.attributes.fileSize));
        if (content.attributes.hasModificationTime) {
            const QDateTime modified =
                QDateTime::fromMSecsSinceEpoch(content.attributes.modificationTimeNs / 1'000'000);
            details.append(tr("Modified %1").arg(DisplayFormats::dateTime(modified)));
        }
        m_detailsLabel->setText(details.join(QLatin1Char('\n')));
        m_stack->setCurrentWidget(m_iconPage);
        break;
    }
    }
    m_caption->setText(captionFor(content));
    Q_EMIT previewShown(content.url);
}

void PreviewPanel::showImage()
{
    if (m_shown.image.isNull())
        return;
    const qreal ratio = devicePixelRatioF();
    const QSize room = (m_imageView->size() * ratio).boundedTo(m_shown.image.size());
    QImage scaled = m_shown.image.scaled(room.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    m_imageView->setPixmap(QPixmap::fromImage(scaled));
}

QString PreviewPanel::captionFor(const PreviewContent &content) const
{
    const QString name = content.attributes.name.isEmpty() ? content.url.fileName() : content.attributes.name;
    switch (content.kind) {
    case PreviewContent::Kind::document:
        return content.pageCount == 1 ? tr("%1 — 1 page").arg(name) : tr("%1 — %2 pages").arg(name).arg(content.pageCount);
    case PreviewContent::Kind::image:
        if (!content.imageSize.isValid())
            return name;
        return tr("%1 — %2 × %3").arg(name).arg(content.imageSize.width()).arg(content.imageSize.height());
    case PreviewContent::Kind::text:
        return content.isTextCut ? tr("%1 — the first %2").arg(name, DisplayFormats::byteCount(PreviewContent::textLimit))
                                 : name;
    case PreviewContent::Kind::folder:
    case PreviewContent::Kind::generic:
        break;
    }
    return QString();
}

void PreviewPanel::placeOver(const QWidget *window)
{
    if (m_isPlaced || !window)
        return;
    m_isPlaced = true;
    QRect frame = geometry();
    frame.moveCenter(window->frameGeometry().center());
    move(frame.topLeft());
}

void PreviewPanel::applyTheme(AppTheme theme)
{
    m_theme = theme;
    restyle();
}

void PreviewPanel::applyTextSize(TextSize size)
{
    m_textSize = size;
    restyle();
}

void PreviewPanel::restyle()
{
    const bool isMetal = m_theme == AppTheme::metal10_4;
    // Graphite is the dark panel that floats over the window; brushed metal
    // wears the window's own texture.
    const QColor text = isMetal ? QColor(20, 20, 20) : QColor(235, 235, 235);
    const QColor secondary = isMetal ? QColor(60, 60, 60) : QColor(170, 170, 170);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, QColor(20, 20, 20));
    palette.setColor(QPalette::Base, QColor(255, 255, 255));
    setPalette(palette);
    QFont font = TextSizes::font(m_textSize);
    m_caption->setFont(font);
    m_detailsLabel->setFont(font);
    QPalette secondaryPalette = palette;
    secondaryPalette.setColor(QPalette::WindowText, secondary);
    m_detailsLabel->setPalette(secondaryPalette);
    QFont bold = font;
    bold.setBold(true);
    bold.setPixelSize(font.pixelSize() + 3);
    m_nameLabel->setFont(bold);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(font.pixelSize());
    m_textView->setFont(mono);
    update();
}

void PreviewPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_theme == AppTheme::metal10_4)
        painter.fillRect(rect(), MetalTexture::backgroundColor());
    else
        painter.fillRect(rect(), QColor(38, 38, 40));
}

void PreviewPanel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_stack->currentWidget() == m_imageView)
        showImage();
}

void PreviewPanel::keyPressEvent(QKeyEvent *event)
{
    // The owner's key monitor takes space and the arrows first; these are
    // what is left when the panel has focus by itself.
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PreviewPanel::closeEvent(QCloseEvent *event)
{
    // Closed by its own control: the owner hears it, as it would from a new owner.
    PreviewPanelDataSource *source = dataSource();
    event->accept();
    releaseOwnership(nullptr);
    if (source)
        source->previewPanelDidEndOwnership(this);
}
