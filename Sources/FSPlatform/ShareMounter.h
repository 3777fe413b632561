#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>

// Mounts network shares through GIO, that is through the gvfs daemons of the
// user's session, as the desktop's own file manager does; no root needed.
namespace ShareMounter {

// Mounts the share at `uri` ("smb://server/share") and returns the local
// folders of its mount roots, where the gvfs FUSE bridge shows them; empty
// when gvfs shows none. A share that is mounted already counts as mounted.
//
// A password request is answered with anonymous access, then as user "guest"
// with an empty password, then declined; any question (an unknown host key,
// say) is declined, never accepted on the user's behalf.
//
// Runs on the calling thread and blocks it until the mount ends or `timeout`
// has passed; then it gives up with G_IO_ERROR_TIMED_OUT. Throws PlatformError
// with the GIO error code and message.
QList<QUrl> mount(const QString &uri, std::chrono::milliseconds timeout);

} // namespace ShareMounter
