#pragma once

#include "FSPlatform/OperationError.h"

class FileItem;
class OperationProgress;

#include <QString>
#include <QUrl>

// The failures file operations detect themselves; everything else the system
// reports comes through as PlatformError, unchanged.
class FileOperationError : public OperationError
{
public:
    enum Code {
        invalidName,
        destinationExists,
        compressFailed,
        // A folder copied or moved into itself or into a folder inside it would
        // have to contain itself: refused before anything changes.
        copyIntoItself,
        moveIntoItself,
    };

    explicit FileOperationError(Code code) : m_code(code) {}
    Code code() const { return m_code; }
    QString localizedDescription() const override;
    static QString errorDescription(Code code);

private:
    Code m_code;
};

enum class DragOperationKind {
    copy,
    move,
};

// The one place that changes the file system for the user. Every operation runs
// on the calling thread, returns the URL of what it made and throws
// OperationError (FileOperationError or PlatformError) on failure.
//
// The operations that can take long accept an OperationProgress: they count
// into it and, once it is cancelled, stop with the cancellation error
// (OperationProgress::isCancellation) leaving nothing partial behind and the
// source untouched. Separate overloads, so the operations' addresses stay
// those of plain functions of their items.
namespace FileOperations {

QUrl createNewFolder(const QUrl &folder);
QUrl rename(const QUrl &item, const QString &newName);
// rename() from an edit of the item's shown name, which may lack a hidden
// extension (FileItem::fileNameForEditedName). What every view's rename calls.
QUrl renameFromDisplayName(const FileItem &item, const QString &editedName);
QUrl duplicate(const QUrl &item);
QUrl duplicate(const QUrl &item, OperationProgress *progress);
QUrl compress(const QUrl &item);
QUrl compress(const QUrl &item, OperationProgress *progress);
// Returns where the item went inside the Trash.
QUrl moveToTrash(const QUrl &item);
// Puts an item that moveToTrash put in the Trash back where it was (under a
// numbered name when that one is taken again) and returns its URL; for undo.
QUrl restoreFromTrash(const QUrl &trashedItem);
// Empties every trash folder of this user, the home one and those on other volumes.
void emptyTrash();
void emptyTrash(OperationProgress *progress);
QUrl copy(const QUrl &item, const QUrl &destinationFolder);
QUrl copy(const QUrl &item, const QUrl &destinationFolder, OperationProgress *progress);
// Across file systems the original is removed only once its copy is in place
// under its final name; a cancel that comes later than that is not heeded.
QUrl move(const QUrl &item, const QUrl &destinationFolder);
QUrl move(const QUrl &item, const QUrl &destinationFolder, OperationProgress *progress);

// Whether a drop copies or moves. On Linux the copy key ("option") is Ctrl and
// the move key ("command") is Shift; with neither, a drop within one volume
// moves and one onto another volume copies. Never throws.
DragOperationKind resolveDragOperation(const QUrl &source, const QUrl &destinationDirectory,
                                       bool optionHeld, bool commandHeld);

} // namespace FileOperations
