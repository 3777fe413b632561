#pragma once

// Lets tests and benchmarks see and reset what the icon cache did.
namespace IconCache::testing {

// How many paths had their icon worked out (a stat or an attribute snapshot
// looked at), and how many theme icons were made, since the last reset.
int pathFetchCount();
int themeIconLoadCount();

// Blocks until every background job of the cache started so far has finished.
void waitForBackgroundWork();

// Forgets every path (theme icons stay) and zeroes the counters.
void reset();

} // namespace IconCache::testing
