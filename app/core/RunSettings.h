#pragma once

#include <cstddef>
#include <string>

namespace App
{

// Everything a reader of a saved batch needs to interpret its readings, written into the
// CSV header and as HDF5 attributes.
struct RunSettings
{
    std::string serial;
    std::string description;
    std::string mode; // "SSI_Binary" ...
    unsigned clockHz = 0;
    unsigned stBits = 0;
    unsigned mtBits = 0;
    unsigned dataMask = 0;
    unsigned grayMask = 0;
    unsigned spiWord = 0;
    unsigned delayUs = 0;
    std::size_t sampleCount = 0; // asked for; a stopped run holds fewer readings
    std::string start;           // ISO 8601 with its UTC offset
    std::string program;         // name and version

    bool operator==(const RunSettings&) const = default;
};

// Now, local time, as 2026-12-09T05:04:03+01:00.
std::string IsoTimeNow();

} // namespace App
