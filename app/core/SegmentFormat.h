#pragma once

#include <string>

namespace App
{

// How one segment display of the digital visualisation turns a sample into a number:
// split, x = ST factor * ST + MT factor * MT; not split, x = ST factor * the whole MT/ST
// reading (the ST factor is then the MT/ST factor). The display shows x + offset with 0, 1
// or 2 decimal places.
struct SegmentFormat
{
    double mtFactor = 1.0;
    double stFactor = 1.0;
    double offset = 0.0;
    int decimalPlaces = 0; // 1 and 2 are decimal places; any other value shows none
    bool split = true;

    bool operator==(const SegmentFormat&) const = default;
};

// Largest magnitude a display shows as a number. Beyond it, and for infinity, the display
// reads SEGMENT_OVERFLOW (with a leading "-" for negative values); a result that is not a
// number reads SEGMENT_NOT_A_NUMBER. Factors such as "1e999" or "inf" are accepted by the
// format dialog, and a "%.0f" of 1e300 alone would be 301 digits.
constexpr double SEGMENT_LIMIT = 1e15;
constexpr const char* SEGMENT_OVERFLOW = "OVERFLOW";
constexpr const char* SEGMENT_NOT_A_NUMBER = "ERROR";

// The number a format gives for a sample (ST bits, ST value, MT value); not bounded.
double SegmentValue(const SegmentFormat& format, unsigned stBits, unsigned st, unsigned mt);

// The display text of a value: "%.0f", "%.1f" or "%.2f" by decimal places, with a "."
// whatever the process locale, or one of the bounded texts above.
std::string FormatSegmentValue(double value, int decimalPlaces);

// The display text of a sample.
std::string SegmentText(const SegmentFormat& format, unsigned stBits, unsigned st, unsigned mt);

// A factor or offset as the format dialog shows it ("%.3f", "." as decimal point).
std::string FormatFactor(double value);

// The C run time's decimal conversion in the "C" locale: leading blanks skipped, the
// leading number taken ("1e999" gives infinity, "inf" and "nan" are numbers), no number
// gives 0.0.
double ParseDecimal(const std::string& text);

// Angle in whole degrees (0 to 360) of a singleturn value of stBits bits (32 or more: all
// bits): st * 360 / (2^stBits - 1), truncated, computed without overflow. ST bits 0 gives 0;
// bits of st above the width are ignored.
unsigned SampleAngle(unsigned stBits, unsigned st);

// The turn count as the angle dialog shows it: "%04u".
std::string FormatTurns(unsigned mt);

} // namespace App
