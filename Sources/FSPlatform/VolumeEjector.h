#pragma once

#include "OperationError.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// The eject failures told apart here; anything else GIO reports is passed on
// as its own message.
class EjectError : public OperationError
{
public:
    enum Code {
        // Some program still has files open on the volume.
        volumeInUse,
        // Nothing the desktop mounted: a system mount that only root may undo.
        notEjectable,
    };

    EjectError(Code code, const QString &volumeName) : m_code(code), m_volumeName(volumeName) {}
    Code code() const { return m_code; }
    QString localizedDescription() const override;

private:
    Code m_code;
    QString m_volumeName;
};

// Unmounting and ejecting volumes through GIO, the way the desktop mounted
// them (udisks for disks, the gvfs daemons for shares), so no root is needed.
namespace VolumeEjector {

// Volumes a user takes away: network shares, media mounted under /media and
// /run/media, the mounts gvfs shows and those below the home folder. Decided
// from the path alone.
bool canEject(const QUrl &root, bool isNetwork);

// No message: the volume went away.
using Completion = std::function<void(const std::optional<QString> &failureMessage)>;

// Unmounts the volume at `root`, and ejects its drive where the drive can be
// ejected. Never waits: the request runs on the main thread's GLib context and
// `completion` runs once, later, on the main thread, unless `context` is gone
// by then. Questions of the mount operation (which programs hold the volume,
// a password) are declined, never answered on the user's behalf. Main thread.
void eject(const QUrl &root, const QString &volumeName, QObject *context, Completion completion);

// What to tell the user when GIO failed with `gioCode` and `gioMessage`:
// a volume in use (G_IO_ERROR_BUSY, or the operation was shown the programs
// holding it) says so; a declined question or a failure without a message
// says the volume can't be ejected; any other passes GIO's message on.
[[nodiscard]] std::optional<QString> failureMessage(int gioCode, const QString &gioMessage, bool wasShownBlockingProcesses,
                                      const QString &volumeName);

} // namespace VolumeEjector
