#include "FileNameParts.h"

FileNameParts FileNameParts::of(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name.size() - 1)
        return {name, {}};
    return {name.left(dot), name.mid(dot + 1)};
}

QString FileNameParts::withStem(const QString &newStem) const
{
    return extension.isEmpty() ? newStem : newStem + QLatin1Char('.') + extension;
}

QString FileNameParts::numbered(const QString &name, int number)
{
    const FileNameParts parts = of(name);
    return parts.withStem(parts.stem + QLatin1Char(' ') + QString::number(number));
}
