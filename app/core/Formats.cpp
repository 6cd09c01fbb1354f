#include "app/core/Formats.h"

#include <cstdarg>
#include <cstdio>

namespace App
{

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(n > 0 ? std::size_t(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

std::string FormatHex8(unsigned value)
{
    return Format("%08X", value);
}

unsigned ParseHex(const std::string& text)
{
    unsigned value = 0;
    for (const char c : text)
    {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = unsigned(c - 'A' + 10);
        else
            continue;
        value = (value << 4) | digit;
    }
    return value;
}

std::string FormatFrequency(unsigned hz)
{
    std::string number = std::to_string(hz);
    const auto endsIn000 = [&number]
    { return number.size() >= 3 && number.compare(number.size() - 3, 3, "000") == 0; };
    const char* unit = "Hz";
    if (endsIn000())
    {
        number.resize(number.size() - 3);
        unit = "kHz";
        if (endsIn000())
        {
            number.resize(number.size() - 3);
            unit = "MHz";
        }
    }
    return number + " " + unit;
}

std::string FormatCount(unsigned long long n)
{
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return digits;
}

std::string FormatSeconds(double seconds)
{
    if (!(seconds >= 0)) // NaN too
        return "?";
    if (seconds < 10)
        return Format("%.1f s", seconds);
    const auto whole = static_cast<unsigned long long>(seconds + 0.5);
    if (whole < 60)
        return Format("%llu s", whole);
    if (whole < 3600)
        return Format("%llu min %02llu s", whole / 60, whole % 60);
    return Format("%llu h %02llu min", whole / 3600, whole / 60 % 60);
}

} // namespace App
