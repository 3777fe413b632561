#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace tw::test {

// A small tmpfs of its own, for a second file system, a full disk or a
// read-only folder. Mounting needs root; where it is refused, isMounted() is
// false and whyNot() says why, for QSKIP.
class ScratchMount
{
public:
    explicit ScratchMount(const QByteArray &options = "size=16m,mode=0755");
    ~ScratchMount();
    ScratchMount(const ScratchMount &) = delete;
    ScratchMount &operator=(const ScratchMount &) = delete;

    bool isMounted() const { return m_mounted; }
    QString whyNot() const { return m_whyNot; }
    QString path() const { return m_folder.path(); }
    // Makes the file system read-only from now on (a remount).
    bool makeReadOnly();

private:
    QTemporaryDir m_folder;
    bool m_mounted = false;
    QString m_whyNot;
};

} // namespace tw::test
