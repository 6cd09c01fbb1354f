#pragma once

#include "link/DeviceEvents.h"
#include "link/LinkExport.h"

#include <memory>
#include <string>
#include <vector>

namespace FTD2xx
{

// One opened device. Every call returns a link status (see Proxy.h): 0 on success,
// STATUS_READ_TIMEOUT from Read when the deadline passed before `length` bytes came.
// Backends report failures that carry their own text with MakeErrorStatus().
class FTD2XX_API DeviceBackend
{
public:
    virtual ~DeviceBackend() = default; // closes the device

    virtual int SetLatencyTimer(unsigned char milliseconds) = 0;
    virtual int SetUSBParameters(unsigned long inSize, unsigned long outSize) = 0;
    virtual int SetTimeouts(unsigned long readMs, unsigned long writeMs) = 0;
    // rx: bytes waiting in the host receive queue.
    virtual int GetStatus(unsigned long& rx, unsigned long& tx, unsigned long& events) = 0;
    virtual int PurgeInputBuffer() = 0;
    virtual int ResetDevice() = 0;
    virtual int Write(const std::vector<unsigned char>& data, unsigned long& written) = 0;
    // Waits up to the read timeout for `length` bytes. `buffer` is replaced by the bytes
    // received: all of them with status 0, those that did arrive with STATUS_READ_TIMEOUT.
    virtual int Read(std::vector<unsigned char>& buffer, unsigned long length) = 0;
};

struct DeviceInfo
{
    std::string serial;
    std::string description;
};

// A source of devices: the libftdi1 backend, the box simulator, or a test fake.
class FTD2XX_API DeviceProvider
{
public:
    virtual ~DeviceProvider() = default;

    // Refreshes and returns the provider's current device list.
    virtual int Enumerate(std::vector<DeviceInfo>& devices) = 0;
    // Opens the device with this serial number (as listed by the last Enumerate).
    virtual int Open(const DeviceInfo& device, std::unique_ptr<DeviceBackend>& backend) = 0;
    // Events that say this provider's devices came or went. Null when it has none to tell;
    // `problem` then says why, when the provider should have had them.
    virtual std::unique_ptr<DeviceEvents> Watch(std::string& /*problem*/) { return nullptr; }
};

} // namespace FTD2xx
