#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// Sums the sizes of the regular files below a folder, in the background. Hidden
// entries (names beginning with a dot) are neither counted nor entered, symbolic
// links are never followed, each folder (by device and inode) is walked once, and
// unreadable entries are passed over. A calculator can run several walks;
// cancel() stops them all for good, and so does destroying the calculator: a
// cancelled walk never calls back. Walks run on WorkQueues::folderSizes(), at
// most two at a time.
class FolderSizeCalculator
{
public:
    using Completion = std::function<void(qint64 totalBytes)>;

    FolderSizeCalculator();
    ~FolderSizeCalculator();
    FolderSizeCalculator(const FolderSizeCalculator &) = delete;
    FolderSizeCalculator &operator=(const FolderSizeCalculator &) = delete;

    // Returns at once; `completion` gets the total on the main thread, at most
    // once, and not if `context` (when given) is gone by then.
    void calculate(const QUrl &folder, Completion completion);
    void calculate(const QUrl &folder, QObject *context, Completion completion);
    void cancel();
    bool isCancelled() const;

    // The walk itself, on the calling thread, with a thread of the folder-size
    // queue helping while no other walk waits for it. Nothing when `cancelled`
    // was seen set.
    static std::optional<qint64> sumOfTree(const QByteArray &encodedPath, const std::atomic<bool> &cancelled);

private:
    std::shared_ptr<std::atomic<bool>> m_isCancelled;
};
