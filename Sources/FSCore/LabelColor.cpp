#include "LabelColor.h"

#include <QCoreApplication>

namespace LabelColors {

namespace {

constexpr const char *englishNames[] = {"None", "Gray", "Green", "Purple", "Blue", "Yellow", "Red", "Orange"};

std::optional<LabelColor> colorOfTag(const QString &tag)
{
    for (LabelColor color : allCases) {
        if (color != LabelColor::none && tag.compare(tagName(color), Qt::CaseInsensitive) == 0)
            return color;
    }
    return std::nullopt;
}

} // namespace

std::optional<LabelColor> fromRawValue(int rawValue)
{
    if (rawValue < 0 || rawValue >= int(allCases.size()))
        return std::nullopt;
    return static_cast<LabelColor>(rawValue);
}

QString displayName(LabelColor color)
{
    switch (color) {
    case LabelColor::none: return QCoreApplication::translate("LabelColor", "None");
    case LabelColor::gray: return QCoreApplication::translate("LabelColor", "Gray");
    case LabelColor::green: return QCoreApplication::translate("LabelColor", "Green");
    case LabelColor::purple: return QCoreApplication::translate("LabelColor", "Purple");
    case LabelColor::blue: return QCoreApplication::translate("LabelColor", "Blue");
    case LabelColor::yellow: return QCoreApplication::translate("LabelColor", "Yellow");
    case LabelColor::red: return QCoreApplication::translate("LabelColor", "Red");
    case LabelColor::orange: return QCoreApplication::translate("LabelColor", "Orange");
    }
    return {};
}

QString tagName(LabelColor color)
{
    if (color == LabelColor::none)
        return {};
    return QString::fromLatin1(englishNames[rawValue(color)]);
}

LabelColor fromTags(const QStringList &tags)
{
    for (const QString &tag : tags) {
        if (const auto color = colorOfTag(tag))
            return *color;
    }
    return LabelColor::none;
}

QStringList tagsWithColor(const QStringList &tags, LabelColor color)
{
    QStringList result;
    for (const QString &tag : tags) {
        if (!colorOfTag(tag))
            result.append(tag);
    }
    if (color != LabelColor::none)
        result.append(tagName(color));
    return result;
}

} // namespace LabelColors
