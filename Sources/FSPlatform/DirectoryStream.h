#pragma once

#include <QByteArray>

#include <dirent.h>

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

    bool isOpen() const { return m_dir != nullptr; }
    int errorNumber() const { return m_error; }
    int fd() const;

    // The next entry other than "." and "..", or nullptr at the end.
    const dirent *next();

private:
    DIR *m_dir = nullptr;
    int m_error = 0;
};
