#pragma once

#include "link/Backend.h"
#include "link/LinkExport.h"
#include "link/SimulatorConfig.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace FTD2xx
{

// Link status codes. Backends add codes of their own, with their own texts, through
// MakeErrorStatus().
enum LinkStatus : int
{
    STATUS_OK = 0,
    STATUS_INVALID_HANDLE = 1,
    STATUS_DEVICE_NOT_FOUND = 2,
    STATUS_DEVICE_NOT_OPENED = 3,
    STATUS_IO_ERROR = 4,
    STATUS_INSUFFICIENT_RESOURCES = 5,
    STATUS_INVALID_PARAMETER = 6,
    STATUS_OTHER_ERROR = 18,
    STATUS_READ_TIMEOUT = 20, // a Read ended by its timeout
};

// One USB link to one device. Closed after construction; used from one thread at a time.
//
// Devices are numbered as the last GetConnectedDevices listed them: real FTDI devices
// first, then simulated boxes.
class FTD2XX_API Proxy
{
public:
    enum Info
    {
        INFO_DESCRIPTION = 0,
        INFO_SERIAL_NUMBER = 1,
    };

    Proxy();
    virtual ~Proxy();
    Proxy(const Proxy&) = delete;
    Proxy& operator=(const Proxy&) = delete;

    // Lists the attached devices afresh; count is their number.
    static int GetConnectedDevices(unsigned long& count);
    // Serial number or description of device `index` of the last listing (lists first if
    // nothing was listed yet). STATUS_DEVICE_NOT_FOUND for an index outside the list.
    static int GetDeviceInformation(unsigned long index, Info kind, std::string& text);
    // Readable text of any status, including those made by MakeErrorStatus.
    static std::string GetStatusAsString(int status);

    int Open(int index);
    bool IsOpen() const;
    int Close();

    int SetLatencyTimer(unsigned char milliseconds);
    int SetUSBParameters(unsigned long inSize, unsigned long outSize);
    int SetTimeouts(unsigned long readMs, unsigned long writeMs);
    int GetStatus(unsigned long& rx, unsigned long& tx, unsigned long& events);
    int PurgeInputBuffer();
    int ResetDevice();
    int Write(const std::vector<unsigned char>& data, unsigned long& written);
    // `buffer` is replaced by the bytes received: all `length` on 0, those that did
    // arrive on STATUS_READ_TIMEOUT.
    int Read(std::vector<unsigned char>& buffer, unsigned long length);

    // Where devices come from. The default list is the libftdi1 backend followed by the
    // simulated boxes of `simulator`, made at the next listing and kept until this is called
    // again; the programs make it at start (SimulatorConfig::ForProgram). Tests install
    // their own.
    static void SetProviders(std::vector<std::shared_ptr<DeviceProvider>> providers);
    // The hot-plug events of every provider that has them (see DeviceEvents); `problems`
    // gets why a provider that should have them has none ("udev is not running here").
    static std::vector<std::unique_ptr<DeviceEvents>>
    WatchDevices(std::vector<std::string>& problems);
    static void UseDefaultProviders(std::optional<SimulatorConfig> simulator = std::nullopt);

private:
    std::unique_ptr<DeviceBackend> m_Device;
};

// A fresh status code whose text is `text`; the last 256 such texts are kept.
FTD2XX_API int MakeErrorStatus(const std::string& text);

// Multi-byte fields on the link are little-endian: the lowest byte goes first.
// count is 1 to 4; other counts are clamped to that range.
FTD2XX_API void UnsignedIntToByte(unsigned int value, int count, unsigned char* dest);
FTD2XX_API unsigned int BytesToUnsignedInt(const unsigned char* src, int count);
// `out` is replaced by the first n 4-byte groups of `bytes` (fewer if `bytes` is shorter).
FTD2XX_API void CopyBytesToUnsignedInt(unsigned int n, const std::vector<unsigned char>& bytes,
                                       std::vector<unsigned int>& out);

} // namespace FTD2xx
