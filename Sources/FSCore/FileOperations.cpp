#include "FileOperations.h"

#include "FSPlatform/EntryStatus.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>

#include <optional>

QString FileOperationError::localizedDescription() const
{
    return errorDescription(m_code);
}

QString FileOperationError::errorDescription(Code code)
{
    switch (code) {
    case invalidName: return QCoreApplication::translate("FileOperationError", "That name isn’t valid.");
    case destinationExists: return QCoreApplication::translate("FileOperationError", "An item with that name already exists.");
    case compressFailed: return QCoreApplication::translate("FileOperationError", "Couldn’t create the archive.");
    }
    return {};
}

namespace FileOperations {

namespace {

// The device of the nearest existing entry at or above `url`. A dragged link
// lives where the link is (`followLinks` false); a folder reached through a link
// is where its target is.
std::optional<quint64> volumeOf(const QUrl &url, bool followLinks)
{
    QString path = url.toLocalFile();
    while (!path.isEmpty()) {
        const QByteArray encoded = PathCodec::encode(path);
        const EntryStatus status = followLinks ? EntryStatus::read(encoded) : EntryStatus::readWithoutFollowing(encoded);
        if (status.exists)
            return status.device;
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            break;
        path.truncate(slash);
    }
    return std::nullopt;
}

} // namespace

DragOperationKind resolveDragOperation(const QUrl &source, const QUrl &destinationDirectory,
                                       bool optionHeld, bool commandHeld)
{
    if (optionHeld)
        return DragOperationKind::copy;
    if (commandHeld)
        return DragOperationKind::move;
    return volumeOf(source, false) == volumeOf(destinationDirectory, true) ? DragOperationKind::move : DragOperationKind::copy;
}

} // namespace FileOperations
