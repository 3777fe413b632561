#include "MountTable.h"

#include "PathCodec.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace MountTable {

namespace {

// The kernel writes space, tab, newline and backslash in paths as "\ooo".
QByteArray unescapeField(const QByteArray &field)
{
    if (!field.contains('\\'))
        return field;
    QByteArray result;
    result.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = digits.size() == 3;
            for (char d : digits)
                ok = ok && d >= '0' && d <= '7';
            if (ok) {
                result += char(digits.toInt(nullptr, 8));
                i += 3;
                continue;
            }
        }
        result += c;
    }
    return result;
}

std::optional<MountEntry> parseLine(const QByteArray &line)
{
    // "36 35 98:0 /root /mount/point options [optional fields...] - type source super-options"
    const QList<QByteArray> fields = line.split(' ');
    constexpr qsizetype mountPointField = 4;
    constexpr qsizetype firstOptionalField = 6;
    if (fields.size() < firstOptionalField + 3)
        return std::nullopt;
    qsizetype separator = -1;
    for (qsizetype i = firstOptionalField; i < fields.size(); ++i) {
        if (fields[i] == "-") {
            separator = i;
            break;
        }
    }
    if (separator < 0 || separator + 2 >= fields.size())
        return std::nullopt;
    const QByteArray mountPoint = unescapeField(fields[mountPointField]);
    if (!mountPoint.startsWith('/'))
        return std::nullopt;
    MountEntry entry;
    entry.mountPoint = PathCodec::decode(mountPoint);
    entry.fileSystemType = QString::fromUtf8(unescapeField(fields[separator + 1]));
    entry.source = PathCodec::decode(unescapeField(fields[separator + 2]));
    return entry;
}

QByteArray readWholeFile(const char *path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray contents;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        contents.append(buffer, n);
    }
    ::close(fd);
    return contents;
}

} // namespace

QList<MountEntry> parse(const QByteArray &mountInfo)
{
    QList<MountEntry> entries;
    for (const QByteArray &line : mountInfo.split('\n')) {
        if (auto entry = parseLine(line))
            entries.append(*entry);
    }
    return entries;
}

QList<MountEntry> read()
{
    return parse(readWholeFile(mountInfoPath));
}

bool isAtOrBelow(const QString &path, const QString &folder)
{
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == folder
        || (path.startsWith(folder) && path.at(folder.size()) == QLatin1Char('/'));
}

std::optional<MountEntry> entryHolding(const QList<MountEntry> &table, const QString &path)
{
    const MountEntry *best = nullptr;
    for (const MountEntry &entry : table) {
        if (!isAtOrBelow(path, entry.mountPoint))
            continue;
        // ">=": of two mounts at one point, the later one is on top.
        if (!best || entry.mountPoint.size() >= best->mountPoint.size())
            best = &entry;
    }
    if (!best)
        return std::nullopt;
    return *best;
}

std::optional<QString> hostFromSource(const QString &source)
{
    if (!source.startsWith(QLatin1String("//")))
        return std::nullopt;
    const QStringList pieces = source.mid(2).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return std::nullopt;
    const QStringList names = pieces.first().split(QLatin1Char('@'), Qt::SkipEmptyParts);
    if (names.isEmpty() || names.last().isEmpty())
        return std::nullopt;
    return names.last();
}

} // namespace MountTable
