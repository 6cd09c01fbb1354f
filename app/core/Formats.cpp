#include "app/core/Formats.h"

#include <cstdio>

std::string FormatHex8(unsigned value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", value);
    return buffer;
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
