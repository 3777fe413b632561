#pragma once

#include "FileItem.h"

#include "FSPlatform/DirectoryStream.h"

#include <QStringList>
#include <QUrl>

// The visible entries of one folder, each with its attributes read once, in
// natural name order. Entries whose names begin with a dot are left out.
namespace FileListing {

// Lists on the calling thread (spreading the attribute reads over the worker
// threads for large folders). A folder that cannot be read lists as empty.
FileItemList contents(const QUrl &folder);
// The same, telling why the folder could not be read: `errorNumber` gets the
// errno of opening or reading it, 0 when the listing is whole.
FileItemList contents(const QUrl &folder, int *errorNumber);

// Names first: one pass over the folder and no attribute read. The visible
// entries in natural name order, each with FileAttributes::named() (hasStatus
// false). `hasUnknownTypes` is set when readdir did not tell the type of some
// entries (some network file systems), so that links among them are looked for.
FileItemList names(const QUrl &folder, int *errorNumber, bool *hasUnknownTypes);

// Reads the status of entries that names() listed, in the folder opened once.
class StatusReader
{
public:
    StatusReader(const QUrl &folder, bool hasUnknownTypes);
    bool isOpen() const { return m_stream.isOpen(); }
    // `named` with its status read; an entry that vanished comes back with
    // exists false.
    FileItem read(const FileItem &named) const;

private:
    DirectoryStream m_stream;
    QByteArray m_prefix;
    qsizetype m_pathPrefixLength;
    bool m_hasUnknownTypes;
};

// Reads the named entries of `folder` again, in the order given: the items of
// those that exist and are not hidden. `errorNumber` gets the errno of opening
// the folder itself, 0 when it opened.
FileItemList entries(const QUrl &folder, const QStringList &names, int *errorNumber);

// The local path of entry `name` of `folder`, as the items of a listing carry it.
QString entryPath(const QUrl &folder, const QString &name);

} // namespace FileListing
