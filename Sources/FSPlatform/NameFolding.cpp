#include "NameFolding.h"

#include "PathCodec.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace {

QString decompose(const UNormalizer2 *nfd, const QString &text)
{
    UErrorCode status = U_ZERO_ERROR;
    const auto *source = reinterpret_cast<const UChar *>(text.utf16());
    const int32_t needed = unorm2_normalize(nfd, source, int32_t(text.size()), nullptr, 0, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return text;
    QString result(needed, Qt::Uninitialized);
    status = U_ZERO_ERROR;
    unorm2_normalize(nfd, source, int32_t(text.size()), reinterpret_cast<UChar *>(result.data()), needed, &status);
    return U_SUCCESS(status) ? result : text;
}

QString caseFolded(const QString &text)
{
    UErrorCode status = U_ZERO_ERROR;
    const auto *source = reinterpret_cast<const UChar *>(text.utf16());
    const int32_t needed = u_strFoldCase(nullptr, 0, source, int32_t(text.size()), U_FOLD_CASE_DEFAULT, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return text.toCaseFolded();
    QString result(needed, Qt::Uninitialized);
    status = U_ZERO_ERROR;
    u_strFoldCase(reinterpret_cast<UChar *>(result.data()), needed, source, int32_t(text.size()), U_FOLD_CASE_DEFAULT,
                  &status);
    return U_SUCCESS(status) ? result : text.toCaseFolded();
}

bool isAscii(const char *bytes, qsizetype length)
{
    for (qsizetype i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80)
            return false;
    }
    return true;
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

} // namespace

namespace NameFolding {

namespace {

// Folding works character by character (the marks that decomposition might
// reorder are dropped), so the folded form of each character of the common
// scripts is made once and names in them are folded without ICU.
constexpr char32_t tableEnd = 0x3000;

struct FoldTable
{
    // UTF-8 of each character's folded form; offsets into `bytes`.
    std::vector<quint32> start;
    std::vector<quint8> length;
    QByteArray bytes;
};

const FoldTable &foldTable()
{
    static const FoldTable table = [] {
        FoldTable made;
        made.start.resize(tableEnd);
        made.length.resize(tableEnd);
        for (char32_t c = 0; c < tableEnd; ++c) {
            const QByteArray folded = (QChar::isSurrogate(c) ? QString() : fold(QString(QChar(c)))).toUtf8();
            made.start[c] = quint32(made.bytes.size());
            made.length[c] = quint8(std::min<qsizetype>(folded.size(), 255));
            made.bytes.append(folded);
        }
        return made;
    }();
    return table;
}

// Decodes UTF-8 and writes the folded form into `out`; nothing when a
// character lies outside the table or the bytes are not UTF-8.
std::optional<qsizetype> foldedFromTable(const char *raw, qsizetype length, char *out)
{
    const FoldTable &table = foldTable();
    const auto *bytes = reinterpret_cast<const unsigned char *>(raw);
    qsizetype written = 0;
    for (qsizetype i = 0; i < length;) {
        char32_t c = bytes[i];
        int extra = 0;
        if (c < 0x80) {
        } else if ((c & 0xE0) == 0xC0) {
            c &= 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            c &= 0x0F;
            extra = 2;
        } else {
            return std::nullopt;
        }
        if (i + extra >= length)
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80)
                return std::nullopt;
            c = (c << 6) | (bytes[i + k] & 0x3F);
        }
        // Overlong forms are not UTF-8.
        if ((extra == 1 && c < 0x80) || (extra == 2 && c < 0x800) || c >= tableEnd)
            return std::nullopt;
        i += 1 + extra;
        const quint8 size = table.length[c];
        if (written + size > length * 3)
            return std::nullopt;
        std::memcpy(out + written, table.bytes.constData() + table.start[c], size);
        written += size;
    }
    return written;
}

} // namespace

QString fold(const QString &text)
{
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2 *nfd = unorm2_getNFDInstance(&status);
    if (U_FAILURE(status))
        return text.toCaseFolded();
    // Folding can bring marks of its own ("İ" folds to "i" and a dot above),
    // so the marks go last.
    const QString folded = decompose(nfd, caseFolded(decompose(nfd, text)));
    QString result;
    result.reserve(folded.size());
    for (qsizetype i = 0; i < folded.size(); ++i) {
        char32_t c = folded.at(i).unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < folded.size() && folded.at(i + 1).isLowSurrogate();
        if (pair)
            c = QChar::surrogateToUcs4(folded.at(i), folded.at(i + 1));
        if (U_GET_GC_MASK(UChar32(c)) & (U_GC_MN_MASK | U_GC_ME_MASK)) {
            i += pair ? 1 : 0;
            continue;
        }
        result.append(folded.at(i));
        if (pair)
            result.append(folded.at(++i));
    }
    return result;
}

Needle::Needle(const QString &text)
    : m_folded(fold(text))
    , m_utf8Folded(m_folded.toUtf8())
    , m_isAscii(isAscii(m_utf8Folded.constData(), m_utf8Folded.size()))
{
}

bool Needle::isFoundIn(const char *rawName, qsizetype length) const
{
    if (m_folded.isEmpty())
        return true;
    const std::string_view needle(m_utf8Folded.constData(), size_t(m_utf8Folded.size()));
    char buffer[1024];
    if (isAscii(rawName, length)) {
        // Only ASCII folds to ASCII, so a name of plain ASCII can hold nothing else.
        if (!m_isAscii || length < m_utf8Folded.size())
            return false;
        if (length <= qsizetype(sizeof buffer)) {
            for (qsizetype i = 0; i < length; ++i)
                buffer[i] = asciiLower(rawName[i]);
            return std::string_view(buffer, size_t(length)).find(needle) != std::string_view::npos;
        }
    } else if (length * 3 <= qsizetype(sizeof buffer)) {
        // A folded character is at most three times as long as its UTF-8 form
        // in the table's range.
        const std::optional<qsizetype> folded = foldedFromTable(rawName, length, buffer);
        if (folded)
            return std::string_view(buffer, size_t(*folded)).find(needle) != std::string_view::npos;
    }
    return isFoundIn(PathCodec::decode(rawName, length));
}

bool Needle::isFoundIn(const QString &name) const
{
    return fold(name).contains(m_folded);
}

} // namespace NameFolding
