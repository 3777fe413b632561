#pragma once

#include <QByteArray>

#include <dirent.h>

#include <memory>

// An open folder, read entry by entry; closed when it goes out of scope.
class DirectoryStream
{
public:
    // `path` is encoded (PathCodec). isOpen() tells whether it worked; errorNumber() why not.
    explicit DirectoryStream(const QByteArray &path);
    // Opens `name` inside an open folder without resolving the path again.
    DirectoryStream(int parentFd, const char *name, bool followLinks);
    ~DirectoryStream();
    DirectoryStream(const DirectoryStream &) = delete;
    DirectoryStream &operator=(const DirectoryStream &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int errorNumber() const { return m_error; }
    int fd() const { return m_fd; }
    // Hands the open folder to the caller, who closes it; the stream reads no more.
    int takeFd();

    // The next entry other than "." and "..", or nullptr at the end.
    const dirent *next();

private:
    bool fill();

    int m_fd = -1;
    int m_error = 0;
    // The entries as the kernel hands them over, read a buffer at a time.
    std::unique_ptr<char[]> m_buffer;
    qsizetype m_length = 0;
    qsizetype m_position = 0;
    bool m_isAtEnd = false;
};
