#pragma once

#include "FileItem.h"

#include <QUrl>

// The visible entries of one folder, each with its attributes read once, in
// natural name order. Entries whose names begin with a dot are left out.
namespace FileListing {

// Lists on the calling thread (spreading the attribute reads over the worker
// threads for large folders). A folder that cannot be read lists as empty.
FileItemList contents(const QUrl &folder);

} // namespace FileListing
