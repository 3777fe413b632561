#include "FileSorting.h"

#include "FolderListingUpdate.h"
#include "ParallelWork.h"

#include "FSPlatform/NaturalOrder.h"
#include "FSPlatform/PathCodec.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <limits>
#include <deque>
#include <numeric>
#include <span>
#include <vector>

namespace FileSortFields {

QString rawValue(FileSortField field)
{
    switch (field) {
    case FileSortField::name: return QStringLiteral("name");
    case FileSortField::dateModified: return QStringLiteral("dateModified");
    case FileSortField::size: return QStringLiteral("size");
    case FileSortField::kind: return QStringLiteral("kind");
    }
    return {};
}

std::optional<FileSortField> fromRawValue(const QString &text)
{
    for (FileSortField field : allCases) {
        if (rawValue(field) == text)
            return field;
    }
    return std::nullopt;
}

QString displayName(FileSortField field)
{
    switch (field) {
    case FileSortField::name: return QCoreApplication::translate("FileSortField", "Name");
    case FileSortField::dateModified: return QCoreApplication::translate("FileSortField", "Date Modified");
    case FileSortField::size: return QCoreApplication::translate("FileSortField", "Size");
    case FileSortField::kind: return QCoreApplication::translate("FileSortField", "Kind");
    }
    return {};
}

QString waitingNote(FileSortField field)
{
    return QCoreApplication::translate("FileSortField", "Sorting by “%1” once every item’s information is read…")
        .arg(displayName(field));
}

} // namespace FileSortFields

namespace FileSorting {

namespace {

// Items without a date sort before every dated item.
constexpr qint64 noDate = std::numeric_limits<qint64>::min();

// The sort key of one item: a number (date or size) or a natural-order text key.
struct SortKey
{
    qint64 number = 0;
    QByteArray text;
};

qint64 sizeOf(const FileAttributes &attributes, const FileItem &item, const FolderSizeMap &folderSizeCache)
{
    // Most folders are not measured: no URL is made for them.
    if (attributes.isDirectory)
        return folderSizeCache.isEmpty() ? 0 : folderSizeCache.value(item.url(), 0);
    return attributes.hasFileSize ? attributes.fileSize : 0;
}

// Keys of kinds are shared by many items; each distinct kind is keyed once.
class KindKeys
{
public:
    QByteArray keyFor(const FileAttributes &attributes)
    {
        const QString kind = attributes.kindDescription();
        auto it = m_keys.find(kind);
        if (it == m_keys.end())
            it = m_keys.insert(kind, NaturalOrder::sortKey(kind));
        return *it;
    }

private:
    QHash<QString, QByteArray> m_keys;
};

SortKey keyOf(const FileItem &item, const FileAttributes &attributes, FileSortField field,
              const FolderSizeMap &folderSizeCache, KindKeys &kindKeys)
{
    SortKey key;
    switch (field) {
    case FileSortField::name:
        key.text = attributes.nameSortKey;
        break;
    case FileSortField::dateModified:
        key.number = attributes.hasModificationTime ? attributes.modificationTimeNs : noDate;
        break;
    case FileSortField::size:
        key.number = sizeOf(attributes, item, folderSizeCache);
        break;
    case FileSortField::kind:
        key.text = kindKeys.keyFor(attributes);
        break;
    }
    return key;
}

bool usesText(FileSortField field)
{
    return field == FileSortField::name || field == FileSortField::kind;
}

int compareKeys(const SortKey &a, const SortKey &b, bool text)
{
    if (text)
        return NaturalOrder::compareKeys(a.text, b.text);
    return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
}

// What the sort moves around: the first eight bytes of the key as one number
// (most comparisons end there) and the item's position. Sorting these small
// records instead of indices into the keys keeps the sort in the cache.
struct SortRecord
{
    quint64 prefix;
    quint32 index;
};

quint64 textPrefix(const QByteArray &key)
{
    quint64 prefix = 0;
    const qsizetype length = qMin<qsizetype>(key.size(), 8);
    for (qsizetype i = 0; i < 8; ++i)
        prefix = (prefix << 8) | (i < length ? quint8(key.at(i)) : 0);
    return prefix;
}

quint64 numberPrefix(qint64 number)
{
    // Flipping the sign bit orders signed numbers as unsigned ones.
    return quint64(number) ^ (quint64(1) << 63);
}

// Past this many items the two halves are sorted on two threads and merged.
constexpr size_t parallelThreshold = 20000;

// `before` orders records by key and, among equal keys, by their place in the
// input: a sort in place, which needs no buffer as large as the input, is
// then as stable as a stable sort.
template<typename Before>
void sortRecords(std::vector<SortRecord> &records, Before before)
{
    if (records.size() < parallelThreshold) {
        std::sort(records.begin(), records.end(), before);
        return;
    }
    const auto middle = records.begin() + std::ptrdiff_t(records.size() / 2);
    std::atomic<int> nextHalf{0};
    ParallelWork::run(1, [&] {
        for (int half = nextHalf++; half < 2; half = nextHalf++) {
            if (half == 0)
                std::sort(records.begin(), middle, before);
            else
                std::sort(middle, records.end(), before);
        }
    });
    std::inplace_merge(records.begin(), middle, records.end(), before);
}

} // namespace

FileItemList sorted(const FileItemList &items, FileSortField field, const FolderSizeMap &folderSizeCache)
{
    return sorted(items, field, folderSizeCache, true);
}

FileItemList sorted(const FileItemList &items, FileSortField field, const FolderSizeMap &folderSizeCache,
                    bool ascending)
{
    const size_t count = size_t(items.size());
    const bool text = usesText(field);
    // Names are keyed already in each listed item: those keys are used where
    // they are, and only the others made and kept here.
    std::vector<const QByteArray *> textKeys(text ? count : 0);
    std::deque<QByteArray> madeKeys; // grows without moving what it holds
    std::vector<SortRecord> records(count);
    KindKeys kindKeys;
    for (size_t i = 0; i < count; ++i) {
        const FileItem &item = items.at(qsizetype(i));
        const FileAttributes *snapshot = item.attributeSnapshot();
        if (snapshot && field == FileSortField::name) {
            records[i] = {textPrefix(snapshot->nameSortKey), quint32(i)};
            textKeys[i] = &snapshot->nameSortKey;
            continue;
        }
        SortKey key = snapshot ? keyOf(item, *snapshot, field, folderSizeCache, kindKeys)
                               : keyOf(item, item.attributes(), field, folderSizeCache, kindKeys);
        records[i] = {text ? textPrefix(key.text) : numberPrefix(key.number), quint32(i)};
        if (text)
            textKeys[i] = &madeKeys.emplace_back(std::move(key.text));
    }

    // <0, 0 or >0 as the records' keys compare in ascending order.
    const auto order = [&](const SortRecord &a, const SortRecord &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix ? -1 : 1;
        if (!text)
            return 0;
        const QByteArray &keyA = *textKeys[a.index];
        const QByteArray &keyB = *textKeys[b.index];
        if (keyA.size() <= 8 || keyB.size() <= 8)
            return keyA.size() < keyB.size() ? -1 : (keyA.size() > keyB.size() ? 1 : 0);
        return NaturalOrder::compareKeys(keyA, keyB);
    };
    // Descending reverses the keys, not the result: ties keep their input order.
    const int direction = ascending ? 1 : -1;
    const auto before = [&](const SortRecord &a, const SortRecord &b) {
        const int byKey = order(a, b) * direction;
        return byKey != 0 ? byKey < 0 : a.index < b.index;
    };
    // Listings arrive in name order, and views often ask again for the order
    // they already have: a sorted input is its own sort.
    if (std::is_sorted(records.begin(), records.end(), before))
        return items;
    sortRecords(records, before);

    FileItemList result;
    result.reserve(items.size());
    for (const SortRecord &record : records)
        result.append(items.at(qsizetype(record.index)));
    return result;
}

int compare(const FileItem &a, const FileItem &b, FileSortField field, const FolderSizeMap &folderSizeCache)
{
    KindKeys kindKeys;
    const SortKey keyA = keyOf(a, a.attributes(), field, folderSizeCache, kindKeys);
    const SortKey keyB = keyOf(b, b.attributes(), field, folderSizeCache, kindKeys);
    return compareKeys(keyA, keyB, usesText(field));
}

qint64 size(const FileItem &item, const FolderSizeMap &folderSizeCache)
{
    if (const FileAttributes *snapshot = item.attributeSnapshot())
        return sizeOf(*snapshot, item, folderSizeCache);
    return sizeOf(item.attributes(), item, folderSizeCache);
}

namespace {

QByteArray nameKeyOf(const FileItem &item)
{
    if (const FileAttributes *snapshot = item.attributeSnapshot())
        return snapshot->nameSortKey;
    return NaturalOrder::sortKey(item.name());
}

// Where an item stands in a sorted copy: its key, then its name, as the
// stable sort of a listing in name order leaves items of equal keys.
struct Position
{
    SortKey key;
    QByteArray name;
};

// The sorted copies of folders' listings, kept up to date by the updates.
class SortedCopies
{
public:
    static SortedCopies &instance()
    {
        // Never destroyed: the notifier it listens to is not either.
        static SortedCopies *copies = new SortedCopies;
        return *copies;
    }

    FileItemList sortedItems(const QUrl &folder, const FileItemList &listing, FileSortField field, bool ascending,
                             const FolderSizeMap &folderSizeCache)
    {
        if (field == FileSortField::name && ascending)
            return listing; // listings come in name order
        Copy *copy = find(folder, field, ascending);
        if (copy && copy->source.constData() == listing.constData() && copy->source.size() == listing.size()
            && (field != FileSortField::size || copy->sizes == folderSizeCache)) {
            copy->lastUse = ++m_clock;
            return copy->items;
        }
        if (copy && copy->source.constData() == listing.constData() && copy->source.size() == listing.size()
            && applySizesInPlace(*copy, folderSizeCache)) {
            copy->lastUse = ++m_clock;
            return copy->items;
        }
        if (!copy) {
            if (m_copies.size() >= maximumCopies)
                dropLeastRecentlyUsed();
            copy = &m_copies.emplace_back();
            copy->folder = folder;
            copy->field = field;
            copy->ascending = ascending;
        }
        copy->source = listing;
        copy->sizes = field == FileSortField::size ? folderSizeCache : FolderSizeMap();
        copy->items = sorted(listing, field, copy->sizes, ascending);
        copy->lastUse = ++m_clock;
        return copy->items;
    }

private:
    static constexpr size_t maximumCopies = 32;
    // Past this many changes one sort costs less than moving rows one by one.
    static constexpr qsizetype maximumChangesInPlace = 256;

    struct Copy
    {
        QUrl folder;
        FileSortField field = FileSortField::name;
        bool ascending = true;
        FileItemList source; // the listing it was sorted from, held so its identity stays unique
        FileItemList items;
        FolderSizeMap sizes;
        quint64 lastUse = 0;
    };

    SortedCopies()
    {
        auto *notifier = FolderListingNotifier::instance();
        m_context = new QObject;
        m_context->moveToThread(notifier->thread());
        QObject::connect(notifier, &FolderListingNotifier::listingUpdated, m_context,
                         [this](const FolderListingUpdate &update) { follow(update); });
        QObject::connect(notifier, &FolderListingNotifier::listingFailed, m_context,
                         [this](const QUrl &folder, ListingFailure) { drop(folder); });
    }

    Copy *find(const QUrl &folder, FileSortField field, bool ascending)
    {
        for (Copy &copy : m_copies) {
            if (copy.field == field && copy.ascending == ascending && copy.folder == folder)
                return &copy;
        }
        return nullptr;
    }

    void dropLeastRecentlyUsed()
    {
        const auto oldest = std::min_element(m_copies.begin(), m_copies.end(),
                                             [](const Copy &a, const Copy &b) { return a.lastUse < b.lastUse; });
        m_copies.erase(oldest);
    }

    void drop(const QUrl &folder)
    {
        std::erase_if(m_copies, [&](const Copy &copy) { return copy.folder == folder; });
    }

    void follow(const FolderListingUpdate &update)
    {
        std::erase_if(m_copies, [&](Copy &copy) {
            if (copy.folder != update.folder || copy.source.constData() == update.items.constData())
                return false;
            if (update.isWholeListing || copy.source.constData() != update.previousItems.constData())
                return true;
            return !applyInPlace(copy, update);
        });
    }

    static Position positionOf(const FileItem &item, const Copy &copy, KindKeys &kindKeys)
    {
        const FileAttributes *snapshot = item.attributeSnapshot();
        const FileAttributes read = snapshot ? FileAttributes() : item.attributes();
        const FileAttributes &attributes = snapshot ? *snapshot : read;
        return {keyOf(item, attributes, copy.field, copy.sizes, kindKeys), attributes.nameSortKey};
    }

    // Moves the rows that changed instead of sorting again; false when the
    // copy does not match the update and must be sorted afresh.
    static bool applyInPlace(Copy &copy, const FolderListingUpdate &update)
    {
        if (update.removed.size() + update.changed.size() + update.inserted.size() > maximumChangesInPlace)
            return false;
        QList<QUrl> leavingUrls = update.removed;
        for (const FileItem &item : update.changed)
            leavingUrls.append(item.url());
        FileItemList leaving;
        for (const QUrl &url : std::as_const(leavingUrls)) {
            const qsizetype oldIndex = indexInNameOrder(update.previousItems, url.toLocalFile());
            if (oldIndex < 0)
                return false;
            leaving.append(update.previousItems.at(oldIndex));
        }
        if (!moveRows(copy, leaving, update.inserted + update.changed, copy.sizes))
            return false;
        copy.source = update.items;
        return copy.items.size() == update.items.size();
    }

    // New folder sizes move only the rows of the folders whose size changed.
    static bool applySizesInPlace(Copy &copy, const FolderSizeMap &sizes)
    {
        FileItemList moving;
        auto addIfChanged = [&](const QUrl &folder) {
            if (copy.sizes.value(folder, 0) == sizes.value(folder, 0))
                return true;
            const qsizetype index = indexInNameOrder(copy.source, folder.toLocalFile());
            if (index >= 0)
                moving.append(copy.source.at(index));
            return moving.size() <= maximumChangesInPlace;
        };
        for (auto it = sizes.cbegin(); it != sizes.cend(); ++it) {
            if (!addIfChanged(it.key()))
                return false;
        }
        for (auto it = copy.sizes.cbegin(); it != copy.sizes.cend(); ++it) {
            if (!sizes.contains(it.key()) && !addIfChanged(it.key()))
                return false;
        }
        return moveRows(copy, moving, moving, sizes);
    }

    // Takes `leaving` out of the copy, found where the copy's sizes put them,
    // then puts `arriving` in where `sizes` puts them.
    static bool moveRows(Copy &copy, const FileItemList &leaving, const FileItemList &arriving, const FolderSizeMap &sizes)
    {
        const bool text = usesText(copy.field);
        auto before = [&](const Position &a, const Position &b) {
            int order = compareKeys(a.key, b.key, text);
            if (!copy.ascending)
                order = -order;
            if (order != 0)
                return order < 0;
            return NaturalOrder::compareKeys(a.name, b.name) < 0;
        };
        KindKeys kindKeys;
        for (const FileItem &old : leaving) {
            const QString path = old.path();
            const Position position = positionOf(old, copy, kindKeys);
            auto it = std::lower_bound(copy.items.begin(), copy.items.end(), position, [&](const FileItem &item, const Position &p) {
                return before(positionOf(item, copy, kindKeys), p);
            });
            while (it != copy.items.end() && it->path() != path && !before(position, positionOf(*it, copy, kindKeys)))
                ++it;
            if (it == copy.items.end() || it->path() != path)
                return false;
            copy.items.erase(it);
        }
        copy.sizes = sizes;
        for (const FileItem &item : arriving) {
            const Position position = positionOf(item, copy, kindKeys);
            const auto it = std::upper_bound(copy.items.begin(), copy.items.end(), position,
                                             [&](const Position &p, const FileItem &other) {
                                                 return before(p, positionOf(other, copy, kindKeys));
                                             });
            copy.items.insert(it, item);
        }
        return true;
    }

    std::vector<Copy> m_copies;
    quint64 m_clock = 0;
    QObject *m_context = nullptr;
};

// Made before any view can listen, so copies are current before views hear of a change.
[[maybe_unused]] const bool sortedCopiesFollowUpdates = [] {
    SortedCopies::instance();
    return true;
}();

} // namespace

FileItemList sortedItems(const QUrl &folder, const FileItemList &listing, FileSortField field, bool ascending,
                         const FolderSizeMap &folderSizeCache)
{
    return SortedCopies::instance().sortedItems(folder, listing, field, ascending, folderSizeCache);
}

namespace {

qsizetype indexInNameOrder(std::span<const FileItem> nameOrdered, const QByteArray &key, const QString &path)
{
    auto it = std::lower_bound(nameOrdered.begin(), nameOrdered.end(), key, [](const FileItem &item, const QByteArray &wanted) {
        return NaturalOrder::compareKeys(nameKeyOf(item), wanted) < 0;
    });
    for (; it != nameOrdered.end() && nameKeyOf(*it) == key; ++it) {
        if (it->path() == path)
            return it - nameOrdered.begin();
    }
    return -1;
}

} // namespace

qsizetype indexInNameOrder(const FileItemList &nameOrdered, const QString &path)
{
    const QByteArray key = NaturalOrder::sortKey(PathCodec::displayForm(path.section(QLatin1Char('/'), -1)));
    return indexInNameOrder(std::span(nameOrdered.constData(), size_t(nameOrdered.size())), key, path);
}

qsizetype indexInNameOrder(std::span<const FileItem> nameOrdered, const FileItem &item)
{
    return indexInNameOrder(nameOrdered, nameKeyOf(item), item.path());
}

} // namespace FileSorting
