#include "DisplayNameText.h"

namespace DisplayNameText {

namespace {

constexpr char16_t firstStrongIsolate = u'\u2068';
constexpr char16_t popDirectionalIsolate = u'\u2069';
constexpr char16_t replacement = u'\uFFFD';

bool isBidiControl(char16_t c)
{
    return c == u'\u061C' || c == u'\u200E' || c == u'\u200F'
        || (c >= u'\u202A' && c <= u'\u202E') || (c >= u'\u2066' && c <= u'\u2069');
}

// The visible stand-in for `c`, or 0 when `c` shows as itself.
char16_t standIn(char16_t c)
{
    if (c < 0x20)
        return char16_t(0x2400 + c); // the Control Pictures block: ␀ … ␟
    if (c == 0x7F)
        return u'\u2421'; // ␡
    if (c >= 0x80 && c <= 0x9F)
        return replacement;
    if (c == u'\u2028' || c == u'\u2029')
        return u'\u2424'; // ␤: would break the line
    if (isBidiControl(c))
        return replacement;
    return 0;
}

} // namespace

QString visibleCharacters(const QString &name)
{
    QString shown;
    shown.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            shown.append(c);
            shown.append(name.at(++i));
            continue;
        }
        // A lone surrogate is an escaped byte of a name that is not UTF-8.
        if (c.isSurrogate()) {
            shown.append(QChar(replacement));
            continue;
        }
        const char16_t substitute = standIn(c.unicode());
        shown.append(substitute ? QChar(substitute) : c);
    }
    return shown;
}

QString forDisplay(const QString &name)
{
    return QChar(firstStrongIsolate) + visibleCharacters(name) + QChar(popDirectionalIsolate);
}

} // namespace DisplayNameText
