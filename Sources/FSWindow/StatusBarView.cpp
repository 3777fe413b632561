#include "StatusBarView.h"

#include "ElidingLabel.h"

#include "FSCore/MainThread.h"
#include "FSCore/VolumeInfo.h"
#include "FSCore/WorkQueues.h"
#include "FSPlatform/DisplayFormats.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/ClassicStyle.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>

namespace {

constexpr int labelLeading = 10;
constexpr int defaultPixelSize = 15;

} // namespace

StatusBarView::StatusBarView(QWidget *parent)
    : QWidget(parent)
    , m_label(new ElidingLabel(this))
{
    QFont font = m_label->font();
    font.setPixelSize(defaultPixelSize);
    m_label->setFont(font);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 0, 128)); // secondary label grey
    m_label->setPalette(palette);
    m_label->setTextFormat(Qt::PlainText);
    setFixedHeight(22);
    m_label->installEventFilter(this);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumWidth(0);
}

void StatusBarView::applyTheme(AppTheme theme)
{
    m_theme = theme;
    QWidget::update();
}

void StatusBarView::update(qsizetype itemCount, const QUrl &directoryUrl)
{
    if (directoryUrl != m_directoryUrl)
        m_lastAvailableBytes.reset();
    m_directoryUrl = directoryUrl;
    m_itemCount = itemCount;
    show(itemCount, m_lastAvailableBytes);

    const quint64 generation = ++m_generation;
    QPointer<StatusBarView> guard(this);
    WorkQueues::listings()->start([guard, generation, itemCount, directoryUrl] {
        const std::optional<qint64> available = VolumeInfo::availableCapacity(directoryUrl);
        MainThread::post([guard, generation, itemCount, available] {
            if (!guard || guard->m_generation != generation)
                return;
            guard->m_lastAvailableBytes = available;
            guard->show(itemCount, available);
            Q_EMIT guard->availableCapacityShown();
        });
    });
}

void StatusBarView::setNote(const QString &note)
{
    if (note == m_note)
        return;
    m_note = note;
    show(m_itemCount, m_lastAvailableBytes);
}

void StatusBarView::show(qsizetype itemCount, std::optional<qint64> availableBytes)
{
    const QString path = PathCodec::displayForm(m_directoryUrl.toLocalFile());
    const QString line = tr("%1 — %2").arg(path, countText(itemCount, availableBytes));
    m_label->setText(m_note.isEmpty() ? line : tr("%1 — %2").arg(line, m_note));
}

QString StatusBarView::countText(qsizetype itemCount, std::optional<qint64> availableBytes)
{
    const QString count = itemCount == 1 ? tr("1 item") : tr("%1 items").arg(itemCount);
    if (!availableBytes)
        return count;
    return tr("%1, %2 available").arg(count, DisplayFormats::byteCount(*availableBytes));
}

void StatusBarView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), ClassicStyle::windowBackground(m_theme));
    painter.fillRect(QRect(0, 0, width(), 1), QColor(0, 0, 0, 64));
}

bool StatusBarView::eventFilter(QObject *watched, QEvent *event)
{
    // The line is 22 high, or as high as the large text size needs to keep
    // its descenders.
    if (watched == m_label && event->type() == QEvent::FontChange)
        setFixedHeight(std::max(22, m_label->fontMetrics().height() + 4));
    return QWidget::eventFilter(watched, event);
}

void StatusBarView::resizeEvent(QResizeEvent *)
{
    // From 2 to the bottom, so the text's centre sits a point below the view's.
    m_label->setGeometry(labelLeading, 2, std::max(0, width() - 2 * labelLeading), std::max(0, height() - 2));
}
