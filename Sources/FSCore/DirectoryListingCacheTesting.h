#pragma once

#include "FileItem.h"

#include <QtGlobal>

#include <functional>

namespace DirectoryListingCache::testing {

// Lets a test bound the cache with a few small folders instead of 200,000 items.
void setItemBudget(qsizetype items);

// Lets a test see and hold the pieces of a names-first reading: `onPieceRead`
// is called on the reading thread with each piece whose attributes were just
// read, and its place in the order the pieces were taken (0 for the first),
// before it goes on to the main thread; it waits there while held.
void setOnPieceRead(std::function<void(int order, const FileItemList &piece)> onPieceRead);
void holdReadPieces(bool hold);

} // namespace DirectoryListingCache::testing
