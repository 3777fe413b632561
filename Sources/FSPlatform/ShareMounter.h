#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

// Mounts network shares through GIO, that is through the gvfs daemons of the
// user's session, as the desktop's own file manager does; no root needed.
namespace ShareMounter {

// A share that wants an account, as the server asked for it.
struct CredentialsRequest
{
    QString server;
    QString share;
    QString message; // the server's question, in GIO's words
    QString defaultUser;
    QString defaultDomain;
    bool needsUser = false;
    bool needsDomain = false;
    bool needsPassword = false;
    // The session's keyring can keep the password.
    bool canRemember = false;
    int attempt = 1; // 1 to maxCredentialAttempts
};

struct Credentials
{
    QString user;
    QString domain;
    QString password;
    // Kept by the session's keyring (GIO's password-save flags), never by us.
    bool remember = false;
};

// Asked on the mounting thread, which waits for the answer; the mount's
// deadline stands still meanwhile. Nothing means the user cancelled.
using CredentialsProvider = std::function<std::optional<Credentials>(const CredentialsRequest &request)>;

inline constexpr int maxCredentialAttempts = 3;

// GIO's G_IO_ERROR_CANCELLED, for callers that do not see GIO's headers.
inline constexpr int cancelledErrorCode = 19;

// Mounts the share at `uri` ("smb://server/share") and returns the local
// folders of its mount roots, where the gvfs FUSE bridge shows them; empty
// when gvfs shows none. A share that is mounted already counts as mounted.
//
// A password request is answered with anonymous access first when the server
// offers it. Then `credentials` is asked, at most maxCredentialAttempts times:
// a cancel fails with G_IO_ERROR_CANCELLED at once, and a server that refuses
// every answer fails with G_IO_ERROR_PERMISSION_DENIED. Without a provider the
// second answer is user "guest" with an empty password, and the third a
// refusal. Any question (an unknown host key, say) is declined, never accepted
// on the user's behalf.
//
// Runs on the calling thread and blocks it until the mount ends or `timeout`
// has passed (time spent in `credentials` not counted); then it gives up with
// G_IO_ERROR_TIMED_OUT. Throws PlatformError with the GIO error code and message.
QList<QUrl> mount(const QString &uri, std::chrono::milliseconds timeout,
                  const CredentialsProvider &credentials = {});

} // namespace ShareMounter
