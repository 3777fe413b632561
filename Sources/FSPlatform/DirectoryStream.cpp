#include "DirectoryStream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace {

constexpr size_t bufferSize = 32 * 1024;

// The buffer of the last folder read on this thread, for the next one: a walk
// over many folders allocates none per folder.
thread_local std::unique_ptr<char[]> spareBuffer;

} // namespace

DirectoryStream::DirectoryStream(const QByteArray &path)
    : DirectoryStream(AT_FDCWD, path.constData(), true)
{
}

DirectoryStream::DirectoryStream(int parentFd, const char *name, bool followLinks)
{
    // Read with getdents64 on the descriptor itself: opendir's checks and
    // its buffer cost three system calls and an allocation per folder.
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (!followLinks)
        flags |= O_NOFOLLOW;
    m_fd = ::openat(parentFd, name, flags);
    if (m_fd < 0)
        m_error = errno;
}

DirectoryStream::~DirectoryStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_buffer && !spareBuffer)
        spareBuffer = std::move(m_buffer);
}

int DirectoryStream::takeFd()
{
    m_isAtEnd = true;
    return std::exchange(m_fd, -1);
}

bool DirectoryStream::fill()
{
    if (m_isAtEnd || m_fd < 0)
        return false;
    if (!m_buffer)
        m_buffer = spareBuffer ? std::move(spareBuffer) : std::make_unique<char[]>(bufferSize);
    const ssize_t length = ::getdents64(m_fd, m_buffer.get(), bufferSize);
    if (length <= 0) {
        m_error = length < 0 ? errno : 0;
        m_isAtEnd = true;
        return false;
    }
    m_length = length;
    m_position = 0;
    return true;
}

const dirent *DirectoryStream::next()
{
    for (;;) {
        if (m_position >= m_length && !fill())
            return nullptr;
        // The kernel's records have the layout of dirent, as readdir hands them out.
        const auto *entry = reinterpret_cast<const dirent *>(m_buffer.get() + m_position);
        m_position += entry->d_reclen;
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        return entry;
    }
}
