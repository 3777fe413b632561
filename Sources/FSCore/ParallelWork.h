#pragma once

#include <functional>

class QThreadPool;

// Runs `work` on the calling thread and, at the same time, on up to `helpers`
// threads of `pool` (Qt's global pool when not given) that are free right now;
// returns when every run has returned. `work` takes its pieces from a shared
// source until it is dry. Never waits for a pool thread to become free, so work
// that is itself running on the pool cannot deadlock, however many such jobs
// run at once.
namespace ParallelWork {

void run(int helpers, const std::function<void()> &work);
void run(QThreadPool *pool, int helpers, const std::function<void()> &work);

} // namespace ParallelWork
