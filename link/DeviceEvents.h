#pragma once

#include "link/LinkExport.h"

#include <memory>
#include <string>

namespace FTD2xx
{

// Says that devices came or went, so that the owner lists them afresh; it names no device,
// as an event can come early (before the device's permissions are set) or twice. The owner
// watches Descriptor() on its event loop and calls Drain() when it turns readable; a source
// without a descriptor is drained every kPollMs instead.
class FTD2XX_API DeviceEvents
{
public:
    static constexpr int kPollMs = 100;

    virtual ~DeviceEvents() = default;
    // Readable while events wait; -1 for a source the owner drains on a timer.
    virtual int Descriptor() const = 0;
    // Takes the waiting events; true when any of them concerns a device of this source.
    virtual bool Drain() = 0;
};

// udev's events for FTDI's USB devices (vendor 0403), after udev has set them up. Null where
// there is no udev to ask (a container, a chroot, a build without libudev), and `problem`
// then says so in one sentence.
FTD2XX_API std::unique_ptr<DeviceEvents> WatchUdev(std::string& problem);

} // namespace FTD2xx
