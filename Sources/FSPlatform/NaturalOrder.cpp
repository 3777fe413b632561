#include "NaturalOrder.h"

#include <QLocale>

#include <unicode/ucol.h>

#include <memory>

namespace NaturalOrder {

namespace {

struct CollatorCloser
{
    void operator()(UCollator *collator) const { ucol_close(collator); }
};
using CollatorHandle = std::unique_ptr<UCollator, CollatorCloser>;

CollatorHandle openCollator(UColAttributeValue strength)
{
    UErrorCode status = U_ZERO_ERROR;
    QByteArray locale = QLocale::system().name().toLatin1();
    if (locale == "C" || locale.isEmpty())
        locale = "";
    CollatorHandle collator(ucol_open(locale.constData(), &status));
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        collator.reset(ucol_open("", &status));
    }
    if (!collator)
        qFatal("ICU has no collator");
    status = U_ZERO_ERROR;
    ucol_setAttribute(collator.get(), UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    ucol_setAttribute(collator.get(), UCOL_STRENGTH, strength, &status);
    return collator;
}

// ICU collators must not be shared between threads while in use: one per thread.
UCollator *threadCollator()
{
    // Secondary strength: letters and accents count, letter case does not.
    thread_local CollatorHandle collator = openCollator(UCOL_SECONDARY);
    return collator.get();
}

UCollator *threadLetterCollator()
{
    // Primary strength: only the letters count.
    thread_local CollatorHandle collator = openCollator(UCOL_PRIMARY);
    return collator.get();
}

const UChar *units(const QString &text)
{
    return reinterpret_cast<const UChar *>(text.utf16());
}

} // namespace

QByteArray sortKey(const QString &text)
{
    UCollator *collator = threadCollator();
    // Into a buffer on the stack first, so that the key kept (one per entry of
    // a listing) is allocated at its exact size.
    uint8_t buffer[256];
    int32_t length = ucol_getSortKey(collator, units(text), int32_t(text.size()), buffer, int32_t(sizeof buffer));
    // The length counts the terminating zero byte, which memcmp order does not need.
    if (length <= int32_t(sizeof buffer))
        return QByteArray(reinterpret_cast<const char *>(buffer), qMax(0, length - 1));
    QByteArray key(length, Qt::Uninitialized);
    length = ucol_getSortKey(collator, units(text), int32_t(text.size()), reinterpret_cast<uint8_t *>(key.data()),
                             int32_t(key.size()));
    key.resize(qMax(0, length - 1));
    return key;
}

int compare(const QString &a, const QString &b)
{
    return ucol_strcoll(threadCollator(), units(a), int32_t(a.size()), units(b), int32_t(b.size()));
}

bool startsWith(const QString &name, const QString &prefix)
{
    if (prefix.isEmpty())
        return true;
    const int32_t length = int32_t(qMin(name.size(), prefix.size()));
    return ucol_strcoll(threadLetterCollator(), units(name), length, units(prefix), int32_t(prefix.size())) == UCOL_EQUAL;
}

} // namespace NaturalOrder
