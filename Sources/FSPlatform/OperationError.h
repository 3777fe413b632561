#pragma once

#include <QString>

#include <exception>

// Base of every error an operation throws, so a caller that reports failures can
// catch one type and show its message.
class OperationError : public std::exception
{
public:
    // The user-visible message.
    virtual QString localizedDescription() const = 0;
    const char *what() const noexcept override;

private:
    mutable QByteArray m_what;
};

// An error the operating system reported, passed on unchanged: its errno (or,
// for GIO, its error code) and the system's own message.
class PlatformError : public OperationError
{
public:
    // From errno, with the path the call was about (may be empty).
    static PlatformError fromErrno(int errorNumber, const QString &path = {});

    PlatformError(int code, const QString &message);

    int code() const { return m_code; }
    QString localizedDescription() const override { return m_message; }

private:
    int m_code;
    QString m_message;
};
