#include "DisplayFormats.h"

#include <QCoreApplication>
#include <QLocale>

#include <unicode/udat.h>

#include <memory>

namespace DisplayFormats {

namespace {

struct DateFormatClose
{
    void operator()(UDateFormat *format) const { udat_close(format); }
};

UDateFormat *dateFormatter()
{
    thread_local std::unique_ptr<UDateFormat, DateFormatClose> formatter = [] {
        UErrorCode status = U_ZERO_ERROR;
        UDateFormat *format = udat_open(UDAT_SHORT, UDAT_MEDIUM, nullptr, nullptr, -1, nullptr, 0, &status);
        return std::unique_ptr<UDateFormat, DateFormatClose>(U_SUCCESS(status) ? format : nullptr);
    }();
    return formatter.get();
}

} // namespace

QString byteCount(qint64 bytes)
{
    // Without a translation loaded, %n does not choose the singular.
    if (bytes == 1)
        return QCoreApplication::translate("DisplayFormats", "1 byte");
    if (bytes < 1000)
        return QCoreApplication::translate("DisplayFormats", "%n bytes", nullptr, int(bytes));
    const QLocale locale;
    const struct { double scale; int decimals; const char *unit; } units[] = {
        {1e3, 0, "%1 KB"}, {1e6, 1, "%1 MB"}, {1e9, 2, "%1 GB"}, {1e12, 2, "%1 TB"}, {1e15, 2, "%1 PB"},
    };
    int index = 0;
    // 999,500 bytes round to 1,000 KB: that is shown as 1 MB.
    while (index + 1 < int(std::size(units)) && bytes >= units[index + 1].scale * 0.9995)
        ++index;
    const double value = double(bytes) / units[index].scale;
    QString number = locale.toString(value, 'f', units[index].decimals);
    if (units[index].decimals > 0) {
        // "1.50 MB" reads as "1.5 MB", "2.00 GB" as "2 GB".
        const QChar point = locale.decimalPoint().at(0);
        while (number.endsWith(QLatin1Char('0')) && number.contains(point))
            number.chop(1);
        if (number.endsWith(point))
            number.chop(1);
    }
    return QCoreApplication::translate("DisplayFormats", units[index].unit).arg(number);
}

QString dateTime(const QDateTime &dateTime)
{
    UDateFormat *format = dateFormatter();
    if (!format)
        return QLocale().toString(dateTime, QLocale::ShortFormat);
    UChar buffer[128];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = udat_format(format, UDate(dateTime.toMSecsSinceEpoch()), buffer, 128, nullptr, &status);
    if (U_FAILURE(status))
        return QLocale().toString(dateTime, QLocale::ShortFormat);
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(buffer), length);
}

} // namespace DisplayFormats
