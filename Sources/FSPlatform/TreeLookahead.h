#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <sys/types.h>
#include <time.h>

class OperationProgress;

// How many entries and bytes a copy will go through, found out beside it on a
// thread of its own without costing the copy more than a few percent.
//
// A walk lists every folder of the trees ahead of the copy and keeps the
// listings: the copier takes each folder's listing from here instead of
// reading the folder again, so the entry count comes almost for free. The
// byte count needs the size of every file, which only a stat tells. The
// copier learns those sizes anyway, folder by folder, and hands them over;
// the walk sizes the folders the copier has not reached yet, starting from the
// far end and within a small share of the copier's processor time, until the
// two meet. A tree of few large files is sized at once; a tree of many small
// ones, where a stat costs a tenth of copying the file, is sized as the copy
// goes.
//
// Entries count as the copy counts them: every entry of a tree, the top one
// included; bytes are the apparent sizes of regular files. Links are never
// followed. Paths are encoded (PathCodec).
class TreeLookahead
{
public:
    // The entries of one folder as the walk read them: a type byte (a dirent
    // d_type), the name and a NUL each, one after another.
    class Listing
    {
    public:
        void append(unsigned char type, const char *name);
        qsizetype size() const { return m_count; }
        qsizetype byteSize() const { return m_packed.size(); }

        template<typename Visit>
        void forEach(Visit visit) const
        {
            for (const char *at = m_packed.constData(), *end = at + m_packed.size(); at < end;) {
                const auto type = static_cast<unsigned char>(*at);
                const char *name = at + 1;
                const size_t length = std::char_traits<char>::length(name);
                visit(type, name);
                at = name + length + 1;
            }
        }

    private:
        QByteArray m_packed;
        qsizetype m_count = 0;
    };

    // What the copier is handed for a folder it is about to copy.
    struct Claim
    {
        // Nothing when the walk has not listed it (yet): the copier reads it.
        std::shared_ptr<const Listing> listing;
        // Whether the copier is to count the sizes of the files straight
        // inside it and report them with sized(): the walk has not sized it.
        bool sizesFiles = false;
    };

    // With `keepsListings` false the walk only counts: for work that reads
    // the trees its own way (an archive).
    explicit TreeLookahead(bool keepsListings = true);
    ~TreeLookahead();
    TreeLookahead(const TreeLookahead &) = delete;
    TreeLookahead &operator=(const TreeLookahead &) = delete;

    // The walk's thread. Lists the trees at `paths`, in order; an item whose
    // `countsAsOne` is set (a rename) is one entry and no bytes. Stops early,
    // with the totals never known, once `progress` is cancelled.
    void list(const std::vector<QByteArray> &paths, const std::vector<bool> &countsAsOne,
              const OperationProgress *progress = nullptr);
    // The walk's thread, after list(). Sizes the folders nobody has sized,
    // from the last one back, spending on it at most `share` of the processor
    // time `copierClock` has used (plus a little to begin with). Returns once
    // every folder is sized, or when `shouldStop` says so.
    void sizeFromTheEnd(clockid_t copierClock, double share, const std::function<bool()> &shouldStop);

    // The copier's thread.
    Claim take(dev_t device, ino_t inode);
    void sized(dev_t device, ino_t inode, qint64 bytes);

    // Work that counts its totals another way (emptying the Trash) sets them here.
    void setTotals(qint64 items, qint64 bytes);
    // The work is over: totals still unknown are what it did.
    void finish(qint64 itemsDone, qint64 bytesDone);

    // Any thread.
    std::optional<qint64> itemsTotal() const;
    std::optional<qint64> bytesTotal() const;

private:
    struct Key
    {
        dev_t device;
        ino_t inode;
        bool operator==(const Key &other) const { return device == other.device && inode == other.inode; }
    };
    struct KeyHash
    {
        size_t operator()(const Key &key) const { return std::hash<quint64>()(quint64(key.inode) * 31 + key.device); }
    };
    struct Folder
    {
        QByteArray path;
        Key key;
        // Kept until the folder is sized, for the copier to take and for the
        // walk to size it by.
        std::shared_ptr<const Listing> listing;
        bool isSized = false;
    };

    void listTree(const QByteArray &path, const OperationProgress *progress, qint64 &items);
    void listFolder(int parentFd, const char *name, const QByteArray &path, const OperationProgress *progress,
                    qint64 &items);
    void addFolder(Folder folder, const std::shared_ptr<Listing> &listing);
    // The bytes of the files straight inside; nothing when the folder is not
    // the one listed any more, or `mayGoOn` said to stop.
    std::optional<qint64> sizeFolder(const Folder &folder, const std::function<bool()> &mayGoOn);
    void markSized(Folder &folder, qint64 bytes);
    void addSized(qint64 bytes);
    void publishBytesIfSized();

    const bool m_keepsListings;

    mutable std::mutex m_mutex;
    std::vector<Folder> m_folders;
    std::unordered_map<Key, size_t, KeyHash> m_index;
    // Folders the copier took before the walk listed them, with what the
    // copier sized in them so far.
    std::unordered_map<Key, std::optional<qint64>, KeyHash> m_takenEarly;
    qint64 m_keptBytes = 0;
    qint64 m_looseBytes = 0;
    qint64 m_sizedBytes = 0;
    size_t m_sizedFolders = 0;
    bool m_isListed = false;
    // A folder changed under the walk: the bytes are known only at the end.
    bool m_cannotSize = false;

    std::atomic<qint64> m_itemsTotal = -1;
    std::atomic<qint64> m_bytesTotal = -1;
};
