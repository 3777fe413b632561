#pragma once

#include <QByteArray>
#include <QDateTime>

#include <optional>

// The dates an info window shows besides the modification date, which
// listings already read. Links are followed.
struct EntryDates
{
    std::optional<QDateTime> created;    // absent where the file system keeps no birth time
    std::optional<QDateTime> lastOpened; // the last access time

    // Nothing known when the entry cannot be read.
    static EntryDates read(const QByteArray &path);
};
