#pragma once

#include <QtGlobal>

// Lets a test bound the cache with a few small folders instead of 200,000 items.
namespace DirectoryListingCache::testing {

void setItemBudget(qsizetype items);

} // namespace DirectoryListingCache::testing
