#pragma once

#include <QByteArray>
#include <QString>

// Names compared the way a user reads them: "Résumé", "RESUME" and "resume"
// are one word. A folded text is decomposed (NFD), case folded, and stripped of
// its combining marks, so that "é" and "e" meet, and so do "ß" and "ss".
// Matching is literal: no character of the text has a special meaning.
namespace NameFolding {

QString fold(const QString &text);

// A text to look for in many names, folded once.
class Needle
{
public:
    explicit Needle(const QString &text);

    bool isEmpty() const { return m_folded.isEmpty(); }
    const QString &folded() const { return m_folded; }

    // Whether the raw file name (bytes as the disk holds them, usually UTF-8)
    // contains the text. Thread-safe; an ASCII name costs no allocation.
    bool isFoundIn(const char *rawName, qsizetype length) const;
    bool isFoundIn(const QString &name) const;

private:
    QString m_folded;
    QByteArray m_utf8Folded;
    bool m_isAscii = false;
};

} // namespace NameFolding
