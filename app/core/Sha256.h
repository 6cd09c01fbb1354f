#pragma once

#include <string>
#include <string_view>

namespace App
{

// SHA-256 of `bytes` as 64 lower-case hex digits (FIPS 180-4): a test plan's fingerprint in
// its records, so that a record names exactly the plan it ran.
std::string Sha256Hex(std::string_view bytes);

} // namespace App
