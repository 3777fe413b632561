#pragma once

#include "MountTable.h"

#include <QByteArray>
#include <QList>

#include <vector>

class OperationProgress;

// Where an item went when it was trashed.
struct TrashedItem
{
    QByteArray path;         // the item inside the trash (…/files/NAME)
    QByteArray infoPath;     // its …/info/NAME.trashinfo
    QByteArray originalPath; // where it came from
};

// The Trash of the freedesktop.org Trash specification: the home trash in
// $XDG_DATA_HOME/Trash for items on the home's file system, and a trash folder
// at the top of every other file system ($topdir/.Trash/$uid when an
// administrator made $topdir/.Trash, else $topdir/.Trash-$uid). Paths are
// encoded (PathCodec); failures throw PlatformError.
namespace Trash {

QByteArray homeTrashPath();

// Moves the entry itself (a link stays a link) into the trash of its file
// system. The info file is written first, under a name claimed exclusively,
// so a trashed item always has its original path recorded and nothing in the
// trash is ever replaced.
TrashedItem moveToTrash(const QByteArray &path);

// Puts a trashed item (a path …/files/NAME) back where it came from, under a
// numbered name ("Name 2") when the old one is taken, removes its info file
// and returns where it went.
QByteArray restore(const QByteArray &trashedPath);

// The trash folders of this user that exist: the home trash first, then those
// at the top of mounted local file systems. Network shares (cifs, smb3, nfs,
// nfs4, sshfs, davfs, gvfs's FUSE bridge) and what is mounted inside them are
// never looked at, so a share that stopped answering cannot block this.
std::vector<QByteArray> trashFolders();
std::vector<QByteArray> trashFolders(const QList<MountEntry> &mountTable);

// Removes every item of every trash folder with its info file. Stops at the
// first failure; what was removed stays removed. With `progress`, counts one
// item per trashed item removed and stops between items once cancelled
// (throwing the cancellation error).
void emptyAll(OperationProgress *progress = nullptr);
// How many trashed items emptyAll() would remove, for its progress.
qint64 itemCount();

} // namespace Trash
