#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace tw::test {

// Writes a file holding `contents` at `path`, creating missing parent folders.
bool writeFile(const QString &path, const QByteArray &contents = {});

// Writes a file at a path given as bytes, for names that are not UTF-8 (QFile
// cannot address those). The parent folder must exist.
bool writeRawFile(const QByteArray &path, const QByteArray &contents = {});

// What `path` holds, or "<unreadable>", which no test writes.
QByteArray contentsOf(const QString &path);

// The entry's own status, not its link target's; all zero where it is missing.
struct stat statusOf(const QString &path);
mode_t modeOf(const QString &path);

// Sets the access and modification times of a file or folder.
bool setModificationTime(const QString &path, qint64 secondsSinceEpoch);

// The names in `folder`, hidden ones too (a leftover temporary file must show
// up), sorted.
QStringList entriesOf(const QString &folder);

// Removes a folder with everything in it, names that are not UTF-8 included
// (QDir cannot address those).
void removeTree(const QString &path);

// A QTemporaryDir that also goes away when it holds names that are not UTF-8.
class TemporaryFolder : public QTemporaryDir
{
public:
    using QTemporaryDir::QTemporaryDir;
    ~TemporaryFolder() { removeTree(path()); }
};

} // namespace tw::test
