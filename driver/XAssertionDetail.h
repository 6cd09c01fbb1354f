#pragma once

// Internal to TavikDriver: how the driver's own sources report.

#include "driver/XAssertion.h"

#include <cstdio>

namespace Tavik::detail
{

// Every report of the driver's box and parameter code names this source.
inline constexpr const char kBoxSource[] = "Box";

// Reports expression "false" with the information "<prefix> 0x<value> <suffix>".
inline void ReportValue(const char* prefix, unsigned int value, const char* suffix, int line)
{
    char info[256];
    std::snprintf(info, sizeof info, "%s 0x%x %s", prefix, value, suffix);
    XAssertionFailed("false", info, kBoxSource, line);
}

} // namespace Tavik::detail
