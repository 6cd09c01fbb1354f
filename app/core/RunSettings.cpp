#include "app/core/RunSettings.h"

#include <cstdio>
#include <ctime>

namespace App
{

std::string IsoTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[32];
    char zone[16];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::size_t n = std::strftime(zone, sizeof zone, "%z", &local);
    // %z gives +0100; ISO 8601's extended form wants +01:00.
    char text[64];
    if (n == 5)
        std::snprintf(text, sizeof text, "%s%.3s:%s", date, zone, zone + 3);
    else
        std::snprintf(text, sizeof text, "%s%s", date, zone);
    return text;
}

} // namespace App
