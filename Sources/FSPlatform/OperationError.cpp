#include "OperationError.h"

#include "PathCodec.h"

#include <cstring>

const char *OperationError::what() const noexcept
{
    if (m_what.isEmpty())
        m_what = localizedDescription().toUtf8();
    return m_what.constData();
}

PlatformError PlatformError::fromErrno(int errorNumber, const QString &path)
{
    QString message = QString::fromLocal8Bit(std::strerror(errorNumber));
    if (!path.isEmpty())
        message = QStringLiteral("%1: “%2”").arg(message, PathCodec::displayForm(path));
    return PlatformError(errorNumber, message);
}

PlatformError::PlatformError(int code, const QString &message)
    : m_code(code)
    , m_message(message)
{
}
