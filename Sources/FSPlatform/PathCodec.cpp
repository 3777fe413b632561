#include "PathCodec.h"

#include <QDir>

namespace PathCodec {

namespace {

constexpr char16_t escapeBase = 0xDC00;

// U+DC80..U+DCFF is also the low half of real pairs (U+1F480 is D83D DC80),
// so only a lone one is an escaped byte.
bool isEscapeAt(const char16_t *data, qsizetype i)
{
    const char16_t c = data[i];
    if (c < 0xDC80 || c > 0xDCFF)
        return false;
    return i == 0 || !QChar::isHighSurrogate(data[i - 1]);
}

const char16_t *units(const QString &text)
{
    return reinterpret_cast<const char16_t *>(text.utf16());
}

// Length of the valid UTF-8 sequence starting at `s`, or 0 when it is not one
// (overlong forms, surrogates and code points past U+10FFFF are not valid).
int validSequenceLength(const unsigned char *s, const unsigned char *end)
{
    const unsigned char c = s[0];
    if (c < 0x80)
        return 1;
    auto continuation = [&](int i) { return s + i < end && (s[i] & 0xC0) == 0x80; };
    if (c >= 0xC2 && c <= 0xDF)
        return continuation(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!continuation(1) || !continuation(2))
            return 0;
        if (c == 0xE0 && s[1] < 0xA0)
            return 0;
        if (c == 0xED && s[1] >= 0xA0)
            return 0;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3))
            return 0;
        if (c == 0xF0 && s[1] < 0x90)
            return 0;
        if (c == 0xF4 && s[1] >= 0x90)
            return 0;
        return 4;
    }
    return 0;
}

} // namespace

QString decode(const char *bytes, qsizetype length)
{
    const auto *begin = reinterpret_cast<const unsigned char *>(bytes);
    const auto *end = begin + length;
    const unsigned char *s = begin;
    while (s < end) {
        const int n = validSequenceLength(s, end);
        if (n == 0)
            break;
        s += n;
    }
    if (s == end)
        return QString::fromUtf8(bytes, length);

    QString result = QString::fromUtf8(bytes, s - begin);
    while (s < end) {
        const int n = validSequenceLength(s, end);
        if (n == 0) {
            result += QChar(char16_t(escapeBase | *s));
            ++s;
        } else {
            result += QString::fromUtf8(reinterpret_cast<const char *>(s), n);
            s += n;
        }
    }
    return result;
}

QByteArray encode(const QString &path)
{
    if (!hasEscapedBytes(path))
        return path.toUtf8();
    QByteArray result;
    result.reserve(path.size() * 3);
    const char16_t *data = units(path);
    const qsizetype size = path.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (!isEscapeAt(data, i))
            continue;
        // A lone escape is never half of a pair, so the text can be cut here.
        result += QStringView(data + runStart, i - runStart).toUtf8();
        result += char(data[i] & 0xFF);
        runStart = i + 1;
    }
    result += QStringView(data + runStart, size - runStart).toUtf8();
    return result;
}

QByteArray encodePath(const QUrl &url)
{
    return encode(url.toLocalFile());
}

QUrl urlForPath(const QString &path)
{
    QString clean = QDir::cleanPath(path);
    if (clean.size() > 1 && clean.endsWith(QLatin1Char('/')))
        clean.chop(1);
    return QUrl::fromLocalFile(clean);
}

QUrl childUrl(const QUrl &folder, const QString &name)
{
    QString path = folder.toLocalFile();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return QUrl::fromLocalFile(path + name);
}

QString displayForm(const QString &name)
{
    if (!hasEscapedBytes(name))
        return name;
    QString shown = name;
    const char16_t *data = units(name);
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscapeAt(data, i))
            shown[i] = QChar(QChar::ReplacementCharacter);
    }
    return shown;
}

bool hasEscapedBytes(const QString &name)
{
    const char16_t *data = units(name);
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscapeAt(data, i))
            return true;
    }
    return false;
}

} // namespace PathCodec
