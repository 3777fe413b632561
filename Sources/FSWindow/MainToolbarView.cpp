#include "MainToolbarView.h"

#include "ClassicSegmentedControl.h"
#include "ElidingLabel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>

#include <algorithm>
#include <cmath>

namespace {

constexpr int navigationLeft = 78;
constexpr int controlTop = 10;
constexpr int controlGap = 16;
constexpr int searchGap = 12;
constexpr int trailingMargin = 16;
constexpr int smallestSearchWidth = 80;
constexpr int largestSearchWidth = 240;
constexpr int placeholderRoom = 80 + 6;
constexpr int smallestFolderNameWidth = 30;
constexpr int barHeight = controlTop + 32 + controlTop;

} // namespace

MainToolbarView::MainToolbarView(int viewModeSegment, QWidget *parent)
    : QWidget(parent)
{
    m_navigationControl = new ClassicSegmentedControl({QStringLiteral("◀"), QStringLiteral("▶")},
                                                      ClassicSegmentedControl::Tracking::momentary, this);
    m_navigationControl->setSegmentEnabled(0, false);
    m_navigationControl->setSegmentEnabled(1, false);
    m_navigationControl->resize(m_navigationControl->sizeHint());

    m_viewModeControl = new ClassicSegmentedControl({tr("Icon"), tr("List"), tr("Column")},
                                                    ClassicSegmentedControl::Tracking::selectOne, this);
    m_viewModeControl->setSelectedSegment(viewModeSegment);
    m_viewModeControl->resize(m_viewModeControl->sizeHint());

    m_folderNameLabel = new ElidingLabel(this);
    QFont nameFont = QApplication::font();
    nameFont.setPixelSize(13);
    nameFont.setBold(true);
    m_folderNameLabel->setFont(nameFont);
    m_folderNameLabel->setAlignment(Qt::AlignCenter);
    m_folderNameLabel->setTextFormat(Qt::PlainText);
    QPalette namePalette = m_folderNameLabel->palette();
    namePalette.setColor(QPalette::WindowText, QColor::fromRgbF(0.15f, 0.15f, 0.15f));
    m_folderNameLabel->setPalette(namePalette);

    m_searchField = new QLineEdit(this);
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setPlaceholderText(searchPlaceholder());
    // The rounded field of the classic search box rather than a plain text box.
    m_searchField->setStyleSheet(QStringLiteral(
        "QLineEdit { border: 1px solid #8c8c8c; border-radius: 10px; padding: 1px 8px; background: white; }"
        "QLineEdit:focus { border: 2px solid #7aa7e0; padding: 0px 7px; }"));

    setFixedHeight(barHeight);
    setMinimumWidth(0);
    updateFloatingToolbarButtonFrames();
}

QString MainToolbarView::searchPlaceholder()
{
    return tr("Search This Folder");
}

void MainToolbarView::setFolderName(const QString &name)
{
    m_folderNameLabel->setText(name);
    updateFloatingToolbarButtonFrames();
}

int MainToolbarView::minimumWindowWidth() const
{
    return m_navigationControl->sizeHint().width() + navigationLeft + controlGap + controlGap
         + m_viewModeControl->sizeHint().width() + searchGap + smallestSearchWidth + trailingMargin;
}

void MainToolbarView::resizeEvent(QResizeEvent *)
{
    updateFloatingToolbarButtonFrames();
}

void MainToolbarView::updateFloatingToolbarButtonFrames()
{
    const QRect nav(QPoint(navigationLeft, controlTop), m_navigationControl->size());
    m_navigationControl->setGeometry(nav);
    const int navMaxX = navigationLeft + nav.width();

    const int viewModeWidth = m_viewModeControl->width();
    const int searchWidth = std::clamp(width() - trailingMargin - searchGap - m_viewModeControl->sizeHint().width()
                                           - navMaxX - trailingMargin,
                                       smallestSearchWidth, largestSearchWidth);
    const int searchHeight = m_searchField->sizeHint().height();
    const int navCentreY = nav.center().y();
    m_searchField->setGeometry(width() - trailingMargin - searchWidth, navCentreY - searchHeight / 2, searchWidth,
                               searchHeight);
    const int placeholderWidth = m_searchField->fontMetrics().horizontalAdvance(searchPlaceholder());
    m_searchField->setPlaceholderText(searchWidth >= placeholderWidth + placeholderRoom ? searchPlaceholder()
                                                                                          : QString());

    const int viewModeX = std::max(navMaxX + controlGap,
                                   width() - trailingMargin - searchWidth - searchGap - viewModeWidth);
    m_viewModeControl->setGeometry(viewModeX, controlTop, viewModeWidth, m_viewModeControl->height());

    const int left = navMaxX + controlGap;
    const int room = std::max(0, viewModeX - controlGap - left);
    const QSize nameSize = m_folderNameLabel->sizeHint();
    const int nameWidth = std::min(room, nameSize.width());
    m_folderNameLabel->setVisible(nameWidth >= smallestFolderNameWidth);
    m_folderNameLabel->setGeometry(left + (room - nameWidth) / 2, navCentreY - nameSize.height() / 2, nameWidth,
                                   nameSize.height());
}
