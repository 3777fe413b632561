#include "ClassicStyle.h"

#include "LabelColorDrawing.h"
#include "MetalTexture.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>

namespace ClassicStyle {

namespace {

const QColor graphiteWindow(204, 204, 204);

// Room for the check mark in front of the icon column.
constexpr int checkMarkWidth = 10;
constexpr int checkMarkGap = 3;
// Fusion starts its check and icon column this far into the item.
constexpr int columnOffset = 4;

// Fusion shows the checked state of a menu entry with an icon only as a faint
// frame around the icon (the label colour entries are such entries), so the
// current choice cannot be seen. As classic menus do, such menus get a check
// mark of their own in front of the icons.
class MenuCheckMarkStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override
    {
        const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
        if (type != CT_MenuItem || !item || !hasMarkColumn(*item))
            return QProxyStyle::sizeFromContents(type, option, size, widget);
        const QStyleOptionMenuItem wide = widened(*item, widget);
        return QProxyStyle::sizeFromContents(type, &wide, size, widget);
    }

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
        if (element != CE_MenuItem || !item || !hasMarkColumn(*item)) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionMenuItem plain = widened(*item, widget);
        plain.icon = QIcon();
        plain.checkType = QStyleOptionMenuItem::NotCheckable;
        plain.checked = false;
        QProxyStyle::drawControl(element, &plain, painter, widget);

        const QRect &rect = item->rect;
        const int iconSize = proxy()->pixelMetric(PM_SmallIconSize, option, widget);
        const int left = rect.left() + columnOffset + checkMarkGap;
        if (item->checked)
            drawCheckMark(visualRect(item->direction, rect,
                                     QRect(left, rect.center().y() - checkMarkWidth / 2 + 1, checkMarkWidth,
                                           checkMarkWidth)),
                          *item, painter);
        if (!item->icon.isNull()) {
            const QRect iconRect(left + checkMarkWidth + checkMarkGap, rect.center().y() - iconSize / 2 + 1,
                                 iconSize, iconSize);
            const bool isEnabled = item->state & State_Enabled;
            item->icon.paint(painter, visualRect(item->direction, rect, iconRect), Qt::AlignCenter,
                             isEnabled ? QIcon::Normal : QIcon::Disabled);
        }
    }

private:
    static bool hasMarkColumn(const QStyleOptionMenuItem &item)
    {
        return item.menuHasCheckableItems && item.maxIconWidth > 0
            && item.menuItemType != QStyleOptionMenuItem::Separator;
    }

    QStyleOptionMenuItem widened(const QStyleOptionMenuItem &item, const QWidget *widget) const
    {
        QStyleOptionMenuItem wide = item;
        const int iconSize = proxy()->pixelMetric(PM_SmallIconSize, &item, widget);
        wide.maxIconWidth = std::max(item.maxIconWidth, iconSize) + checkMarkWidth + 2 * checkMarkGap;
        return wide;
    }

    static void drawCheckMark(const QRect &box, const QStyleOptionMenuItem &item, QPainter *painter)
    {
        const bool isSelected = (item.state & State_Selected) && (item.state & State_Enabled);
        const QPalette::ColorGroup group = (item.state & State_Enabled) ? QPalette::Normal : QPalette::Disabled;
        QPainterPath tick;
        tick.moveTo(box.left() + 0.5, box.top() + box.height() * 0.55);
        tick.lineTo(box.left() + box.width() * 0.38, box.bottom() - 0.5);
        tick.lineTo(box.right() + 0.5, box.top() + 0.5);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(item.palette.color(group, isSelected ? QPalette::HighlightedText : QPalette::Text), 1.8,
                             Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter->drawPath(tick);
        painter->restore();
    }
};

} // namespace

QPalette palette()
{
    const QColor text(0, 0, 0);
    const QColor button(236, 236, 236);
    const QColor base(255, 255, 255);
    const QColor highlight(56, 117, 215);
    const QColor disabledText(0, 0, 0, 64);

    QPalette palette(button, graphiteWindow);
    palette.setColor(QPalette::Window, graphiteWindow);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, QColor(237, 243, 254));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, button);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Light, Qt::white);
    palette.setColor(QPalette::Midlight, QColor(226, 226, 226));
    palette.setColor(QPalette::Mid, QColor(180, 180, 180));
    palette.setColor(QPalette::Dark, QColor(150, 150, 150));
    palette.setColor(QPalette::Shadow, QColor(100, 100, 100));
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(255, 255, 199));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, LabelColors::tertiaryLabelColor());
    palette.setColor(QPalette::Link, QColor(0, 102, 204));
    palette.setColor(QPalette::LinkVisited, QColor(85, 26, 139));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(202, 202, 202));
    palette.setColor(QPalette::Disabled, QPalette::HighlightedText, text);
    palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor(202, 202, 202));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText, text);
    return palette;
}

void apply(QApplication &application)
{
    // A style name the platform does not know leaves the current style.
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        application.setStyle(new MenuCheckMarkStyle(fusion));
    application.setPalette(palette());
}

QBrush windowBackground(AppTheme theme)
{
    switch (theme) {
    case AppTheme::graphite10_6: return QBrush(graphiteWindow);
    case AppTheme::metal10_4: return MetalTexture::backgroundColor();
    }
    return QBrush(graphiteWindow);
}

} // namespace ClassicStyle
