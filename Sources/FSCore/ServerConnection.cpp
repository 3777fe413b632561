#include "ServerConnection.h"

#include "FSPlatform/ShareMounter.h"

#include <QCoreApplication>

#include <algorithm>

namespace ServerConnection {

namespace {

constexpr std::chrono::seconds mountTimeout{30};

// GIO's catch-all code G_IO_ERROR_FAILED is 0, which as a status would read as
// success; it is reported as this instead.
constexpr int unspecifiedFailureStatus = -1;

bool hasControlCharacters(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

ConnectError::ConnectError(Code code, int status, const QString &systemMessage)
    : m_code(code)
    , m_status(status)
    , m_systemMessage(systemMessage)
{
}

QString ConnectError::localizedDescription() const
{
    switch (m_code) {
    case mountFailed:
        return QCoreApplication::translate("ServerConnection", "Couldn’t connect to the server (error %d).")
            .replace(QLatin1String("%d"), QString::number(m_status));
    case invalidAddress:
        return QCoreApplication::translate("ServerConnection", "That doesn’t look like a server address (e.g. smb://server/share).");
    }
    return {};
}

std::optional<QUrl> serverUrl(const QString &address)
{
    if (hasControlCharacters(address))
        return std::nullopt;
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
        return std::nullopt;
    // "%00" or "%0A" would reach the server as a real control character.
    // QUrl refuses to decode a whole URL (toString(FullyDecoded) gives ""), so
    // the escapes are undone here.
    if (hasControlCharacters(QString::fromUtf8(QByteArray::fromPercentEncoding(url.toEncoded()))))
        return std::nullopt;
    return url;
}

QList<QUrl> connect(const QString &address, const CredentialsProvider &credentials)
{
    const std::optional<QUrl> url = serverUrl(address);
    if (!url)
        throw ConnectError(ConnectError::invalidAddress);
    try {
        return ShareMounter::mount(url->toString(QUrl::FullyEncoded), mountTimeout, credentials);
    } catch (const PlatformError &error) {
        if (error.code() == ShareMounter::cancelledErrorCode)
            throw;
        const int status = error.code() != 0 ? error.code() : unspecifiedFailureStatus;
        throw ConnectError(ConnectError::mountFailed, status, error.localizedDescription());
    }
}

} // namespace ServerConnection
