#pragma once

#include <QString>

// Content types (shared-mime-info) of files, matched by name only: a listing of
// 100,000 files cannot afford to open each one. Results are cached by the
// name's extension, so a folder of photos costs one database lookup. Safe to
// use from any thread.
namespace ContentTypes {

struct ContentType
{
    QString name;        // "image/jpeg", "inode/directory"
    QString description; // "JPEG image", shown as the item's kind
    QString iconName;    // theme icon name, e.g. "image-jpeg"
    QString genericIconName; // e.g. "image-x-generic"
};

// The entries live as long as the process, so callers may keep references.
const ContentType &forFileName(const QString &fileName);
const ContentType &forDirectory();

} // namespace ContentTypes
