#include "FileJobProgressPanel.h"

#include "FSCore/FileJob.h"
#include "FSCore/FileJobQueue.h"
#include "FSPlatform/DisplayFormats.h"
#include "FSUIKit/AppearanceNotifications.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSUIKit/ClassicStyle.h"
#include "FSUIKit/TextSize.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <deque>

namespace {

// Speed over the last few seconds, so a burst of small files or a pause does
// not swing the time left from one sample to the next.
class SpeedMeter
{
public:
    void add(qint64 milliseconds, qint64 bytes)
    {
        m_samples.push_back({milliseconds, bytes});
        while (m_samples.size() > 2 && milliseconds - m_samples.front().milliseconds > windowMilliseconds)
            m_samples.pop_front();
    }

    // Bytes per second, or a negative value while there is too little to tell.
    double bytesPerSecond() const
    {
        if (m_samples.size() < 2)
            return -1;
        const qint64 span = m_samples.back().milliseconds - m_samples.front().milliseconds;
        if (span < 400)
            return -1;
        return double(m_samples.back().bytes - m_samples.front().bytes) * 1000.0 / double(span);
    }

private:
    static constexpr qint64 windowMilliseconds = 3000;
    struct Sample
    {
        qint64 milliseconds;
        qint64 bytes;
    };
    std::deque<Sample> m_samples;
};

QString timeLeftText(double seconds)
{
    if (seconds < 5)
        return FileJobProgressPanel::tr("A few seconds left");
    if (seconds < 90)
        return FileJobProgressPanel::tr("About %n seconds left", nullptr, int(seconds / 5 + 0.5) * 5);
    if (seconds < 90 * 60)
        return FileJobProgressPanel::tr("About %n minutes left", nullptr, int(seconds / 60 + 0.5));
    return FileJobProgressPanel::tr("About %n hours left", nullptr, int(seconds / 3600 + 0.5));
}

} // namespace

class FileJobProgressPanel::JobRow : public QWidget
{
public:
    JobRow(FileJob *job, QWidget *parent) : QWidget(parent), m_job(job)
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(14, 10, 14, 10);
        layout->setSpacing(4);
        m_title = new QLabel(job->description(), this);
        m_title->setTextFormat(Qt::PlainText);
        m_title->setMinimumWidth(1);
        m_title->setToolTip(job->description());
        layout->addWidget(m_title);

        auto *barLine = new QHBoxLayout;
        m_bar = new QProgressBar(this);
        m_bar->setTextVisible(false);
        m_bar->setRange(0, 0);
        barLine->addWidget(m_bar, 1);
        m_stop = new QPushButton(FileJobProgressPanel::tr("Stop"), this);
        m_stop->setAutoDefault(false);
        barLine->addWidget(m_stop);
        layout->addLayout(barLine);

        m_detail = new QLabel(this);
        m_detail->setTextFormat(Qt::PlainText);
        layout->addWidget(m_detail);
        m_timing = new QLabel(this);
        m_timing->setTextFormat(Qt::PlainText);
        layout->addWidget(m_timing);

        connect(m_stop, &QPushButton::clicked, this, [this] {
            if (m_job)
                m_job->cancel();
            update(true);
        });
        connect(job, &FileJob::progressChanged, this, [this] { update(false); });
        update(false);
    }

    FileJob *job() const { return m_job; }

    static constexpr int titleWidth = 420;

    void applyFont(const QFont &font)
    {
        QFont small = font;
        small.setPixelSize(std::max(9, font.pixelSize() - 2));
        QFont bold = font;
        bold.setBold(true);
        m_title->setFont(bold);
        // Long names are shortened in the middle rather than widen the panel.
        m_title->setText(QFontMetrics(bold).elidedText(m_title->toolTip(), Qt::ElideMiddle, titleWidth));
        m_detail->setFont(small);
        m_timing->setFont(small);
        m_stop->setFont(font);
    }

private:
    void update(bool stopping)
    {
        if (!m_job)
            return;
        const FileJobProgress progress = m_job->progress();
        if (stopping || m_job->isCancelRequested()) {
            m_stop->setEnabled(false);
            m_detail->setText(FileJobProgressPanel::tr("Stopping…"));
            m_timing->clear();
            return;
        }
        if (m_job->elapsedMilliseconds() == 0) {
            m_bar->setRange(0, 0);
            // Behind other jobs on the queue.
            m_detail->setText(FileJobProgressPanel::tr("Waiting…"));
            m_timing->clear();
            return;
        }
        if (!progress.isItemsTotalKnown) {
            m_bar->setRange(0, 0);
            m_detail->setText(progress.itemsDone == 0
                                  ? FileJobProgressPanel::tr("Preparing…")
                                  : FileJobProgressPanel::tr("%n items so far — %1", nullptr, int(progress.itemsDone))
                                        .arg(DisplayFormats::byteCount(progress.bytesDone)));
            m_timing->setText(FileJobProgressPanel::tr("Estimating time left…"));
            return;
        }
        // Bytes tell the truth about time when there are any; else the items
        // do, also while the bytes are still being counted.
        const bool byBytes = progress.isBytesTotalKnown && progress.bytesTotal > 0;
        const qint64 done = byBytes ? progress.bytesDone : progress.itemsDone;
        const qint64 total = byBytes ? progress.bytesTotal : progress.itemsTotal;
        m_bar->setRange(0, 1000);
        m_bar->setValue(total > 0 ? int(done * 1000 / total) : 0);

        QString detail = FileJobProgressPanel::tr("%1 of %2 items")
                             .arg(QLocale().toString(progress.itemsDone), QLocale().toString(progress.itemsTotal));
        if (byBytes)
            detail = FileJobProgressPanel::tr("%1 — %2 of %3")
                         .arg(detail, DisplayFormats::byteCount(progress.bytesDone),
                              DisplayFormats::byteCount(progress.bytesTotal));
        else if (progress.bytesDone > 0)
            detail = FileJobProgressPanel::tr("%1 — %2").arg(detail, DisplayFormats::byteCount(progress.bytesDone));
        m_detail->setText(detail);

        if (byBytes != m_isMeasuringBytes) {
            m_speed = SpeedMeter();
            m_isMeasuringBytes = byBytes;
        }
        m_speed.add(m_job->elapsedMilliseconds(), done);
        const double perSecond = m_speed.bytesPerSecond();
        if (perSecond <= 0) {
            m_timing->setText(FileJobProgressPanel::tr("Estimating time left…"));
            return;
        }
        const QString speed = byBytes ? FileJobProgressPanel::tr("%1/s").arg(DisplayFormats::byteCount(qint64(perSecond)))
                                      : FileJobProgressPanel::tr("%n items/s", nullptr, int(perSecond));
        m_timing->setText(FileJobProgressPanel::tr("%1 — %2").arg(speed, timeLeftText(double(total - done) / perSecond)));
    }

    QPointer<FileJob> m_job;
    QLabel *m_title = nullptr;
    QProgressBar *m_bar = nullptr;
    QPushButton *m_stop = nullptr;
    QLabel *m_detail = nullptr;
    QLabel *m_timing = nullptr;
    SpeedMeter m_speed;
    bool m_isMeasuringBytes = false;
};

FileJobProgressPanel::FileJobProgressPanel(FileJobQueue *queue, QWidget *parent)
    : QWidget(parent, Qt::Window), m_queue(queue)
{
    setWindowTitle(tr("File Operations"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 4, 0, 4);
    outer->setSpacing(0);
    m_rows = new QVBoxLayout;
    m_rows->setSpacing(0);
    outer->addLayout(m_rows);
    outer->addStretch(1);
    setMinimumWidth(JobRow::titleWidth + 28);

    connect(queue, &FileJobQueue::jobAdded, this, &FileJobProgressPanel::jobAdded);
    connect(queue, &FileJobQueue::jobFinished, this, &FileJobProgressPanel::removeRow);
    connect(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange, this,
            &FileJobProgressPanel::applyAppearance);
    for (FileJob *job : queue->jobs())
        jobAdded(job);
    applyAppearance();
}

FileJobProgressPanel::~FileJobProgressPanel() = default;

FileJobProgressPanel *FileJobProgressPanel::forSharedQueue()
{
    static QPointer<FileJobProgressPanel> panel;
    if (!panel) {
        panel = new FileJobProgressPanel(FileJobQueue::shared());
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, panel, &QObject::deleteLater);
    }
    return panel;
}

QList<FileJob *> FileJobProgressPanel::shownJobs() const
{
    QList<FileJob *> jobs;
    for (JobRow *row : m_jobRows)
        jobs.append(row->job());
    return jobs;
}

void FileJobProgressPanel::jobAdded(FileJob *job)
{
    QTimer::singleShot(showDelayMilliseconds, this, [this, job = QPointer<FileJob>(job)] {
        if (job && !job->isFinished())
            showRow(job);
    });
}

void FileJobProgressPanel::showRow(FileJob *job)
{
    if (!m_jobRows.isEmpty()) {
        auto *line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        line->setObjectName(QStringLiteral("separator"));
        m_rows->addWidget(line);
    }
    auto *row = new JobRow(job, this);
    row->applyFont(TextSizes::font(AppearancePreferenceStore::textSize()));
    m_rows->addWidget(row);
    m_jobRows.append(row);
    if (!isVisible()) {
        show();
        raise();
    }
    adjustSize();
}

void FileJobProgressPanel::removeRow(FileJob *job)
{
    for (qsizetype index = 0; index < m_jobRows.size(); ++index) {
        JobRow *row = m_jobRows[index];
        if (row->job() != job)
            continue;
        // The separator above it, or below it for the first row.
        const int position = m_rows->indexOf(row);
        const int separator = position > 0 ? position - 1 : position + 1;
        if (QLayoutItem *item = m_rows->itemAt(separator); item && item->widget()
            && item->widget()->objectName() == QLatin1String("separator"))
            delete item->widget();
        m_jobRows.removeAt(index);
        delete row;
        break;
    }
    if (m_jobRows.isEmpty())
        hide();
    else
        adjustSize();
}

void FileJobProgressPanel::applyAppearance()
{
    QPalette palette = this->palette();
    palette.setBrush(QPalette::Window, ClassicStyle::windowBackground(AppearancePreferenceStore::theme()));
    setPalette(palette);
    setAutoFillBackground(true);
    const QFont font = TextSizes::font(AppearancePreferenceStore::textSize());
    for (JobRow *row : std::as_const(m_jobRows))
        row->applyFont(font);
}
