#include "FileListing.h"

#include "FileSorting.h"
#include "ParallelWork.h"
#include "WorkQueues.h"

#include "FSPlatform/DirectoryStream.h"
#include "FSPlatform/PathCodec.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace FileListing {

namespace {

struct RawEntry
{
    std::string name;
    unsigned char type;
};

// Reading attributes is one statx and one getxattr per entry; past a few
// thousand entries it pays to spread them over the pool's threads.
constexpr size_t entriesPerChunk = 2048;

struct Chunk
{
    size_t begin;
    size_t end;
};

QString pathPrefix(const QUrl &folder)
{
    QString folderPrefix = folder.toLocalFile();
    if (!folderPrefix.endsWith(QLatin1Char('/')))
        folderPrefix += QLatin1Char('/');
    return folderPrefix;
}

} // namespace

QString entryPath(const QUrl &folder, const QString &name)
{
    return pathPrefix(folder) + name;
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
            found.append(FileItem(folderPrefix + name, std::move(attributes)));
    }
    return found;
}

FileItemList contents(const QUrl &folder, int *errorNumber)
{
    const QByteArray folderPath = PathCodec::encodePath(folder);
    DirectoryStream stream(folderPath);
    *errorNumber = stream.errorNumber();
    if (!stream.isOpen())
        return {};

    std::vector<RawEntry> entries;
    while (const dirent *entry = stream.next()) {
        if (entry->d_name[0] == '.')
            continue;
        entries.push_back({std::string(entry->d_name), entry->d_type});
    }
    // A folder that stopped answering halfway is not a smaller folder.
    *errorNumber = stream.errorNumber();
    if (*errorNumber != 0)
        return {};

    const QByteArray prefix = folderPath.endsWith('/') ? folderPath : folderPath + '/';
    const int directoryFd = stream.fd();
    const QString folderPrefix = pathPrefix(folder);
    FileItemList listed(qsizetype(entries.size()));
    FileItem *items = listed.data();
    auto readChunk = [&](const Chunk &chunk) {
        QByteArray fullPath = prefix;
        for (size_t i = chunk.begin; i < chunk.end; ++i) {
            const RawEntry &entry = entries[i];
            const QString name = PathCodec::decode(entry.name.data(), qsizetype(entry.name.size()));
            fullPath.truncate(prefix.size());
            fullPath.append(entry.name.data(), qsizetype(entry.name.size()));
            items[i] = FileItem(folderPrefix + name,
                                FileAttributes::read(directoryFd, entry.name.c_str(), entry.type, name, fullPath));
        }
    };
    std::atomic<size_t> nextChunk{0};
    const size_t chunkCount = (entries.size() + entriesPerChunk - 1) / entriesPerChunk;
    ParallelWork::run(WorkQueues::listings(), chunkCount > 1 ? QThread::idealThreadCount() - 1 : 0, [&] {
        for (size_t chunk = nextChunk++; chunk < chunkCount; chunk = nextChunk++)
            readChunk({chunk * entriesPerChunk, std::min(entries.size(), (chunk + 1) * entriesPerChunk)});
    });

    // Stable, so names that compare equal keep the order the folder gave them.
    return FileSorting::sorted(listed, FileSortField::name, {});
}

} // namespace FileListing
