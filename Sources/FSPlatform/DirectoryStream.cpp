#include "DirectoryStream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

DirectoryStream::DirectoryStream(const QByteArray &path)
    : DirectoryStream(AT_FDCWD, path.constData(), true)
{
}

DirectoryStream::DirectoryStream(int parentFd, const char *name, bool followLinks)
{
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (!followLinks)
        flags |= O_NOFOLLOW;
    const int fd = ::openat(parentFd, name, flags);
    if (fd < 0) {
        m_error = errno;
        return;
    }
    m_dir = ::fdopendir(fd);
    if (!m_dir) {
        m_error = errno;
        ::close(fd);
    }
}

DirectoryStream::~DirectoryStream()
{
    if (m_dir)
        ::closedir(m_dir);
}

int DirectoryStream::fd() const
{
    return m_dir ? ::dirfd(m_dir) : -1;
}

const dirent *DirectoryStream::next()
{
    if (!m_dir)
        return nullptr;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(m_dir);
        if (!entry) {
            m_error = errno;
            return nullptr;
        }
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        return entry;
    }
}
