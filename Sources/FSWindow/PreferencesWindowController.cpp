#include "PreferencesWindowController.h"

#include "FSUIKit/AppearanceNotifications.h"
#include "FSUIKit/AppearancePreferenceStore.h"

#include <QButtonGroup>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {

constexpr int contentWidth = 360;
constexpr int contentHeight = 190;
constexpr int leadingMargin = 20;
constexpr int trailingMargin = 20;
constexpr int topMargin = 24;
constexpr int labelWidth = 80;
constexpr int labelSpacing = 8;
// Room for a segmented control beside its label.
constexpr int segmentsWidth = contentWidth - leadingMargin - trailingMargin - labelWidth - labelSpacing;

// Fusion draws checkable push buttons as separate buttons whose checked state
// is barely darker; segments share their borders and the chosen one is pressed in.
const char segmentStyle[] =
    "QPushButton { border: 1px solid #8a8a8a; border-left: none; padding: 2px 6px; min-height: 18px;"
    "  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fefefe, stop:1 #e2e2e2); color: black; }"
    "QPushButton[segment=\"first\"] { border-left: 1px solid #8a8a8a;"
    "  border-top-left-radius: 4px; border-bottom-left-radius: 4px; }"
    "QPushButton[segment=\"last\"] { border-top-right-radius: 4px; border-bottom-right-radius: 4px; }"
    "QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #d0d0d0, stop:1 #dcdcdc); }"
    "QPushButton:checked { border-color: #6e6e6e;"
    "  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #9c9c9c, stop:1 #bcbcbc); color: black; }"
    "QPushButton:focus { outline: none; }";

const char *segmentPosition(int index, int count)
{
    if (index == 0)
        return "first";
    return index == count - 1 ? "last" : "middle";
}

// The panel has a fixed width; a wide font or a long translation makes the
// segment titles smaller rather than pushing the control out of the panel.
void shrinkToFit(QWidget *container, QButtonGroup *group)
{
    container->ensurePolished(); // the style sheet's padding counts
    QFont font = container->font();
    int pixelSize = QFontInfo(font).pixelSize();
    constexpr int smallestPixelSize = 9;
    while (container->sizeHint().width() > segmentsWidth && pixelSize > smallestPixelSize) {
        font.setPixelSize(--pixelSize);
        for (QAbstractButton *segment : group->buttons())
            segment->setFont(font);
        container->layout()->invalidate();
    }
}

// A select-one segmented control: checkable buttons side by side, exactly one
// of them checked (or none when nothing matches).
QWidget *makeSegments(QButtonGroup *group, const QStringList &titles, int selectedIndex, QWidget *parent)
{
    auto *container = new QWidget(parent);
    auto *layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    group->setExclusive(true);
    for (int index = 0; index < titles.size(); ++index) {
        auto *segment = new QPushButton(titles[index], container);
        segment->setCheckable(true);
        segment->setChecked(index == selectedIndex);
        segment->setFocusPolicy(Qt::TabFocus);
        segment->setProperty("segment", QString::fromLatin1(segmentPosition(index, titles.size())));
        group->addButton(segment, index);
        layout->addWidget(segment);
    }
    container->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    container->setStyleSheet(QString::fromLatin1(segmentStyle));
    shrinkToFit(container, group);
    return container;
}

QLabel *makeRowLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setFixedWidth(labelWidth);
    return label;
}

template<typename Case, std::size_t count>
int indexOf(const std::array<Case, count> &cases, Case value)
{
    const auto found = std::find(cases.begin(), cases.end(), value);
    return found == cases.end() ? -1 : int(found - cases.begin());
}

} // namespace

PreferencesWindowController::PreferencesWindowController(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_themeControl(new QButtonGroup(this))
    , m_textSizeControl(new QButtonGroup(this))
{
    setWindowTitle(tr("Preferences"));
    setFixedSize(contentWidth, contentHeight);
    buildUI();
}

void PreferencesWindowController::buildUI()
{
    QStringList themeTitles;
    for (AppTheme theme : AppThemes::allCases)
        themeTitles.append(AppThemes::displayName(theme));
    QStringList sizeTitles;
    for (TextSize size : TextSizes::allCases)
        sizeTitles.append(TextSizes::displayName(size));

    QWidget *themeSegments = makeSegments(m_themeControl, themeTitles,
                                          indexOf(AppThemes::allCases, AppearancePreferenceStore::theme()), this);
    QWidget *sizeSegments = makeSegments(m_textSizeControl, sizeTitles,
                                         indexOf(TextSizes::allCases, AppearancePreferenceStore::textSize()), this);
    connect(m_themeControl, &QButtonGroup::idClicked, this, &PreferencesWindowController::themeChanged);
    connect(m_textSizeControl, &QButtonGroup::idClicked, this, &PreferencesWindowController::textSizeChanged);

    auto *themeRow = new QHBoxLayout;
    themeRow->setSpacing(labelSpacing);
    themeRow->addWidget(makeRowLabel(tr("Theme:"), this));
    themeRow->addWidget(themeSegments);
    themeRow->addStretch(1);

    auto *sizeRow = new QHBoxLayout;
    sizeRow->setSpacing(labelSpacing);
    sizeRow->addWidget(makeRowLabel(tr("Text Size:"), this));
    sizeRow->addWidget(sizeSegments);
    sizeRow->addStretch(1);

    m_resetButton = new QPushButton(tr("Reset Window Size to Default"), this);
    m_resetButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_resetButton, &QPushButton::clicked, this, &PreferencesWindowController::resetWindowLayout);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(leadingMargin, topMargin, trailingMargin, 0);
    stack->setSpacing(16);
    stack->addLayout(themeRow);
    stack->addLayout(sizeRow);
    stack->addWidget(m_resetButton, 0, Qt::AlignLeft);
    stack->addStretch(1);
}

void PreferencesWindowController::themeChanged()
{
    const int index = m_themeControl->checkedId();
    if (index < 0 || index >= int(AppThemes::allCases.size()))
        return;
    AppearancePreferenceStore::setTheme(AppThemes::allCases[index]);
}

void PreferencesWindowController::textSizeChanged()
{
    const int index = m_textSizeControl->checkedId();
    if (index < 0 || index >= int(TextSizes::allCases.size()))
        return;
    AppearancePreferenceStore::setTextSize(TextSizes::allCases[index]);
}

void PreferencesWindowController::resetWindowLayout()
{
    AppearanceNotifications::instance()->postResetWindowLayoutRequested();
}
