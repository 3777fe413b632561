#pragma once

#include "FSPlatform/OperationError.h"
#include "FSPlatform/ShareMounter.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// Mounts a network share from an address the user typed ("smb://server/share").
namespace ServerConnection {

class ConnectError : public OperationError
{
public:
    enum Code {
        mountFailed,    // status(): the GIO error code of the failed mount
        invalidAddress,
    };

    explicit ConnectError(Code code, int status = 0, const QString &systemMessage = {});
    Code code() const { return m_code; }
    int status() const { return m_status; }
    // What the system said about a failed mount, for logs; never shown.
    QString systemMessage() const { return m_systemMessage; }
    QString localizedDescription() const override;

private:
    Code m_code;
    int m_status;
    QString m_systemMessage;
};

// The address as a URL fit to mount: it parses strictly, has a scheme and a
// host, and holds no control characters even once decoded. Nothing is trimmed
// or completed: "server/share" and "smb://" are not addresses.
std::optional<QUrl> serverUrl(const QString &address);

using ShareMounter::Credentials;
using ShareMounter::CredentialsProvider;
using ShareMounter::CredentialsRequest;

// Mounts the share and returns the local folders of its mount roots (empty
// when the share has none the file system can reach). Anonymous access comes
// first when the server offers it; a share that wants an account asks
// `credentials` (at most three times; see ShareMounter::mount). Throws
// ConnectError: invalidAddress before any network activity, mountFailed when
// the mount fails, every answer is refused, or the server does not answer
// within 30 seconds (time spent asking not counted). A cancel by the provider
// throws the platform's PlatformError G_IO_ERROR_CANCELLED unchanged, which is
// no failure to report. Blocks the calling thread until done, so callers run
// it off the main thread.
QList<QUrl> connect(const QString &address, const CredentialsProvider &credentials = {});

} // namespace ServerConnection
