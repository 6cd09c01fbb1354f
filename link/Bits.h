#pragma once

namespace FTD2xx
{

// The low `bits` bits set; 32 or more gives all bits. The width of a reading's part, of a
// mask derived from bit counts, or of the box's data word.
constexpr unsigned LowMask(unsigned bits)
{
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
}

} // namespace FTD2xx
