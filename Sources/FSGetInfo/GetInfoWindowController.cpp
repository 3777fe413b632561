#include "GetInfoWindowController.h"

#include "ColorSwatchView.h"
#include "InfoPanelPrivate.h"

#include "FSCore/FileAttributes.h"
#include "FSCore/FileOperations.h"
#include "FSCore/FilePermissions.h"
#include "FSCore/WorkQueues.h"
#include "FSPlatform/DisplayFormats.h"
#include "FSPlatform/FileNameParts.h"
#include "FSPlatform/NaturalOrder.h"
#include "FSPlatform/PathCodec.h"
#include "FSUIKit/AppearanceNotifications.h"
#include "FSUIKit/AppearancePreferenceStore.h"
#include "FSUIKit/IconCache.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

using InfoPanel::ElidedLabel;

namespace {

bool isExpanded(const QToolButton *triangle)
{
    return triangle->arrowType() == Qt::DownArrow;
}

constexpr int panelWidth = 300;
constexpr int iconSize = 64;
const QString missingValue = QStringLiteral("—");

QString dateText(const std::optional<QDateTime> &date)
{
    return date ? DisplayFormats::dateTime(*date) : missingValue;
}

QFrame *makeSeparator(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QWidget *makeStack(QWidget *parent, int spacing, QVBoxLayout *&layout)
{
    auto *view = new QWidget(parent);
    layout = new QVBoxLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return view;
}

QIcon applicationIcon(const DefaultApplications::Application &application)
{
    if (!application.iconPath.isEmpty())
        return QIcon(application.iconPath);
    for (const QString &name : application.iconNames) {
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    }
    return QIcon::fromTheme(QStringLiteral("application-x-executable"));
}

struct PermissionResult
{
    std::optional<PosixPermissions> permissions;
    QString error;
};

} // namespace

struct GetInfoWindowController::Details
{
    QUrl url;
    std::optional<PosixPermissions> permissions;
    EntryDates dates;
};

GetInfoWindowController::GetInfoWindowController(const FileItem &fileItem, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_fileItem(fileItem.hasAttributeSnapshot() ? fileItem : FileItem::lastKnown(fileItem.url()))
    , m_sizeCalculator(std::make_unique<FolderSizeCalculator>())
{
    updateTitle();
    buildUI();
    applyAppearance();
    populate();
    startFolderSizeOnce();
    readAttributes();
    readDetails();
    connect(AppearanceNotifications::instance(), &AppearanceNotifications::appearancePreferencesDidChange, this,
            &GetInfoWindowController::applyAppearance);
}

// Destroying the calculator cancels its walk.
GetInfoWindowController::~GetInfoWindowController() = default;

// The field shows the name made safe: a name it would render reordered or
// broken must not be edited as if it read that way. An untouched field renames
// nothing; an edited one names the file as shown.
QString GetInfoWindowController::shownName() const
{
    return InfoPanel::safeText(m_fileItem.name());
}

void GetInfoWindowController::updateTitle()
{
    setWindowTitle(tr("%1 Info").arg(InfoPanel::safeText(m_fileItem.name())));
}

void GetInfoWindowController::buildUI()
{
    m_mainStack = new QVBoxLayout(this);
    m_mainStack->setContentsMargins(16, 16, 16, 16);
    m_mainStack->setSpacing(10);
    m_mainStack->setSizeConstraint(QLayout::SetFixedSize);

    QVBoxLayout *headerLayout = nullptr;
    m_header = makeStack(this, 6, headerLayout);
    headerLayout->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_iconView = new QLabel(m_header);
    m_iconView->setFixedSize(iconSize, iconSize);
    m_nameField = new QLabel(m_header);
    m_nameField->setTextFormat(Qt::PlainText);
    m_nameField->setAlignment(Qt::AlignHCenter);
    m_nameField->setWordWrap(true);
    headerLayout->addWidget(m_iconView, 0, Qt::AlignHCenter);
    headerLayout->addWidget(m_nameField);

    QWidget *swatchRow = InfoPanel::makeSwatchRow([this](LabelColor color) { swatchClicked(color); }, m_swatches, this);

    QVBoxLayout *layout = nullptr;
    m_generalContentView = makeStack(this, 4, layout);
    m_kindValueField = new ElidedLabel;
    m_sizeValueField = new ElidedLabel;
    m_whereValueField = new ElidedLabel;
    m_createdValueField = new ElidedLabel;
    m_modifiedValueField = new ElidedLabel;
    layout->addWidget(makeRow(tr("Kind:"), m_kindValueField));
    layout->addWidget(makeRow(tr("Size:"), m_sizeValueField));
    layout->addWidget(makeRow(tr("Where:"), m_whereValueField));
    layout->addWidget(makeRow(tr("Created:"), m_createdValueField));
    layout->addWidget(makeRow(tr("Modified:"), m_modifiedValueField));

    m_moreInfoContentView = makeStack(this, 4, layout);
    m_lastOpenedValueField = new ElidedLabel;
    layout->addWidget(makeRow(tr("Last opened:"), m_lastOpenedValueField));

    m_nameExtContentView = makeStack(this, 6, layout);
    m_nameExtField = new QLineEdit(m_nameExtContentView);
    m_nameExtField->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    connect(m_nameExtField, &QLineEdit::editingFinished, this, &GetInfoWindowController::nameEditingFinished);
    m_hideExtensionCheckbox = new QCheckBox(tr("Hide extension"), m_nameExtContentView);
    connect(m_hideExtensionCheckbox, &QCheckBox::clicked, this, &GetInfoWindowController::toggleHideExtension);
    layout->addWidget(m_nameExtField);
    layout->addWidget(m_hideExtensionCheckbox, 0, Qt::AlignLeft);

    m_openWithContentView = makeStack(this, 6, layout);
    m_openWithPopup = new QComboBox(m_openWithContentView);
    m_openWithPopup->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_openWithPopup->setIconSize(QSize(16, 16));
    m_openWithPopup->setPlaceholderText(tr("No application"));
    m_changeAllButton = new QPushButton(tr("Change All…"), m_openWithContentView);
    connect(m_changeAllButton, &QPushButton::clicked, this, &GetInfoWindowController::changeAllApplications);
    layout->addWidget(m_openWithPopup);
    layout->addWidget(m_changeAllButton, 0, Qt::AlignLeft);

    m_sharingContentView = makeStack(this, 4, layout);
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    m_ownerNameField = new ElidedLabel(m_sharingContentView);
    m_groupNameField = new ElidedLabel(m_sharingContentView);
    m_everyoneLabel = new QLabel(tr("everyone"), m_sharingContentView);
    QComboBox **popups[] = {&m_ownerPermissionPopup, &m_groupPermissionPopup, &m_everyonePermissionPopup};
    QWidget *names[] = {m_ownerNameField, m_groupNameField, m_everyoneLabel};
    for (int row = 0; row < 3; ++row) {
        auto *popup = new QComboBox(m_sharingContentView);
        popup->addItems({tr("Read & Write"), tr("Read Only"), tr("No Access")});
        popup->setProperty("permissionClass", row);
        // activated, not currentIndexChanged: showing what the disk holds must
        // never write it back.
        connect(popup, &QComboBox::activated, this, [this, popup] { permissionChanged(popup); });
        *popups[row] = popup;
        names[row]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        grid->addWidget(names[row], row, 0);
        grid->addWidget(popup, row, 1);
    }
    grid->setColumnStretch(0, 1);
    layout->addLayout(grid);
    m_messageLabel = new QLabel(m_sharingContentView);
    m_messageLabel->setTextFormat(Qt::PlainText);
    m_messageLabel->setWordWrap(true);
    m_messageLabel->hide();

    m_mainStack->addWidget(m_header);
    m_mainStack->addWidget(swatchRow);
    m_mainStack->addWidget(m_messageLabel);
    m_mainStack->addWidget(makeSeparator(this));
    m_mainStack->addWidget(makeSectionHeader(tr("General"), m_disclosureButton,
                                             &GetInfoWindowController::toggleGeneralSection));
    m_mainStack->addWidget(m_generalContentView);
    m_mainStack->addWidget(makeSeparator(this));
    m_mainStack->addWidget(makeSectionHeader(tr("More Info"), m_moreInfoDisclosureButton,
                                             &GetInfoWindowController::toggleMoreInfoSection));
    m_mainStack->addWidget(m_moreInfoContentView);
    m_mainStack->addWidget(makeSeparator(this));
    m_mainStack->addWidget(makeSectionHeader(tr("Name & Extension"), m_nameExtDisclosureButton,
                                             &GetInfoWindowController::toggleNameExtSection));
    m_mainStack->addWidget(m_nameExtContentView);
    m_mainStack->addWidget(makeSeparator(this));
    m_openWithHeader = makeSectionHeader(tr("Open with"), m_openWithDisclosureButton,
                                         &GetInfoWindowController::toggleOpenWithSection);
    m_mainStack->addWidget(m_openWithHeader);
    m_mainStack->addWidget(m_openWithContentView);
    m_openWithSeparator = makeSeparator(this);
    m_mainStack->addWidget(m_openWithSeparator);
    m_mainStack->addWidget(makeSectionHeader(tr("Sharing & Permissions"), m_sharingDisclosureButton,
                                             &GetInfoWindowController::toggleSharingSection));
    m_mainStack->addWidget(m_sharingContentView);
}

QWidget *GetInfoWindowController::makeSectionHeader(const QString &title, QToolButton *&button,
                                                    void (GetInfoWindowController::*action)())
{
    auto *header = new QWidget(this);
    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    button = new QToolButton(header);
    // Not checkable: a checked tool button is drawn pressed in, and a
    // disclosure triangle is only ever a triangle. Pointing down is "on".
    button->setAutoRaise(true);
    button->setArrowType(Qt::DownArrow);
    m_disclosureTriangles.append(button);
    QToolButton *triangle = button;
    connect(button, &QToolButton::clicked, this, [this, triangle, action] {
        triangle->setArrowType(isExpanded(triangle) ? Qt::RightArrow : Qt::DownArrow);
        (this->*action)();
    });
    auto *label = new QLabel(title, header);
    label->setTextFormat(Qt::PlainText);
    m_sectionTitles.append(label);
    layout->addWidget(button, 0, Qt::AlignVCenter);
    layout->addWidget(label, 0, Qt::AlignVCenter);
    layout->addStretch();
    return header;
}

QWidget *GetInfoWindowController::makeRow(const QString &label, QWidget *value)
{
    QWidget *row = InfoPanel::makeRow(label, value, AppearancePreferenceStore::textSize(), this);
    m_rowLabels.append(row->findChild<QWidget *>(QStringLiteral("rowLabel")));
    return row;
}

void GetInfoWindowController::applyAppearance()
{
    const TextSize size = AppearancePreferenceStore::textSize();
    InfoPanel::applyBackground(this, AppearancePreferenceStore::theme());
    setFont(InfoPanel::valueFont(size));
    m_nameField->setFont(InfoPanel::titleFont(size));
    QFont sectionFont = InfoPanel::valueFont(size);
    sectionFont.setBold(true);
    for (QWidget *title : std::as_const(m_sectionTitles))
        title->setFont(sectionFont);
    const qreal scale = InfoPanel::widthScale(size);
    InfoPanel::alignRowLabels(m_rowLabels, size);
    // The header is as wide as the content: it fixes the panel's width, and every
    // text that does not fit is shortened instead of widening the panel.
    m_header->setFixedWidth(qRound(panelWidth * scale) - 32);
    const int triangle = qRound(14 * scale);
    for (QToolButton *button : std::as_const(m_disclosureTriangles)) {
        button->setFixedSize(triangle, triangle);
        button->setIconSize(QSize(triangle - 4, triangle - 4));
    }
    reloadIcon();
}

void GetInfoWindowController::reloadIcon()
{
    const int side = m_iconView->width();
    // A bare item would cost a stat here; its icon comes with its attributes.
    const QIcon icon = m_fileItem.hasAttributeSnapshot() ? IconCache::icon(m_fileItem) : IconCache::genericIcon();
    m_iconView->setPixmap(icon.pixmap(QSize(side, side), devicePixelRatio()));
}

void GetInfoWindowController::populate()
{
    const FileAttributes *attributes = m_fileItem.attributeSnapshot();
    const QString name = InfoPanel::safeText(m_fileItem.name());
    m_nameField->setText(name);
    if (!m_isRenaming && !m_nameExtField->hasFocus())
        m_nameExtField->setText(shownName());
    m_whereValueField->setFullText(PathCodec::displayForm(QFileInfo(m_fileItem.path()).path()));
    reloadIcon();
    if (!attributes) {
        // Nothing read yet: no guess that would need the disk.
        m_kindValueField->setFullText(QString());
        m_sizeValueField->setFullText(QString());
        m_modifiedValueField->setFullText(QString());
        updateEditability();
        return;
    }
    m_isItemGone = !attributes->exists;
    const bool isFolder = m_fileItem.isBrowsable();
    if (const std::optional<QString> kind = m_fileItem.kindDescription())
        m_kindValueField->setFullText(*kind);
    else
        m_kindValueField->setFullText(isFolder ? tr("Folder") : tr("Document"));
    if (!isFolder) {
        const std::optional<qint64> size = m_fileItem.fileSize();
        m_sizeValueField->setFullText(size ? DisplayFormats::byteCount(*size) : missingValue);
    }
    m_modifiedValueField->setFullText(dateText(m_fileItem.modificationDate()));
    m_hideExtensionCheckbox->setChecked(attributes->hidesExtension);
    updateSwatchSelection(attributes->labelColor);
    m_openWithHeader->setVisible(!isFolder);
    // Without the section, its two separators would meet in a double line.
    m_openWithSeparator->setVisible(!isFolder);
    m_openWithContentView->setVisible(!isFolder && isExpanded(m_openWithDisclosureButton));
    m_contentType = attributes->contentType ? attributes->contentType->name : QString();
    if (!isFolder && !m_haveAskedForApplications && attributes->exists) {
        m_haveAskedForApplications = true;
        readApplications();
    }
    if (m_isItemGone)
        showMessage(tr("This item can no longer be found. It may have been moved or deleted."));
    else if (m_messageLabel->text() == tr("This item can no longer be found. It may have been moved or deleted."))
        showMessage(QString());
    updateEditability();
}

void GetInfoWindowController::updateEditability()
{
    const bool isKnown = m_fileItem.hasAttributeSnapshot() && !m_isItemGone;
    m_nameExtField->setEnabled(isKnown);
    m_nameExtField->setReadOnly(m_isRenaming);
    // Folders and names without an extension have nothing to hide.
    const bool hasExtension = !FileNameParts::of(m_fileItem.url().fileName()).extension.isEmpty();
    m_hideExtensionCheckbox->setEnabled(isKnown && hasExtension && !m_fileItem.isBrowsable());
    for (ColorSwatchView *swatch : std::as_const(m_swatches))
        swatch->setEnabled(isKnown);
    const bool canChangePermissions = isKnown && m_permissions && !m_isWritingPermissions;
    for (QComboBox *popup : {m_ownerPermissionPopup, m_groupPermissionPopup, m_everyonePermissionPopup})
        popup->setEnabled(canChangePermissions);
    m_openWithPopup->setEnabled(isKnown && !m_openWithApps.isEmpty());
    m_changeAllButton->setEnabled(isKnown && !m_openWithApps.isEmpty());
}

void GetInfoWindowController::showMessage(const QString &message)
{
    m_messageLabel->setText(InfoPanel::safeText(message));
    m_messageLabel->setVisible(!message.isEmpty());
}

void GetInfoWindowController::updateSwatchSelection(LabelColor color)
{
    for (ColorSwatchView *swatch : std::as_const(m_swatches)) {
        swatch->isSelectedSwatch = swatch->color == color;
        swatch->update();
    }
}

void GetInfoWindowController::readAttributes()
{
    const QUrl url = m_fileItem.url();
    FileItem::readAttributes(url, this, [this](const FileItem &item) {
        if (item.url() != m_fileItem.url())
            return;
        m_fileItem = item;
        populate();
        startFolderSizeOnce();
    });
}

void GetInfoWindowController::readDetails()
{
    const QUrl url = m_fileItem.url();
    InfoPanel::runInBackground(
        WorkQueues::listings(), this,
        [url] {
            Details details;
            details.url = url;
            const QByteArray path = PathCodec::encodePath(url);
            try {
                details.permissions = PosixPermissions::read(path);
            } catch (const OperationError &) {
            }
            details.dates = EntryDates::read(path);
            return details;
        },
        [this](Details details) {
            if (details.url == m_fileItem.url())
                populateDetails(details);
        });
}

void GetInfoWindowController::populateDetails(const Details &details)
{
    m_createdValueField->setFullText(dateText(details.dates.created));
    m_lastOpenedValueField->setFullText(dateText(details.dates.lastOpened));
    populateSharing(details.permissions);
}

void GetInfoWindowController::populateSharing(const std::optional<PosixPermissions> &permissions)
{
    m_permissions = permissions;
    m_ownerNameField->setFullText(permissions ? permissions->ownerName : QString());
    m_groupNameField->setFullText(permissions ? permissions->groupName : QString());
    const quint32 mode = permissions ? permissions->mode : 0;
    const PermissionClass classes[] = {PermissionClass::owner, PermissionClass::group, PermissionClass::everyone};
    QComboBox *popups[] = {m_ownerPermissionPopup, m_groupPermissionPopup, m_everyonePermissionPopup};
    for (int index = 0; index < 3; ++index)
        popups[index]->setCurrentIndex(int(FilePermissions::accessLevel(mode, classes[index])));
    updateEditability();
}

void GetInfoWindowController::permissionChanged(QComboBox *sender)
{
    const int index = sender->currentIndex();
    const int tag = sender->property("permissionClass").toInt();
    if (index < 0 || index > 2 || tag < 0 || tag > 2 || m_isItemGone || m_isWritingPermissions)
        return;
    m_isWritingPermissions = true;
    updateEditability();
    const QUrl url = m_fileItem.url();
    InfoPanel::runInBackground(
        WorkQueues::listings(), this,
        [url, tag, index] {
            PermissionResult result;
            try {
                result.permissions = FilePermissions::apply(url, PermissionClass(tag), AccessLevel(index));
            } catch (const OperationError &error) {
                result.error = error.localizedDescription();
                try {
                    result.permissions = PosixPermissions::read(PathCodec::encodePath(url));
                } catch (const OperationError &) {
                }
            }
            return result;
        },
        [this, url](PermissionResult result) {
            m_isWritingPermissions = false;
            if (url != m_fileItem.url()) {
                updateEditability();
                return;
            }
            showMessage(result.error);
            // The pop-ups show what the disk holds, also after a failure.
            populateSharing(result.permissions);
            if (!result.permissions)
                readAttributes();
        });
}

void GetInfoWindowController::swatchClicked(LabelColor color)
{
    if (m_isItemGone || !m_fileItem.hasAttributeSnapshot())
        return;
    const FileItem item = m_fileItem;
    InfoPanel::runInBackground(
        WorkQueues::listings(), this,
        [item, color]() mutable {
            FileItem target = item;
            target.setLabelColorOrLog(color);
            return FileAttributes::read(item.url()).labelColor;
        },
        [this, url = item.url()](LabelColor current) {
            if (url != m_fileItem.url())
                return;
            updateSwatchSelection(current);
            readAttributes();
        });
}

void GetInfoWindowController::toggleHideExtension()
{
    if (m_isItemGone || !m_fileItem.hasAttributeSnapshot())
        return;
    const bool hide = m_hideExtensionCheckbox->isChecked();
    const FileItem item = m_fileItem;
    InfoPanel::runInBackground(
        WorkQueues::listings(), this,
        [item, hide]() mutable {
            FileItem target = item;
            try {
                target.setHidesExtension(hide);
                return QString();
            } catch (const OperationError &error) {
                return error.localizedDescription();
            }
        },
        [this, url = item.url()](QString error) {
            if (url != m_fileItem.url())
                return;
            showMessage(error);
            // The name texts stay as they are; the checkbox and the icon follow the disk.
            const QUrl current = m_fileItem.url();
            FileItem::readAttributes(current, this, [this](const FileItem &fresh) {
                if (fresh.url() != m_fileItem.url())
                    return;
                m_fileItem = fresh;
                if (const FileAttributes *attributes = fresh.attributeSnapshot())
                    m_hideExtensionCheckbox->setChecked(attributes->hidesExtension);
                reloadIcon();
            });
        });
}

void GetInfoWindowController::nameEditingFinished()
{
    const QString text = m_nameExtField->text();
    if (m_isRenaming || m_isItemGone || !m_fileItem.hasAttributeSnapshot() || text == shownName())
        return;
    m_isRenaming = true;
    updateEditability();
    const FileItem item = m_fileItem;
    struct RenameResult
    {
        std::optional<QUrl> url;
    };
    InfoPanel::runInBackground(
        WorkQueues::listings(), this,
        [item, text] {
            RenameResult result;
            try {
                result.url = FileOperations::renameFromDisplayName(item, text);
            } catch (const OperationError &) {
            }
            return result;
        },
        [this, oldUrl = item.url()](RenameResult result) {
            m_isRenaming = false;
            if (!result.url || oldUrl != m_fileItem.url()) {
                m_nameExtField->setText(shownName());
                updateEditability();
                // It may have failed because the item is gone.
                readAttributes();
                return;
            }
            // The attributes moved with the item (the hidden-extension flag too);
            // only the name changed until the fresh read says more.
            FileAttributes attributes = *m_fileItem.attributeSnapshot();
            attributes.name = PathCodec::displayForm(PathCodec::decode(PathCodec::encodePath(*result.url)).section(
                QLatin1Char('/'), -1));
            m_fileItem = FileItem(*result.url, attributes);
            updateTitle();
            m_nameExtField->setText(shownName());
            FileItem::readAttributes(*result.url, this, [this](const FileItem &fresh) {
                if (fresh.url() != m_fileItem.url())
                    return;
                m_fileItem = fresh;
                updateTitle();
                populate();
                m_nameExtField->setText(shownName());
            });
            readDetails();
        });
}

void GetInfoWindowController::readApplications()
{
    const QString type = m_contentType;
    InfoPanel::runInBackground(
        WorkQueues::listings(), this, [type] { return DefaultApplications::forContentType(type); },
        [this](DefaultApplications::Choices choices) { populateOpenWith(choices); });
}

void GetInfoWindowController::populateOpenWith(const DefaultApplications::Choices &choices)
{
    QList<DefaultApplications::Application> applications = choices.applications;
    std::stable_sort(applications.begin(), applications.end(), [](const auto &a, const auto &b) {
        return NaturalOrder::sortKey(a.name) < NaturalOrder::sortKey(b.name);
    });
    m_openWithApps = applications;
    m_openWithPopup->clear();
    for (const DefaultApplications::Application &application : std::as_const(applications))
        m_openWithPopup->addItem(applicationIcon(application), InfoPanel::safeText(application.name));
    for (int index = 0; index < applications.size(); ++index) {
        if (applications[index].id == choices.defaultId)
            m_openWithPopup->setCurrentIndex(index);
    }
    updateEditability();
}

void GetInfoWindowController::changeAllApplications()
{
    const int index = m_openWithPopup->currentIndex();
    if (index < 0 || index >= m_openWithApps.size() || m_contentType.isEmpty() || m_isItemGone)
        return;
    const QString id = m_openWithApps[index].id;
    const QString type = m_contentType;
    struct ChangeResult
    {
        DefaultApplications::Choices choices;
        QString error;
    };
    m_changeAllButton->setEnabled(false);
    InfoPanel::runInBackground(
        WorkQueues::listings(), this,
        [id, type] {
            ChangeResult result;
            try {
                DefaultApplications::setDefault(id, type);
            } catch (const OperationError &error) {
                result.error = error.localizedDescription();
            }
            result.choices = DefaultApplications::forContentType(type);
            return result;
        },
        [this, type](ChangeResult result) {
            if (type != m_contentType)
                return;
            // The pop-up shows the default as it is now, whatever happened.
            populateOpenWith(result.choices);
        });
}

void GetInfoWindowController::startFolderSizeOnce()
{
    if (!m_fileItem.hasAttributeSnapshot() || !m_fileItem.isBrowsable() || m_sizeCalculatorStarted)
        return;
    m_sizeCalculatorStarted = true;
    m_sizeValueField->setFullText(tr("Calculating…"));
    const FolderSizeCalculator *calculator = m_sizeCalculator.get();
    m_sizeCalculator->calculate(m_fileItem.url(), this,
                                [this, calculator](qint64 total) { acceptFolderSize(calculator, total); });
}

void GetInfoWindowController::acceptFolderSize(const FolderSizeCalculator *calculator, qint64 totalBytes)
{
    if (calculator != m_sizeCalculator.get() || m_sizeCalculator->isCancelled())
        return;
    m_sizeValueField->setFullText(DisplayFormats::byteCount(totalBytes));
}

void GetInfoWindowController::toggleGeneralSection()
{
    m_generalContentView->setVisible(isExpanded(m_disclosureButton));
}

void GetInfoWindowController::toggleMoreInfoSection()
{
    m_moreInfoContentView->setVisible(isExpanded(m_moreInfoDisclosureButton));
}

void GetInfoWindowController::toggleNameExtSection()
{
    m_nameExtContentView->setVisible(isExpanded(m_nameExtDisclosureButton));
}

void GetInfoWindowController::toggleOpenWithSection()
{
    const bool isFolder = m_fileItem.hasAttributeSnapshot() && m_fileItem.isBrowsable();
    m_openWithContentView->setVisible(isExpanded(m_openWithDisclosureButton) && !isFolder);
}

void GetInfoWindowController::toggleSharingSection()
{
    m_sharingContentView->setVisible(isExpanded(m_sharingDisclosureButton));
}

void GetInfoWindowController::closeEvent(QCloseEvent *event)
{
    // The walk stops now, not when the registry gets round to deleting us.
    m_sizeCalculator->cancel();
    QWidget::closeEvent(event);
    Q_EMIT windowClosed();
}

void GetInfoWindowController::changeEvent(QEvent *event)
{
    // Coming back to the panel, look again: the item may have changed or gone.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_fileItem.hasAttributeSnapshot()) {
        readAttributes();
        readDetails();
    }
    QWidget::changeEvent(event);
}
