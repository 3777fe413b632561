#pragma once

#include "FSPlatform/OperationError.h"

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
namespace FileOperations {

QUrl createNewFolder(const QUrl &folder);
QUrl rename(const QUrl &item, const QString &newName);
QUrl duplicate(const QUrl &item);
QUrl compress(const QUrl &item);
QUrl moveToTrash(const QUrl &item);
void emptyTrash();
QUrl copy(const QUrl &item, const QUrl &destinationFolder);
QUrl move(const QUrl &item, const QUrl &destinationFolder);

// Whether a drop copies or moves. On Linux the copy key ("option") is Ctrl and
// the move key ("command") is Shift; with neither, a drop within one volume
// moves and one onto another volume copies. Never throws.
DragOperationKind resolveDragOperation(const QUrl &source, const QUrl &destinationDirectory,
                                       bool optionHeld, bool commandHeld);

} // namespace FileOperations
