#pragma once

#include "FSCore/DirectoryListingCacheTesting.h"
#include "FSCore/FileItem.h"

#include <QMap>
#include <QMutex>

namespace tw::test {

// While it lives, the pieces a names-first listing reads are recorded, by the
// order they were taken in, and held back from the listing cache until
// release(): the names are shown, and each attribute's arrival is the test's
// to choose.
class HeldPieces
{
public:
    HeldPieces()
    {
        DirectoryListingCache::testing::setOnPieceRead([this](int order, const FileItemList &piece) {
            QMutexLocker locker(&m_lock);
            m_pieces.insert(order, piece);
        });
        DirectoryListingCache::testing::holdReadPieces(true);
    }
    ~HeldPieces()
    {
        release();
        DirectoryListingCache::testing::setOnPieceRead({});
    }
    HeldPieces(const HeldPieces &) = delete;
    HeldPieces &operator=(const HeldPieces &) = delete;

    void release() { DirectoryListingCache::testing::holdReadPieces(false); }

    QMap<int, FileItemList> read() const
    {
        QMutexLocker locker(&m_lock);
        return m_pieces;
    }

private:
    mutable QMutex m_lock;
    QMap<int, FileItemList> m_pieces;
};

} // namespace tw::test
