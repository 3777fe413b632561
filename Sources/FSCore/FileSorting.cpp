#include "FileSorting.h"

#include "ParallelWork.h"

#include "FSPlatform/NaturalOrder.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <limits>
#include <numeric>
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

qint64 sizeOf(const FileAttributes &attributes, const QUrl &url, const FolderSizeMap &folderSizeCache)
{
    if (attributes.isDirectory)
        return folderSizeCache.value(url, 0);
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
        key.number = sizeOf(attributes, item.url(), folderSizeCache);
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

template<typename Before>
void stableSort(std::vector<SortRecord> &records, Before before)
{
    if (records.size() < parallelThreshold) {
        std::stable_sort(records.begin(), records.end(), before);
        return;
    }
    const auto middle = records.begin() + std::ptrdiff_t(records.size() / 2);
    std::atomic<int> nextHalf{0};
    ParallelWork::run(1, [&] {
        for (int half = nextHalf++; half < 2; half = nextHalf++) {
            if (half == 0)
                std::stable_sort(records.begin(), middle, before);
            else
                std::stable_sort(middle, records.end(), before);
        }
    });
    // inplace_merge is stable: on ties the first half, the earlier items, goes first.
    std::inplace_merge(records.begin(), middle, records.end(), before);
}

} // namespace

FileItemList sorted(const FileItemList &items, FileSortField field, const FolderSizeMap &folderSizeCache)
{
    const size_t count = size_t(items.size());
    const bool text = usesText(field);
    std::vector<QByteArray> textKeys(text ? count : 0);
    std::vector<SortRecord> records(count);
    KindKeys kindKeys;
    for (size_t i = 0; i < count; ++i) {
        const FileItem &item = items.at(qsizetype(i));
        const FileAttributes *snapshot = item.attributeSnapshot();
        SortKey key = snapshot ? keyOf(item, *snapshot, field, folderSizeCache, kindKeys)
                               : keyOf(item, item.attributes(), field, folderSizeCache, kindKeys);
        records[i] = {text ? textPrefix(key.text) : numberPrefix(key.number), quint32(i)};
        if (text)
            textKeys[i] = std::move(key.text);
    }

    auto before = [&](const SortRecord &a, const SortRecord &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        if (!text)
            return false;
        const QByteArray &keyA = textKeys[a.index];
        const QByteArray &keyB = textKeys[b.index];
        if (keyA.size() <= 8 || keyB.size() <= 8)
            return keyA.size() < keyB.size();
        return NaturalOrder::compareKeys(keyA, keyB) < 0;
    };
    // Listings arrive in name order, and views often ask again for the order
    // they already have: a sorted input is its own stable sort.
    if (std::is_sorted(records.begin(), records.end(), before))
        return items;
    stableSort(records, before);

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
    return sizeOf(item.attributes(), item.url(), folderSizeCache);
}

} // namespace FileSorting
