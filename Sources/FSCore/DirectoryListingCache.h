#pragma once

#include "FileItem.h"
#include "FolderListingUpdate.h"

#include <QObject>
#include <QUrl>

#include <QStringList>

#include <functional>
#include <optional>

// The process-wide cache of folder listings, keyed by the folder's URL as a
// whole value. Folders that an open view retains stay stored and are watched:
// their changes are read again and broadcast as differences through
// FolderListingNotifier, so a view only retains its folder and listens. Other
// listings are kept, most recently used first, up to about 200,000 items in
// all, and are forgotten as soon as their folder changes. A listing that
// failed is never stored (callers still get an empty listing; failure() says
// why). A listing started before an invalidation of its folder is handed to the
// requests that waited for it but never stored, so it can never stand in for,
// or replace, the listing made after the invalidation. Requests for a folder
// that is being listed wait for that listing instead of listing it again.
namespace DirectoryListingCache {

using Completion = std::function<void(const FileItemList &items)>;
using ListingHook = std::function<void(const FileItemList &items)>;

// How much of each entry a listing handed out must carry.
enum class ListingDetail {
    // Every attribute: what file operations, Get Info and sorting need.
    attributes,
    // Names first, for views: a folder not stored yet is handed out as one
    // pass over it finds it (names in natural order, the folder-or-file kind
    // from readdir, the kind by name, hasStatus false), and its attributes
    // follow as listingUpdated changes, the entries asked for by readFirst()
    // before the others, the last change with hasAllAttributes. A stored
    // folder is handed out as stored, whether its attributes are all read or not.
    namesFirst,
};

// Synchronous: from the cache, or listed on the calling thread; every
// attribute read (a folder whose attributes are being read waits for them).
// Any thread.
FileItemList contents(const QUrl &folder);

// Asynchronous, from the main thread: on a hit `completion` runs before this
// returns; on a miss it runs later on the main thread, and not at all if
// `context` was destroyed meanwhile. Called exactly once otherwise. Listings
// run on WorkQueues::listings(); one that hangs on a mount that stopped
// answering holds up only the requests for its own folder.
void contents(const QUrl &folder, QObject *context, Completion completion,
              ListingDetail detail = ListingDetail::attributes);

// Asks that the attributes of `items` (entries of `folder`, such as the rows
// on screen) be read before those of the other entries; replaces the previous
// wish for the folder. Nothing happens when they are read already. Main thread.
void readFirst(const QUrl &folder, const FileItemList &items);

// The stored listing, without listing on a miss; its attributes may still be
// being read. Any thread.
std::optional<FileItemList> cachedContents(const QUrl &folder);

// Forgets the folder: the next request lists it again. Nothing is broadcast.
void invalidate(const QUrl &folder);
void invalidateAll();

// Why the last listing of `folder` failed; nothing when it did not, or was never listed.
std::optional<ListingFailure> failure(const QUrl &folder);
ListingFailure failureForErrno(int errorNumber);

// A folder shown by an open view stays stored however many others are listed,
// and is watched; every retain() is balanced by one release(). Main thread.
void retain(const QUrl &folder);
void release(const QUrl &folder);

// Reads the named entries of the stored listing again (the whole folder when
// `changedNames` is empty), stores the result and broadcasts the difference
// through FolderListingNotifier: entries that appeared, vanished, or whose
// attributes differ. Nothing is broadcast when nothing changed. A retained
// folder with no stored listing is listed and broadcast whole. Returns at
// once; refreshes of one folder run one after the other. Main thread.
void refresh(const QUrl &folder, const QStringList &changedNames = {});

// Called with every listing handed out, hit or miss, once per listing on the
// thread that gets it; a refresh announces the entries it read again.
void setOnNewListing(ListingHook hook);
ListingHook onNewListing();

} // namespace DirectoryListingCache
