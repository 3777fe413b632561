#include "TextSize.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace TextSizes {

namespace {

struct Metrics
{
    qreal baseFontSize;
    qreal listRowHeight;
    qreal sidebarRowHeight;
    qreal rowIconSize;
    qreal gridIconSize;
    QSizeF gridItemSize;
};

const Metrics &metrics(TextSize size)
{
    static const Metrics table[] = {
        {12, 20, 22, 16, 40, QSizeF(84, 78)},
        {15, 26, 28, 20, 56, QSizeF(108, 104)},
        {19, 34, 36, 26, 76, QSizeF(140, 136)},
    };
    return table[rawValue(size)];
}

} // namespace

std::optional<TextSize> fromRawValue(long long rawValue)
{
    if (rawValue < 0 || rawValue >= static_cast<long long>(allCases.size()))
        return std::nullopt;
    return static_cast<TextSize>(rawValue);
}

QString displayName(TextSize size)
{
    switch (size) {
    case TextSize::small: return QCoreApplication::translate("TextSize", "Small");
    case TextSize::medium: return QCoreApplication::translate("TextSize", "Medium");
    case TextSize::large: return QCoreApplication::translate("TextSize", "Large");
    }
    return {};
}

qreal baseFontSize(TextSize size) { return metrics(size).baseFontSize; }
qreal listRowHeight(TextSize size) { return metrics(size).listRowHeight; }
qreal sidebarRowHeight(TextSize size) { return metrics(size).sidebarRowHeight; }
qreal rowIconSize(TextSize size) { return metrics(size).rowIconSize; }
qreal gridIconSize(TextSize size) { return metrics(size).gridIconSize; }
QSizeF gridItemSize(TextSize size) { return metrics(size).gridItemSize; }

QFont font(TextSize size)
{
    return font(size, QGuiApplication::font());
}

QFont font(TextSize size, const QFont &base)
{
    QFont result = base;
    result.setPixelSize(qRound(baseFontSize(size)));
    return result;
}

} // namespace TextSizes
