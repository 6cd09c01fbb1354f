#include "link/DeviceEvents.h"

#include "link/FtdiProvider.h"

#include <libudev.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace FTD2xx
{

namespace
{
struct UdevDeleter
{
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <class T> using UdevPtr = std::unique_ptr<T, UdevDeleter>;

// "403/6001/600": the kernel's PRODUCT key, vendor in hexadecimal without leading zeros. It
// comes with remove events too, when the device's attributes are gone.
bool IsFtdi(udev_device* device)
{
    if (const char* product = udev_device_get_property_value(device, "PRODUCT"))
        return std::strtol(product, nullptr, 16) == FtdiProvider::kVendor;
    const char* vendor = udev_device_get_property_value(device, "ID_VENDOR_ID");
    return vendor && std::strtol(vendor, nullptr, 16) == FtdiProvider::kVendor;
}

class UdevEvents : public DeviceEvents
{
public:
    UdevEvents(UdevPtr<udev> context, UdevPtr<udev_monitor> monitor)
        : m_Udev(std::move(context)), m_Monitor(std::move(monitor))
    {
    }
    int Descriptor() const override { return udev_monitor_get_fd(m_Monitor.get()); }
    bool Drain() override
    {
        // The monitor's socket does not block: this ends when no event waits.
        bool ours = false;
        while (UdevPtr<udev_device> device{udev_monitor_receive_device(m_Monitor.get())})
            ours = ours || IsFtdi(device.get());
        return ours;
    }

private:
    UdevPtr<udev> m_Udev;
    UdevPtr<udev_monitor> m_Monitor;
};
} // namespace

std::unique_ptr<DeviceEvents> WatchUdev(std::string& problem)
{
    // Without udevd no event ever comes, and libudev would not say so.
    if (::access("/run/udev/control", F_OK) != 0)
    {
        problem = "udev is not running here";
        return nullptr;
    }
    UdevPtr<udev> context{udev_new()};
    if (!context)
    {
        problem = "udev could not be opened";
        return nullptr;
    }
    // udev's events, not the kernel's: they come once udev has set the device's permissions.
    UdevPtr<udev_monitor> monitor{udev_monitor_new_from_netlink(context.get(), "udev")};
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0)
    {
        problem = "udev's device events cannot be received here";
        return nullptr;
    }
    return std::make_unique<UdevEvents>(std::move(context), std::move(monitor));
}

} // namespace FTD2xx
