#pragma once

#include <string>

namespace App
{

// printf into a std::string of whatever length the text needs.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Register values as the dialogs show them: eight upper-case hexadecimal digits.
std::string FormatHex8(unsigned value);

// Reads the hexadecimal digits of `text` in order, skipping every other character; an
// empty or digit-free text gives 0.
unsigned ParseHex(const std::string& text);

// A clock frequency as the clock list shows it: "8 MHz", "500 kHz", "2666666 Hz".
std::string FormatFrequency(unsigned hz);

// A count as people read it: "16,777,214".
std::string FormatCount(unsigned long long n);

// A time left or taken, coarse enough to read at a glance: "0.4 s", "49 s", "3 min 05 s",
// "2 h 07 min".
std::string FormatSeconds(double seconds);

} // namespace App
