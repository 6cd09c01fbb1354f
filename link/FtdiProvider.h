#pragma once

#include "link/Backend.h"
#include "link/LinkExport.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace FTD2xx
{

// Real FTDI devices through libftdi1. Devices are listed with a fresh library context
// each time and opened by serial number, because libusb's order changes on replugging.
// Devices whose strings cannot be read (no access rights) are listed without a serial
// number and opened by their bus position; that open then fails with libftdi's text.
class FTD2XX_API FtdiProvider : public DeviceProvider
{
public:
    static constexpr int kVendor = 0x0403;
    static constexpr int kProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};

    int Enumerate(std::vector<DeviceInfo>& devices) override;
    int Open(const DeviceInfo& device, std::unique_ptr<DeviceBackend>& backend) override;
    // udev's events (WatchUdev).
    std::unique_ptr<DeviceEvents> Watch(std::string& problem) override;

private:
    struct Listed
    {
        DeviceInfo info;
        int product = 0;
        std::uint8_t bus = 0;
        std::uint8_t address = 0;
    };
    std::mutex m_Mutex;
    std::vector<Listed> m_Listed;
};

} // namespace FTD2xx
