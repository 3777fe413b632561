#pragma once

#include <QByteArray>
#include <QStringList>

// A file's tags, in the extended attribute "user.xdg.tags" (a comma-separated
// list) that other Linux file managers read and write too.
namespace FileTags {

struct ReadResult
{
    enum Status {
        present, // the attribute exists; `tags` holds it (possibly empty)
        absent,  // the file has no such attribute: no tags
        failed,  // the attribute could not be read; `errorNumber` says why
    };
    Status status = absent;
    QStringList tags;
    int errorNumber = 0;
};

// `path` is an encoded path (PathCodec); symbolic links are followed.
ReadResult read(const QByteArray &path);
// The same for entry `name` of the open folder `directoryFd`, whose full path is
// `path`: spares the kernel walking the whole path again where it can.
ReadResult read(int directoryFd, const char *name, const QByteArray &path);

// Writes the whole list; an empty list removes the attribute. Throws PlatformError.
void write(const QByteArray &path, const QStringList &tags);

QStringList parse(const QByteArray &value);
QByteArray serialize(const QStringList &tags);

} // namespace FileTags
