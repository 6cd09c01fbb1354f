#include "driver/SampleParameter.h"

#include "driver/XAssertionDetail.h"
#include "link/Proxy.h"

#include <algorithm>

namespace Tavik
{

namespace
{

constexpr unsigned int kBaseClock = 8000000;
constexpr unsigned int kMinFactor = 128;
constexpr unsigned int kMaxFactor = 255;
constexpr unsigned int kMaxSampleCount = 16777215;
constexpr unsigned int kMaxClocks = 64;
constexpr unsigned int kMinDelayFactor = 159;
constexpr unsigned int kMaxDelayFactor = 65535;
constexpr unsigned int kSsiMaxFrequence = 2000000;
constexpr unsigned int kInvalidMode = 0xFFFF;
constexpr std::size_t kBlockSize = 8;

constexpr unsigned char kModeBytes[] = {0x24, 0xA4, 0x44, 0xC4};
constexpr const char* kModeNames[] = {"SSI_Binary", "SSI_Gray", "SPI_Binary", "SPI_Gray"};

} // namespace

SampleParameter::SampleParameter()
{
    SetDefault();
}

SampleParameter::SampleParameter(const SampleParameter& other) = default;

SampleParameter& SampleParameter::operator=(const SampleParameter& other)
{
    if (this != &other)
    {
        m_Mode = other.m_Mode;
        m_SampleCount = other.m_SampleCount;
        m_DelayFactor = other.m_DelayFactor;
        m_Clocks = other.m_Clocks;
        m_FrequenceFactor = other.m_FrequenceFactor;
    }
    return *this;
}

SampleParameter::~SampleParameter() = default;

void SampleParameter::SetDefault()
{
    m_Mode = SSI_Binary;
    m_SampleCount = 1;
    m_DelayFactor = DelayToFactor(50);
    m_Clocks = 26;
    m_FrequenceFactor = FrequenceToFactor(2000000);
}

void SampleParameter::SetFrequence(unsigned int hz)
{
    m_FrequenceFactor = FrequenceToFactor(hz);
}

unsigned int SampleParameter::GetFrequence() const
{
    return FactorToFrequence(m_FrequenceFactor);
}

unsigned int SampleParameter::FrequenceToFactor(unsigned int hz)
{
    // Integer division of integers below 2^32 truncates exactly as the extended-precision
    // quotient does.
    return 127 + kBaseClock / std::max(hz, 1u);
}

unsigned int SampleParameter::FactorToFrequence(unsigned int factor)
{
    // Equals 16,000,000 / (2 * factor - 254) without its overflow for huge factors.
    if (factor < kMinFactor)
        return kBaseClock;
    return kBaseClock / (factor - 127);
}

unsigned int SampleParameter::GetNextFrequence(unsigned int hz)
{
    const unsigned int c = std::clamp(FrequenceToFactor(hz), kMinFactor, kMaxFactor);
    const unsigned int r = FactorToFrequence(c);
    if (r > hz || c == kMinFactor)
        return r;
    return FactorToFrequence(c - 1);
}

void SampleParameter::SetClocks(unsigned int clocks)
{
    m_Clocks = std::max(clocks, 1u);
}

unsigned int SampleParameter::GetClocks() const
{
    return m_Clocks;
}

void SampleParameter::SetDataBits(unsigned int bits)
{
    m_Clocks = bits + 1;
}

unsigned int SampleParameter::GetDataBits() const
{
    return m_Clocks - 1;
}

unsigned int SampleParameter::DelayToFactor(unsigned int microseconds)
{
    return 16u * microseconds - 1u;
}

unsigned int SampleParameter::FactorToDelay(unsigned int factor)
{
    return (factor + 1u) / 16u;
}

void SampleParameter::SetDelay(unsigned int microseconds)
{
    m_DelayFactor = DelayToFactor(microseconds);
}

unsigned int SampleParameter::GetDelay() const
{
    return FactorToDelay(m_DelayFactor);
}

void SampleParameter::SetSampleCount(unsigned int count)
{
    m_SampleCount = count;
}

unsigned int SampleParameter::GetSampleCount() const
{
    return m_SampleCount;
}

void SampleParameter::SetMode(SERIAL_MODE mode)
{
    m_Mode = mode;
}

SampleParameter::SERIAL_MODE SampleParameter::GetMode() const
{
    return static_cast<SERIAL_MODE>(m_Mode);
}

const char* SampleParameter::GetModeAsString(SERIAL_MODE mode)
{
    if (mode <= SPI_Gray)
        return kModeNames[mode];
    detail::ReportValue("Invalid enum SERIAL_MODE (", mode, ").", __LINE__);
    return "unknown";
}

bool SampleParameter::Validate(std::string& message) const
{
    if (m_SampleCount < 1 || m_SampleCount > kMaxSampleCount)
    {
        message = "Number of samples is out of range. Must be within [1,...,16777215].";
        return false;
    }
    if (m_FrequenceFactor < kMinFactor || m_FrequenceFactor > kMaxFactor)
    {
        message = "SSI-Frequence is out of range. It must be within [" +
                  std::to_string(FactorToFrequence(kMaxFactor)) + ", ..., " +
                  std::to_string(FactorToFrequence(kMinFactor)) + "] Hz.";
        return false;
    }
    if (m_Clocks < 1 || m_Clocks > kMaxClocks)
    {
        message = "Number of SSI clocks is out of range. Must be within [1,...,64].";
        return false;
    }
    if (m_DelayFactor < kMinDelayFactor || m_DelayFactor > kMaxDelayFactor)
    {
        message = "Delay is out of range. It must be within [" +
                  std::to_string(FactorToDelay(kMinDelayFactor)) + ", ..., " +
                  std::to_string(FactorToDelay(kMaxDelayFactor)) + "].";
        return false;
    }
    if (m_Mode > SPI_Gray)
    {
        message = "Invalid serial mode. Must be one of [0x24,0xA4,0x44,0xC4].";
        return false;
    }
    if ((m_Mode == SSI_Binary || m_Mode == SSI_Gray) && GetFrequence() > kSsiMaxFrequence)
    {
        message = "Clock frequency is above SSI specification. Maximum is 2 MHz.";
        return true;
    }
    message.clear();
    return true;
}

void SampleParameter::Export(std::vector<unsigned char>& block) const
{
    block.resize(kBlockSize);
    FTD2xx::UnsignedIntToByte(m_FrequenceFactor, 1, &block[0]);
    FTD2xx::UnsignedIntToByte(m_Clocks - 1, 1, &block[1]);
    FTD2xx::UnsignedIntToByte(m_DelayFactor, 2, &block[2]);
    FTD2xx::UnsignedIntToByte(m_SampleCount, 3, &block[4]);
    if (m_Mode <= SPI_Gray)
        block[7] = kModeBytes[m_Mode];
    else
        detail::ReportValue("Invalid enum (", m_Mode, ") while converting data.", __LINE__);
}

void SampleParameter::Import(const std::vector<unsigned char>& block)
{
    if (block.size() != kBlockSize)
        XAssertionFailed("data.size() == 8", "Invalid array length.", detail::kBoxSource, __LINE__);
    // A short block (the report's handler returned) only sets the fields it holds whole.
    const std::size_t size = block.size();
    if (size >= 1)
        m_FrequenceFactor = FTD2xx::BytesToUnsignedInt(&block[0], 1);
    if (size >= 2)
        m_Clocks = FTD2xx::BytesToUnsignedInt(&block[1], 1) + 1;
    if (size >= 4)
        m_DelayFactor = FTD2xx::BytesToUnsignedInt(&block[2], 2);
    if (size >= 7)
        m_SampleCount = FTD2xx::BytesToUnsignedInt(&block[4], 3);
    if (size >= 8)
    {
        const auto* mode = std::find(std::begin(kModeBytes), std::end(kModeBytes), block[7]);
        m_Mode = mode == std::end(kModeBytes)
                     ? kInvalidMode
                     : static_cast<unsigned int>(mode - std::begin(kModeBytes));
    }
}

} // namespace Tavik
