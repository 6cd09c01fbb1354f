#pragma once

#include "driver/DriverExport.h"

#include <string>
#include <vector>

namespace Tavik
{

// How the box clocks an encoder: serial mode, clock frequency, clocks per reading, delay
// between readings and readings per sampling command. Every quantity is stored in the
// box's own units (factors); the Set/Get pairs convert from and to user units. Setters
// store without checking; Validate() says whether the set may be sent to the box.
//
// The box exchanges the set as an 8-byte block (commands 0x40 and 0x41), multi-byte
// fields little-endian:
//   byte 0    frequency factor        byte 4..6  sample count
//   byte 1    data bits (clocks - 1)  byte 7     mode byte (see SERIAL_MODE)
//   byte 2..3 delay factor
class TAVIK_DRIVER_API SampleParameter
{
public:
    // Wire bytes: SSI_Binary 0x24, SSI_Gray 0xA4, SPI_Binary 0x44, SPI_Gray 0xC4.
    // A block with any other mode byte imports as 0xFFFF, which Validate rejects.
    enum SERIAL_MODE : unsigned int
    {
        SSI_Binary = 0,
        SSI_Gray = 1,
        SPI_Binary = 2,
        SPI_Gray = 3,
    };

    // The default set: SSI_Binary, 1 sample, 50 us delay, 25 data bits, 2 MHz.
    SampleParameter();
    SampleParameter(const SampleParameter& other);
    SampleParameter& operator=(const SampleParameter& other);
    ~SampleParameter();

    void SetDefault();

    // Clock frequency in Hz. Stored as factor 127 + 8,000,000 / hz (0 Hz counts as 1 Hz),
    // unclamped: frequencies above 8 MHz or below 62,500 Hz fail Validate. Reading back
    // gives the selectable frequency the factor stands for (8,000,000 for factors < 128),
    // e.g. 3 MHz reads back as 4,000,000.
    void SetFrequence(unsigned int hz);
    unsigned int GetFrequence() const;
    // The smallest selectable frequency (8,000,000 / n for n = 1..128) above `hz`;
    // 8,000,000 for 8,000,000 and more. Iterating from 0 until the value stops growing
    // yields all 128 selectable frequencies in ascending order.
    static unsigned int GetNextFrequence(unsigned int hz);

    // Clock pulses per reading = data bits + 1. SetClocks(0) stores 1.
    void SetClocks(unsigned int clocks);
    unsigned int GetClocks() const;
    void SetDataBits(unsigned int bits);
    unsigned int GetDataBits() const;

    // Delay between readings in microseconds, stored as 16 * us - 1 (so 0 wraps around
    // and fails Validate); read back rounded down.
    void SetDelay(unsigned int microseconds);
    unsigned int GetDelay() const;

    // Readings per sampling command; valid range 1 to 16,777,215.
    void SetSampleCount(unsigned int count);
    unsigned int GetSampleCount() const;

    void SetMode(SERIAL_MODE mode);
    SERIAL_MODE GetMode() const;
    // "SSI_Binary", "SSI_Gray", "SPI_Binary", "SPI_Gray". Any other value is a failed
    // assertion; if the handler returns, the result is "unknown".
    static const char* GetModeAsString(SERIAL_MODE mode);

    // True if the set may be sent to the box. On false, `message` tells the first field
    // out of range. On true, `message` is empty, or holds a warning that the set is still
    // valid ("Clock frequency is above SSI specification. Maximum is 2 MHz." for an SSI
    // mode above 2 MHz).
    bool Validate(std::string& message) const;

    // Resizes `block` to 8 bytes and writes the wire block. A mode outside SERIAL_MODE is a
    // failed assertion; if the handler returns, byte 7 keeps its previous value.
    void Export(std::vector<unsigned char>& block) const;
    // Reads the wire block. A block whose size is not 8 is a failed assertion; if the
    // handler returns, a longer block is decoded from its first 8 bytes, and of a shorter
    // one only the fields whose bytes are all present are decoded; the others keep their
    // values.
    void Import(const std::vector<unsigned char>& block);

protected:
    static unsigned int FrequenceToFactor(unsigned int hz);
    static unsigned int FactorToFrequence(unsigned int factor);
    static unsigned int DelayToFactor(unsigned int microseconds);
    static unsigned int FactorToDelay(unsigned int factor);

private:
    unsigned int m_Mode;
    unsigned int m_SampleCount;
    unsigned int m_DelayFactor;
    unsigned int m_Clocks;
    unsigned int m_FrequenceFactor;
};

} // namespace Tavik
