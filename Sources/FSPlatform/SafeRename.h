#pragma once

#include <QByteArray>

#include <fcntl.h>

// rename(2) silently replaces whatever has the target name. These calls never
// do: a taken name gives EEXIST and changes nothing.
namespace SafeRename {

// 0 on success, otherwise the errno (EEXIST: the name is taken; EXDEV: the two
// lie on different file systems). Paths are encoded (PathCodec), relative to
// the folder descriptors (or AT_FDCWD).
int renameNoReplace(int fromFolderFd, const char *from, int toFolderFd, const char *to);
int renameNoReplace(const QByteArray &from, const QByteArray &to);

// What renameNoReplace falls back on where the file system refuses
// RENAME_NOREPLACE: the target name is claimed first (a hard link for a file,
// an empty folder or file as placeholder otherwise), so nobody else's entry can
// be replaced. Callable directly so it can be exercised on any file system.
int renameByClaimingTarget(int fromFolderFd, const char *from, int toFolderFd, const char *to);

} // namespace SafeRename
