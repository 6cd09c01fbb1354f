#include "app/core/Reconnector.h"

#include "app/core/Formats.h"
#include "app/core/HistorySink.h"

#include <algorithm>

namespace App
{

using Tavik::Box;
using Tavik::SampleParameter;

int BoxSettings::Read(Box& box, BoxSettings& settings)
{
    BoxSettings read;
    SampleParameter p;
    if (int status = box.GetSampleParameter(p); status != Box::OK)
        return status;
    read.mode = p.GetMode();
    read.clockHz = p.GetFrequence();
    read.stBits = std::min(p.GetDataBits(), 12u);
    read.mtBits = p.GetDataBits() - read.stBits;
    for (auto [get, value] : {std::pair{&Box::GetDataMask, &read.dataMask},
                              std::pair{&Box::GetGrayBinaryMask, &read.grayMask},
                              std::pair{&Box::GetSPIData, &read.spiWord}})
        if (int status = (box.*get)(*value); status != Box::OK)
            return status;
    for (int index = 0; index < 3; ++index)
        if (int status = box.GetOutput(index, read.outputs[std::size_t(index)]); status != Box::OK)
            return status;
    if (int status = box.GetPowerMode(read.supply); status != Box::OK)
        return status;
    settings = read;
    return Box::OK;
}

bool MeansBusy(int status, const std::string& statusText)
{
    // libusb's words for LIBUSB_ERROR_ACCESS and LIBUSB_ERROR_BUSY, and the link's for a
    // device held by another handle.
    return status == Box::FAILED &&
           (statusText.find("Access denied") != std::string::npos ||
            statusText.find("insufficient permissions") != std::string::npos ||
            statusText.find("Resource busy") != std::string::npos ||
            statusText.find("FT_DEVICE_NOT_OPENED") != std::string::npos);
}

Reconnector::Reconnector(Box& box, HistorySink& history, FTD2xx::Clock& clock)
    : m_Box(box), m_History(history), m_Clock(clock)
{
}

int Reconnector::IndexOf(const std::string& serial)
{
    unsigned long count = 0;
    if (m_Box.IsOpen() || m_Box.GetConnectedDevices(count) != Box::OK)
        return -1;
    for (unsigned long index = 0; index < count; ++index)
    {
        std::string listed;
        std::string description;
        if (m_Box.GetDeviceInformation(int(index), listed, description) == Box::OK &&
            (serial.empty() || listed == serial))
            return int(index);
    }
    return -1;
}

bool Reconnector::IsListed(const std::string& serial)
{
    return IndexOf(serial) >= 0;
}

bool Reconnector::WaitUntilListed(const std::string& serial, FTD2xx::Clock::Duration wait)
{
    const auto until = m_Clock.Now() + wait;
    for (;;)
    {
        if (IsListed(serial))
            return true;
        const auto now = m_Clock.Now();
        if (now >= until)
            return false;
        m_Clock.SleepUntil(std::min<FTD2xx::Clock::TimePoint>(now + kPollInterval, until));
    }
}

Reconnector::Result Reconnector::Reopen(const std::string& serial, const BoxSettings& settings)
{
    m_LastError.clear();
    m_Attempts = 0;
    for (const auto delay : kRetryDelays)
    {
        m_Clock.SleepFor(delay);
        // Listed afresh each time: the device may have been numbered anew meanwhile.
        const int index = IndexOf(serial);
        if (index < 0)
            return ABSENT;
        ++m_Attempts;
        const int status = m_Box.Open(index);
        if (status == Box::OK)
        {
            m_History.Line("Box " + serial + " is back; restoring its settings.");
            return Restore(settings) ? REOPENED : FAILED;
        }
        m_LastError = m_Box.GetStatusAsString(status);
        if (!MeansBusy(status, m_LastError))
            return FAILED;
    }
    return REFUSED;
}

Reconnector::Result Reconnector::WaitAndReopen(const std::string& serial,
                                               const BoxSettings& settings,
                                               FTD2xx::Clock::Duration wait)
{
    if (!WaitUntilListed(serial, wait))
        return ABSENT;
    return Reopen(serial, settings);
}

bool Reconnector::Check(int status, const std::string& what)
{
    if (status == Box::OK)
        return true;
    m_LastError = "Error while restoring " + what + ".\n" + m_Box.GetStatusAsString(status);
    m_History.Error(m_LastError);
    return false;
}

bool Reconnector::Restore(const BoxSettings& settings)
{
    SampleParameter p;
    if (!Check(m_Box.GetSampleParameter(p), "the sample parameter"))
        return false;
    p.SetMode(settings.mode);
    if (settings.clockHz != 0)
        p.SetFrequence(settings.clockHz);
    p.SetDataBits(settings.stBits + settings.mtBits);
    if (!Check(m_Box.SetSampleParameter(p), "the sample parameter"))
        return false;
    m_History.Line(
        Format("Restored SSI mode %s.", SampleParameter::GetModeAsString(settings.mode)));
    m_History.Line("Restored SSI clock " + FormatFrequency(p.GetFrequence()) + ".");
    m_History.Line(Format("Restored %u ST bits and %u MT bits.", settings.stBits, settings.mtBits));

    const struct
    {
        int (Box::*set)(unsigned);
        unsigned value;
        const char* name;
    } registers[] = {{&Box::SetDataMask, settings.dataMask, "data mask"},
                     {&Box::SetGrayBinaryMask, settings.grayMask, "gray binary mask"},
                     {&Box::SetSPIData, settings.spiWord, "SPI data"}};
    for (const auto& r : registers)
    {
        if (!Check((m_Box.*r.set)(r.value), r.name))
            return false;
        m_History.Line(Format("Restored %s 0x%08X.", r.name, r.value));
    }
    for (int index = 0; index < 3; ++index)
    {
        const Box::OUTPUT_MODE mode = settings.outputs[std::size_t(index)];
        if (!Check(m_Box.SetOutput(index, mode), Format("output %d", index + 1)))
            return false;
        m_History.Line(
            Format("Restored output %d to %s.", index + 1, Box::GetOutputModeAsString(mode)));
    }
    if (settings.supply != Box::PWR_OFF)
    {
        // A box that was only closed, not unplugged, may have kept its supply on.
        Box::POWER_MODE current = Box::PWR_OFF;
        if (!Check(m_Box.GetPowerMode(current), "the power mode"))
            return false;
        if (current != settings.supply &&
            !Check(m_Box.SetPowerMode(settings.supply), "the power mode"))
            return false;
        m_History.Line(
            Format("Restored power mode %s.", Box::GetPowerModeAsString(settings.supply)));
    }
    return true;
}

} // namespace App
