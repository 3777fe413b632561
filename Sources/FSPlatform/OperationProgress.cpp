#include "OperationProgress.h"

#include "OperationError.h"

#include <cerrno>

void OperationProgress::advanceTo(qint64 items, qint64 bytes)
{
    qint64 current = m_itemsDone.load(std::memory_order_relaxed);
    while (current < items && !m_itemsDone.compare_exchange_weak(current, items, std::memory_order_relaxed)) {
    }
    current = m_bytesDone.load(std::memory_order_relaxed);
    while (current < bytes && !m_bytesDone.compare_exchange_weak(current, bytes, std::memory_order_relaxed)) {
    }
}

void OperationProgress::throwIfCancelled() const
{
    if (isCancelled())
        throw PlatformError::fromErrno(ECANCELED);
}

bool OperationProgress::isCancellation(int errorNumber)
{
    return errorNumber == ECANCELED;
}
