#pragma once

#include <QtGlobal>

#include <atomic>

class TreeLookahead;

// What a long operation has done so far and whether it should stop, shared
// between the thread doing the work and the one showing it. The worker only
// adds to relaxed counters, so reporting costs next to nothing; whoever shows
// the figures reads them on a timer of its own.
class OperationProgress
{
public:
    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

    void addItems(qint64 count) { m_itemsDone.fetch_add(count, std::memory_order_relaxed); }
    void addBytes(qint64 count) { m_bytesDone.fetch_add(count, std::memory_order_relaxed); }
    // Moves the counters up to at least these figures: what an item that was
    // renamed, failed or was counted differently than it was walked should
    // have added once it is over.
    void advanceTo(qint64 items, qint64 bytes);

    qint64 itemsDone() const { return m_itemsDone.load(std::memory_order_relaxed); }
    qint64 bytesDone() const { return m_bytesDone.load(std::memory_order_relaxed); }

    // The listings a walk made ahead of the operation, for a copier to take
    // rather than read the folders again. Not owned; set before the work starts.
    void setLookahead(TreeLookahead *lookahead) { m_lookahead = lookahead; }
    TreeLookahead *lookahead() const { return m_lookahead; }

    // Throws the cancellation error (PlatformError with ECANCELED) once
    // cancel() was called.
    void throwIfCancelled() const;
    static bool isCancellation(int errorNumber);

private:
    std::atomic<bool> m_cancelled = false;
    std::atomic<qint64> m_itemsDone = 0;
    std::atomic<qint64> m_bytesDone = 0;
    TreeLookahead *m_lookahead = nullptr;
};
