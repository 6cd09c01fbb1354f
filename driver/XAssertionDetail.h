#pragma once

// Internal to TavikDriver: how the driver's own sources report.

#include "driver/XAssertion.h"

#include <cstdio>
#include <string>

namespace Tavik::detail
{

// Every report of the driver's box and parameter code names this source.
inline constexpr const char kBoxSource[] = "Box";

// "<prefix> 0x<value> <suffix>".
inline std::string ValueText(const char* prefix, unsigned int value, const char* suffix)
{
    char text[256];
    std::snprintf(text, sizeof text, "%s 0x%x %s", prefix, value, suffix);
    return text;
}

// Reports expression "false" with the information ValueText(prefix, value, suffix).
inline void ReportValue(const char* prefix, unsigned int value, const char* suffix, int line)
{
    XAssertionFailed("false", ValueText(prefix, value, suffix).c_str(), kBoxSource, line);
}

} // namespace Tavik::detail
