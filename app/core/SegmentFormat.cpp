#include "app/core/SegmentFormat.h"

#include "app/core/Formats.h"
#include "driver/Box.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <locale.h>
#include <memory>

namespace App
{

namespace
{
// Fixed-point text with a "." whatever LC_NUMERIC says (the toolkit sets the user's locale).
std::string Fixed(double value, int precision)
{
    // DBL_MAX has 309 integer digits.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    return std::string(buffer, result.ptr);
}

struct LocaleDeleter
{
    void operator()(locale_t locale) const { freelocale(locale); }
};
using LocalePtr = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter>;

locale_t CLocale()
{
    static const LocalePtr locale(newlocale(LC_ALL_MASK, "C", locale_t(nullptr)));
    return locale.get();
}
} // namespace

double SegmentValue(const SegmentFormat& format, unsigned stBits, unsigned st, unsigned mt)
{
    double x;
    if (format.split)
    {
        x = format.stFactor * double(st) + format.mtFactor * double(mt);
    }
    else
    {
        const std::uint32_t reading = (std::uint32_t(mt) << (stBits % 32)) + std::uint32_t(st);
        x = format.stFactor * double(reading);
    }
    return x + format.offset;
}

std::string FormatSegmentValue(double value, int decimalPlaces)
{
    if (std::isnan(value))
        return SEGMENT_NOT_A_NUMBER;
    if (!(std::fabs(value) < SEGMENT_LIMIT))
        return std::string(value < 0 ? "-" : "") + SEGMENT_OVERFLOW;
    return Fixed(value, decimalPlaces == 1 || decimalPlaces == 2 ? decimalPlaces : 0);
}

std::string SegmentText(const SegmentFormat& format, unsigned stBits, unsigned st, unsigned mt)
{
    return FormatSegmentValue(SegmentValue(format, stBits, st, mt), format.decimalPlaces);
}

std::string FormatFactor(double value)
{
    return Fixed(value, 3);
}

double ParseDecimal(const std::string& text)
{
    const locale_t locale = CLocale();
    if (locale == locale_t(nullptr))
        return std::strtod(text.c_str(), nullptr);
    return strtod_l(text.c_str(), nullptr, locale);
}

unsigned SampleAngle(unsigned stBits, unsigned st)
{
    if (stBits == 0)
        return 0;
    const std::uint64_t full = Tavik::LowMask(stBits);
    return unsigned((std::uint64_t(st) & full) * 360u / full);
}

std::string FormatTurns(unsigned mt)
{
    return Format("%04u", mt);
}

} // namespace App
