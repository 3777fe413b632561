#pragma once

#include "FileItem.h"
#include "FolderListingUpdate.h"

#include <QObject>
#include <QUrl>

#include <QStringList>

#include <functional>
#include <optional>

// The process-wide cache of folder listings, keyed by the folder's URL as a
// whole value. A listing lives until it is invalidated. A listing that was
// started before an invalidation of its folder is handed to the requests that
// waited for it but never stored, so it can never stand in for, or replace, the
// listing made after the invalidation. Requests for a folder that is being
// listed wait for that listing instead of listing it again.
namespace DirectoryListingCache {

using Completion = std::function<void(const FileItemList &items)>;
using ListingHook = std::function<void(const FileItemList &items)>;

// Synchronous: from the cache, or listed on the calling thread. Any thread.
FileItemList contents(const QUrl &folder);

// Asynchronous, from the main thread: on a hit `completion` runs before this
// returns; on a miss it runs later on the main thread, and not at all if
// `context` was destroyed meanwhile. Called exactly once otherwise.
void contents(const QUrl &folder, QObject *context, Completion completion);

void invalidate(const QUrl &folder);
void invalidateAll();

// Why the last listing of `folder` failed; nothing when it did not, or was never listed.
std::optional<ListingFailure> failure(const QUrl &folder);

// A folder shown by an open view stays stored however many others are listed;
// every retain() is balanced by one release(). Main thread.
void retain(const QUrl &folder);
void release(const QUrl &folder);

// Reads the named entries of a stored listing again (the whole folder when
// `changedNames` is empty) and broadcasts the difference through
// FolderListingNotifier. Returns at once; main thread.
void refresh(const QUrl &folder, const QStringList &changedNames = {});

// Called with every listing handed out, hit or miss, on the thread that gets it.
void setOnNewListing(ListingHook hook);
ListingHook onNewListing();

} // namespace DirectoryListingCache
