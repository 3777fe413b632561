#include "FileListing.h"

#include "FileSorting.h"
#include "ParallelWork.h"
#include "WorkQueues.h"

#include "FSPlatform/DirectoryStream.h"
#include "FSPlatform/PathCodec.h"

#include <QThread>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

namespace FileListing {

namespace {

// One entry as readdir gave it; its name (NUL-terminated) lies in the
// folder's one buffer of names, so that a large folder costs no allocation
// per entry before its items are made.
struct RawEntry
{
    quint32 nameOffset;
    quint16 nameLength; // names are at most 255 bytes
    unsigned char type;
};

struct RawEntries
{
    std::vector<RawEntry> entries;
    std::vector<char> names;

    const char *name(const RawEntry &entry) const { return names.data() + entry.nameOffset; }
};

// Reading attributes is one statx and one getxattr per entry; past a few
// thousand entries it pays to spread them over the pool's threads.
constexpr size_t entriesPerChunk = 2048;

QString pathPrefix(const QUrl &folder)
{
    QString folderPrefix = folder.toLocalFile();
    if (!folderPrefix.endsWith(QLatin1Char('/')))
        folderPrefix += QLatin1Char('/');
    return folderPrefix;
}

// The path of entry `name`, allocated at its exact size: a listing keeps one per entry.
QString joined(const QString &folderPrefix, const QString &name)
{
    QString path;
    path.reserve(folderPrefix.size() + name.size());
    path.append(folderPrefix).append(name);
    return path;
}

// The entry's name as a string that shares the memory of its path, of which it
// is the end (so it ends in the path's terminating zero too): a listing keeps
// no second copy of each name. Copies and changes behave as with any string.
QString nameSharingPath(const QString &path, qsizetype folderPrefixLength)
{
    QString::DataPointer name = path.data_ptr(); // one more reference to the path's memory
    if (!name.isMutable()) // memory the string does not own
        return path.mid(folderPrefixLength);
    name.ptr += folderPrefixLength;
    name.size -= folderPrefixLength;
    return QString(std::move(name));
}

// The item of entry `decodedName` of the folder at `folderPrefix`, with the
// attributes `makeAttributes` makes of its name.
template<typename MakeAttributes>
FileItem entryItem(const QString &folderPrefix, const QString &decodedName, const MakeAttributes &makeAttributes)
{
    QString path = joined(folderPrefix, decodedName);
    // A name shown otherwise than it is on disk is a string of its own anyway.
    const QString name = PathCodec::hasEscapedBytes(decodedName) ? decodedName
                                                                  : nameSharingPath(path, folderPrefix.size());
    FileAttributes attributes = makeAttributes(name);
    return FileItem(std::move(path), std::move(attributes));
}

} // namespace

QString entryPath(const QUrl &folder, const QString &name)
{
    return joined(pathPrefix(folder), name);
}

FileItemList contents(const QUrl &folder)
{
    int errorNumber = 0;
    return contents(folder, &errorNumber);
}

FileItemList entries(const QUrl &folder, const QStringList &names, int *errorNumber)
{
    const QByteArray folderPath = PathCodec::encodePath(folder);
    DirectoryStream stream(folderPath);
    *errorNumber = stream.isOpen() ? 0 : stream.errorNumber();
    if (!stream.isOpen())
        return {};
    const QByteArray prefix = folderPath.endsWith('/') ? folderPath : folderPath + '/';
    const QString folderPrefix = pathPrefix(folder);
    FileItemList found;
    for (const QString &name : names) {
        if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.contains(QLatin1Char('/')))
            continue;
        const QByteArray rawName = PathCodec::encode(name);
        FileAttributes attributes =
            FileAttributes::read(stream.fd(), rawName.constData(), DT_UNKNOWN, name, prefix + rawName);
        if (attributes.exists)
            found.append(FileItem(joined(folderPrefix, name), std::move(attributes)));
    }
    return found;
}

namespace {

// Reads the folder's visible entries, or nothing when it cannot be read
// (`errorNumber` says why).
RawEntries readEntries(DirectoryStream &stream, int *errorNumber)
{
    RawEntries read;
    *errorNumber = stream.errorNumber();
    if (!stream.isOpen())
        return read;
    // A folder's own size is about what its names take: room for them at once
    // spares growing (and copying) the buffers; room never used is never touched.
    struct stat folder;
    if (::fstat(stream.fd(), &folder) == 0 && folder.st_size > 0) {
        const size_t bytes = std::min<size_t>(size_t(folder.st_size), size_t(64) << 20);
        read.names.reserve(bytes);
        read.entries.reserve(bytes / 16);
    }
    while (const dirent *entry = stream.next()) {
        if (entry->d_name[0] == '.')
            continue;
        const size_t length = std::strlen(entry->d_name);
        if (read.names.size() + length + 1 > std::numeric_limits<quint32>::max()) {
            *errorNumber = EOVERFLOW;
            return RawEntries();
        }
        read.entries.push_back({quint32(read.names.size()), quint16(length), entry->d_type});
        read.names.insert(read.names.end(), entry->d_name, entry->d_name + length + 1);
    }
    // A folder that stopped answering halfway is not a smaller folder.
    *errorNumber = stream.errorNumber();
    if (*errorNumber != 0)
        read = RawEntries();
    return read;
}

// Makes item i for every entry i, spread over the listing threads for large
// folders. `makeItem` gets a buffer of its own thread to build paths in.
template<typename MakeItem>
FileItemList makeItems(const RawEntries &read, const MakeItem &makeItem)
{
    const std::vector<RawEntry> &entries = read.entries;
    FileItemList listed(qsizetype(entries.size()));
    FileItem *items = listed.data();
    std::atomic<size_t> nextChunk{0};
    const size_t chunkCount = (entries.size() + entriesPerChunk - 1) / entriesPerChunk;
    ParallelWork::run(WorkQueues::listings(), chunkCount > 1 ? QThread::idealThreadCount() - 1 : 0, [&] {
        QByteArray scratch;
        for (size_t chunk = nextChunk++; chunk < chunkCount; chunk = nextChunk++) {
            const size_t end = std::min(entries.size(), (chunk + 1) * entriesPerChunk);
            for (size_t i = chunk * entriesPerChunk; i < end; ++i)
                items[i] = makeItem(entries[i], scratch);
        }
    });
    // Stable, so names that compare equal keep the order the folder gave them.
    return FileSorting::sorted(listed, FileSortField::name, {});
}

QByteArray encodedPrefix(const QByteArray &folderPath)
{
    return folderPath.endsWith('/') ? folderPath : folderPath + '/';
}

} // namespace

FileItemList contents(const QUrl &folder, int *errorNumber)
{
    const QByteArray folderPath = PathCodec::encodePath(folder);
    DirectoryStream stream(folderPath);
    const RawEntries read = readEntries(stream, errorNumber);
    if (read.entries.empty())
        return {};
    const QByteArray prefix = encodedPrefix(folderPath);
    const int directoryFd = stream.fd();
    const QString folderPrefix = pathPrefix(folder);
    return makeItems(read, [&](const RawEntry &entry, QByteArray &fullPath) {
        const char *rawName = read.name(entry);
        const QString name = PathCodec::decode(rawName, entry.nameLength);
        fullPath.truncate(0);
        fullPath.append(prefix).append(rawName, entry.nameLength);
        return entryItem(folderPrefix, name, [&](const QString &entryName) {
            return FileAttributes::read(directoryFd, rawName, entry.type, entryName, fullPath);
        });
    });
}

FileItemList names(const QUrl &folder, int *errorNumber, bool *hasUnknownTypes)
{
    DirectoryStream stream(PathCodec::encodePath(folder));
    const RawEntries read = readEntries(stream, errorNumber);
    *hasUnknownTypes = std::any_of(read.entries.cbegin(), read.entries.cend(),
                                   [](const RawEntry &entry) { return entry.type == DT_UNKNOWN; });
    if (read.entries.empty())
        return {};
    const QString folderPrefix = pathPrefix(folder);
    return makeItems(read, [&](const RawEntry &entry, QByteArray &) {
        const QString name = PathCodec::decode(read.name(entry), entry.nameLength);
        return entryItem(folderPrefix, name,
                         [&](const QString &entryName) { return FileAttributes::named(entryName, entry.type); });
    });
}

StatusReader::StatusReader(const QUrl &folder, bool hasUnknownTypes)
    : m_stream(PathCodec::encodePath(folder))
    , m_prefix(encodedPrefix(PathCodec::encodePath(folder)))
    , m_pathPrefixLength(pathPrefix(folder).size())
    , m_hasUnknownTypes(hasUnknownTypes)
{
}

FileItem StatusReader::read(const FileItem &named) const
{
    const FileAttributes *known = named.attributeSnapshot();
    if (!known)
        return named;
    const QString path = named.path();
    // Built in a buffer of the thread's own: a large folder reads thousands of entries in a row.
    thread_local QByteArray fullPath;
    fullPath.truncate(0);
    fullPath.append(m_prefix);
    fullPath.append(PathCodec::encode(path.mid(m_pathPrefixLength)));
    const char *rawName = fullPath.constData() + m_prefix.size();
    // readdir's type spares a second stat of every entry that is no link.
    unsigned char typeHint = known->isDirectory ? DT_DIR : (known->isSymbolicLink ? DT_LNK : DT_REG);
    if (m_hasUnknownTypes && !known->isDirectory)
        typeHint = DT_UNKNOWN;
    return FileItem(path, FileAttributes::readStatus(m_stream.fd(), rawName, typeHint, *known, fullPath));
}

} // namespace FileListing
