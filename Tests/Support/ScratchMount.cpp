#include "ScratchMount.h"

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

namespace tw::test {

ScratchMount::ScratchMount(const QByteArray &options)
{
    if (::geteuid() != 0) {
        m_whyNot = QStringLiteral("mounting a scratch file system needs root");
        return;
    }
    const QByteArray target = QFile::encodeName(m_folder.path());
    if (::mount("tidewright-test", target.constData(), "tmpfs", 0, options.constData()) != 0) {
        m_whyNot = QStringLiteral("mounting tmpfs was refused: ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_mounted = true;
}

ScratchMount::~ScratchMount()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder.path()).constData(), MNT_DETACH);
}

bool ScratchMount::makeReadOnly()
{
    const QByteArray target = QFile::encodeName(m_folder.path());
    return m_mounted && ::mount(nullptr, target.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

} // namespace tw::test
