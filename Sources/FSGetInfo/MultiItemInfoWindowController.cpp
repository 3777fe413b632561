#include "MultiItemInfoWindowController.h"

#include "ColorSwatchView.h"
#include "InfoPanelPrivate.h"

#include "FSCore/FileAttributes.h"
#include "FSCore/WorkQueues.h"
#include "FSPlatform/DisplayFormats.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/AppearanceNotifications.h"
#include "FSUIKit/AppearancePreferenceStore.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QSet>
#include <QVBoxLayout>

using InfoPanel::ElidedLabel;

MultiItemInfoWindowController::MultiItemInfoWindowController(const FileItemList &fileItems, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_fileItems(fileItems)
{
    for (qsizetype index = 0; index < m_fileItems.size(); ++index)
        m_sizeCalculators.push_back(std::make_unique<FolderSizeCalculator>());
    setWindowTitle(tr("%1 Items Info").arg(m_fileItems.size()));
    buildUI();
    applyAppearance();
    connect(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange, this,
            &MultiItemInfoWindowController::applyAppearance);
    readItems();
}

// Destroying the calculators cancels their walks.
MultiItemInfoWindowController::~MultiItemInfoWindowController() = default;

void MultiItemInfoWindowController::buildUI()
{
    m_mainStack = new QVBoxLayout(this);
    m_mainStack->setContentsMargins(16, 16, 16, 16);
    m_mainStack->setSpacing(10);
    m_mainStack->setSizeConstraint(QLayout::SetFixedSize);

    m_titleLabel = new QLabel(tr("%1 items").arg(m_fileItems.size()), this);
    m_titleLabel->setAlignment(Qt::AlignHCenter);

    QWidget *swatchRow = InfoPanel::makeSwatchRow([this](LabelColor color) { applyLabelColor(color); }, m_swatches, this);

    auto *separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);

    auto *rows = new QWidget(this);
    auto *rowsLayout = new QVBoxLayout(rows);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(4);
    m_kindValueField = new ElidedLabel;
    m_sizeValueField = new ElidedLabel;
    m_whereValueField = new ElidedLabel;
    const TextSize size = AppearancePreferenceStore::textSize();
    const std::pair<QString, ElidedLabel *> entries[] = {
        {tr("Kind:"), m_kindValueField}, {tr("Size:"), m_sizeValueField}, {tr("Where:"), m_whereValueField}};
    for (const auto &[label, value] : entries) {
        QWidget *row = InfoPanel::makeRow(label, value, size, rows);
        m_rowLabels.append(row->findChild<QWidget *>(QStringLiteral("rowLabel")));
        rowsLayout->addWidget(row);
    }

    m_mainStack->addWidget(m_titleLabel);
    m_mainStack->addWidget(swatchRow);
    m_mainStack->addWidget(separator);
    m_mainStack->addWidget(rows);
}

void MultiItemInfoWindowController::applyAppearance()
{
    const TextSize size = AppearancePreferenceStore::textSize();
    InfoPanel::applyBackground(this, AppearancePreferenceStore::theme());
    setFont(InfoPanel::valueFont(size));
    m_titleLabel->setFont(InfoPanel::titleFont(size));
    const qreal scale = InfoPanel::widthScale(size);
    InfoPanel::alignRowLabels(m_rowLabels, size);
    m_titleLabel->setFixedWidth(qRound(300 * scale) - 32);
}

void MultiItemInfoWindowController::readItems()
{
    // Where and "Calculating…" need nothing from the disk.
    m_whereValueField->setFullText(
        m_fileItems.isEmpty() ? QString() : PathCodec::displayForm(QFileInfo(m_fileItems.first().path()).path()));
    m_sizeValueField->setFullText(tr("Calculating…"));
    for (qsizetype index = 0; index < m_fileItems.size(); ++index) {
        if (m_fileItems[index].hasAttributeSnapshot())
            continue;
        ++m_itemsToRead;
        const QUrl url = m_fileItems[index].url();
        FileItem::readAttributes(url, this, [this, index, url](const FileItem &item) {
            if (index >= m_fileItems.size() || m_fileItems[index].url() != url)
                return;
            m_fileItems[index] = item;
            if (--m_itemsToRead == 0)
                populate();
        });
    }
    if (m_itemsToRead == 0)
        populate();
}

QString MultiItemInfoWindowController::kindSummary() const
{
    int folders = 0;
    for (const FileItem &item : m_fileItems)
        folders += item.isBrowsable() ? 1 : 0;
    const int files = int(m_fileItems.size()) - folders;
    if (folders == 0)
        return tr("%1 files").arg(files);
    if (files == 0)
        return tr("%1 folders").arg(folders);
    return tr("%1 folders, %2 files").arg(folders).arg(files);
}

void MultiItemInfoWindowController::populate()
{
    m_kindValueField->setFullText(kindSummary());
    updateSwatchSelection();
    m_fileTotal = 0;
    bool hasFolder = false;
    for (std::size_t index = 0; index < std::size_t(m_fileItems.size()); ++index) {
        const FileItem &item = m_fileItems[qsizetype(index)];
        if (!item.isBrowsable()) {
            m_fileTotal += item.fileSize().value_or(0);
            continue;
        }
        hasFolder = true;
        const FolderSizeCalculator *calculator = m_sizeCalculators[index].get();
        const QUrl url = item.url();
        m_sizeCalculators[index]->calculate(url, this, [this, calculator, index, url](qint64 total) {
            // Only the walk started for this folder counts.
            if (index >= m_sizeCalculators.size() || m_sizeCalculators[index].get() != calculator)
                return;
            m_calculatedSizes.insert(url, total);
            showTotal();
        });
    }
    if (!hasFolder)
        showTotal();
}

void MultiItemInfoWindowController::showTotal()
{
    qint64 total = m_fileTotal;
    for (qint64 size : std::as_const(m_calculatedSizes))
        total += size;
    m_sizeValueField->setFullText(DisplayFormats::byteCount(total));
}

void MultiItemInfoWindowController::updateSwatchSelection()
{
    QSet<LabelColor> colors;
    for (const FileItem &item : std::as_const(m_fileItems))
        colors.insert(item.hasAttributeSnapshot() ? item.attributeSnapshot()->labelColor : LabelColor::none);
    for (ColorSwatchView *swatch : std::as_const(m_swatches)) {
        swatch->isSelectedSwatch = colors.size() == 1 && *colors.begin() == swatch->color;
        swatch->update();
    }
}

void MultiItemInfoWindowController::applyLabelColor(LabelColor color)
{
    if (m_itemsToRead > 0)
        return;
    const FileItemList items = m_fileItems;
    InfoPanel::runInBackground(
        WorkQueues::listings(), this,
        [items, color] {
            FileItemList written;
            for (FileItem item : items) {
                item.setLabelColorOrLog(color);
                written.append(FileItem(item.url(), FileAttributes::read(item.url())));
            }
            return written;
        },
        [this](FileItemList written) {
            if (written.size() != m_fileItems.size())
                return;
            m_fileItems = written;
            updateSwatchSelection();
        });
}

void MultiItemInfoWindowController::closeEvent(QCloseEvent *event)
{
    for (const auto &calculator : m_sizeCalculators)
        calculator->cancel();
    QWidget::closeEvent(event);
    Q_EMIT windowClosed();
}
