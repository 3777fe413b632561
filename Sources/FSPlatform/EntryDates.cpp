#include "EntryDates.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QDateTime fromTimestamp(const struct statx_timestamp &stamp)
{
    return QDateTime::fromMSecsSinceEpoch(stamp.tv_sec * 1000 + stamp.tv_nsec / 1000000);
}

} // namespace

EntryDates EntryDates::read(const QByteArray &path)
{
    EntryDates dates;
    struct statx status;
    if (::statx(AT_FDCWD, path.constData(), AT_STATX_SYNC_AS_STAT, STATX_BTIME | STATX_ATIME, &status) != 0)
        return dates;
    if (status.stx_mask & STATX_BTIME)
        dates.created = fromTimestamp(status.stx_btime);
    if (status.stx_mask & STATX_ATIME)
        dates.lastOpened = fromTimestamp(status.stx_atime);
    return dates;
}
