#pragma once

#include <QByteArray>
#include <QString>

// The order in which people expect file names: case-insensitive, runs of digits
// by their value ("File 9" before "File 10"), accents after the bare letter.
// QCollator drops numeric ordering in the C locale that CI and many services
// run in, so this talks to ICU directly. Safe to use from any thread.
namespace NaturalOrder {

// A key whose byte order (memcmp) is the natural order of the names.
QByteArray sortKey(const QString &text);

// <0, 0 or >0, like strcmp.
int compare(const QString &a, const QString &b);

// Whether `name` begins with `prefix` as someone typing its first letters
// means it: case and accents aside, digits by their value ("File 10" and
// "école" begin with "file 1" and "ECO").
bool startsWith(const QString &name, const QString &prefix);

// Compares two keys made by sortKey().
inline int compareKeys(const QByteArray &a, const QByteArray &b)
{
    return a.compare(b);
}

} // namespace NaturalOrder
