#pragma once

#include <QString>

// A file name seen as stem and extension, for making related names
// ("Report copy.txt", "Report 2.txt"). The extension is what follows the last
// dot, except when that dot starts the name (".profile" is all stem: a hidden
// file's copy must stay hidden) or ends it.
struct FileNameParts
{
    QString stem;
    QString extension; // without the dot; may be empty

    static FileNameParts of(const QString &name);

    // `newStem` with this extension (and its dot) appended when there is one.
    QString withStem(const QString &newStem) const;

    // "stem n.ext": the plain numbering used wherever a name is taken.
    static QString numbered(const QString &name, int number);
};
