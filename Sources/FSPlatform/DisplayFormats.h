#pragma once

#include <QDateTime>
#include <QString>

// The texts of sizes and dates that windows show, one style throughout.
namespace DisplayFormats {

// Decimal units in the file-size style: "999 bytes", "12 KB", "1.5 MB", "2.25 GB".
QString byteCount(qint64 bytes);

// The user's locale's medium date and short time ("Dec 8, 2026, 3:04 PM").
// Main thread (one formatter per thread, made on first use).
QString dateTime(const QDateTime &dateTime);

} // namespace DisplayFormats
