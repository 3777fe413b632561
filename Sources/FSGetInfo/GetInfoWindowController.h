#pragma once

#include "FSCore/FileItem.h"
#include "FSCore/FolderSizeCalculator.h"
#include "FSPlatform/DefaultApplications.h"
#include "FSPlatform/EntryDates.h"
#include "FSPlatform/PosixPermissions.h"

#include <QList>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <optional>

class ColorSwatchView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace InfoPanel {
class ElidedLabel;
}

// The information panel of one item: icon, name, label colour, and the
// sections "General", "More Info", "Name & Extension", "Open with" and
// "Sharing & Permissions". It opens at once with what is known of the item and
// fills in the rest as background reads answer, so a share that stopped
// answering never freezes it; every change it makes runs in the background
// too. An item that vanishes is reported in the panel, which then stops
// editing. Made, shown and released by GetInfoWindowRegistry.
class GetInfoWindowController : public QWidget
{
    Q_OBJECT
public:
    explicit GetInfoWindowController(const FileItem &fileItem, QWidget *parent = nullptr);
    ~GetInfoWindowController() override;

    const FileItem &fileItem() const { return m_fileItem; }
    // Whether the item was found gone at the last look.
    bool isItemGone() const { return m_isItemGone; }

    // A folder total from `calculator`; taken only from the walk this window
    // started, so a late answer from any other calculator changes nothing.
    void acceptFolderSize(const FolderSizeCalculator *calculator, qint64 totalBytes);
    const FolderSizeCalculator *sizeCalculator() const { return m_sizeCalculator.get(); }

    // The widgets, for the registry's callers and for tests.
    QLabel *nameField() const { return m_nameField; }
    InfoPanel::ElidedLabel *kindValueField() const { return m_kindValueField; }
    InfoPanel::ElidedLabel *sizeValueField() const { return m_sizeValueField; }
    InfoPanel::ElidedLabel *whereValueField() const { return m_whereValueField; }
    QLineEdit *nameExtField() const { return m_nameExtField; }
    QCheckBox *hideExtensionCheckbox() const { return m_hideExtensionCheckbox; }
    QComboBox *openWithPopup() const { return m_openWithPopup; }
    QPushButton *changeAllButton() const { return m_changeAllButton; }
    QComboBox *ownerPermissionPopup() const { return m_ownerPermissionPopup; }
    QComboBox *groupPermissionPopup() const { return m_groupPermissionPopup; }
    QComboBox *everyonePermissionPopup() const { return m_everyonePermissionPopup; }
    QLabel *messageLabel() const { return m_messageLabel; }
    const QList<ColorSwatchView *> &swatches() const { return m_swatches; }
    // The applications behind the pop-up's items, in the same order.
    const QList<DefaultApplications::Application> &openWithApps() const { return m_openWithApps; }

    // The section actions.
    void toggleGeneralSection();
    void toggleMoreInfoSection();
    void toggleNameExtSection();
    void toggleOpenWithSection();
    void toggleSharingSection();
    void toggleHideExtension();
    void changeAllApplications();
    void permissionChanged(QComboBox *sender);

Q_SIGNALS:
    // The user closed the window.
    void windowClosed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Details;

    void buildUI();
    QWidget *makeSectionHeader(const QString &title, QToolButton *&button, void (GetInfoWindowController::*action)());
    QWidget *makeRow(const QString &label, QWidget *value);
    void applyAppearance();
    void populate();
    void populateDetails(const Details &details);
    void populateOpenWith(const DefaultApplications::Choices &choices);
    void populateSharing(const std::optional<PosixPermissions> &permissions);
    void updateSwatchSelection(LabelColor color);
    void updateEditability();
    void showMessage(const QString &message);
    void swatchClicked(LabelColor color);
    void nameEditingFinished();
    void reloadIcon();
    void updateTitle();
    QString shownName() const;

    // Background reads; each answer is dropped when it is for another URL.
    void readAttributes();
    void readDetails();
    void readApplications();
    void startFolderSizeOnce();

    FileItem m_fileItem;
    std::unique_ptr<FolderSizeCalculator> m_sizeCalculator;
    QLabel *m_iconView = nullptr;
    QLabel *m_nameField = nullptr;
    QList<ColorSwatchView *> m_swatches;
    QToolButton *m_disclosureButton = nullptr;
    QWidget *m_generalContentView = nullptr;
    InfoPanel::ElidedLabel *m_kindValueField = nullptr;
    InfoPanel::ElidedLabel *m_sizeValueField = nullptr;
    InfoPanel::ElidedLabel *m_whereValueField = nullptr;
    InfoPanel::ElidedLabel *m_createdValueField = nullptr;
    InfoPanel::ElidedLabel *m_modifiedValueField = nullptr;
    QToolButton *m_moreInfoDisclosureButton = nullptr;
    QWidget *m_moreInfoContentView = nullptr;
    InfoPanel::ElidedLabel *m_lastOpenedValueField = nullptr;
    QToolButton *m_nameExtDisclosureButton = nullptr;
    QWidget *m_nameExtContentView = nullptr;
    QLineEdit *m_nameExtField = nullptr;
    QCheckBox *m_hideExtensionCheckbox = nullptr;
    QToolButton *m_openWithDisclosureButton = nullptr;
    QWidget *m_openWithHeader = nullptr;
    QWidget *m_openWithContentView = nullptr;
    QWidget *m_openWithSeparator = nullptr;
    QComboBox *m_openWithPopup = nullptr;
    QPushButton *m_changeAllButton = nullptr;
    QList<DefaultApplications::Application> m_openWithApps;
    QToolButton *m_sharingDisclosureButton = nullptr;
    QWidget *m_sharingContentView = nullptr;
    InfoPanel::ElidedLabel *m_ownerNameField = nullptr;
    QComboBox *m_ownerPermissionPopup = nullptr;
    InfoPanel::ElidedLabel *m_groupNameField = nullptr;
    QComboBox *m_groupPermissionPopup = nullptr;
    QLabel *m_everyoneLabel = nullptr;
    QComboBox *m_everyonePermissionPopup = nullptr;
    QLabel *m_messageLabel = nullptr;
    QVBoxLayout *m_mainStack = nullptr;
    QWidget *m_header = nullptr;
    QList<QWidget *> m_sectionTitles;
    QList<QToolButton *> m_disclosureTriangles;
    QList<QWidget *> m_rowLabels;

    QString m_contentType;
    std::optional<PosixPermissions> m_permissions;
    bool m_isItemGone = false;
    bool m_isRenaming = false;
    bool m_isWritingPermissions = false;
    bool m_haveAskedForApplications = false;
    bool m_sizeCalculatorStarted = false;
};
