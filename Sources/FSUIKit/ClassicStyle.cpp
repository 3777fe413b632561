#include "ClassicStyle.h"

#include "LabelColorDrawing.h"
#include "MetalTexture.h"

#include <QApplication>
#include <QStyleFactory>

namespace ClassicStyle {

namespace {
const QColor graphiteWindow(204, 204, 204);
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
        application.setStyle(fusion);
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
