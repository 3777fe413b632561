#pragma once

#include "FileItem.h"

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

// Reads the named entries of `folder` again, in the order given: the items of
// those that exist and are not hidden. `errorNumber` gets the errno of opening
// the folder itself, 0 when it opened.
FileItemList entries(const QUrl &folder, const QStringList &names, int *errorNumber);

// The local path of entry `name` of `folder`, as the items of a listing carry it.
QString entryPath(const QUrl &folder, const QString &name);

} // namespace FileListing
