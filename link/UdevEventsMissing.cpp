#include "link/DeviceEvents.h"

namespace FTD2xx
{

// The build without libudev.
std::unique_ptr<DeviceEvents> WatchUdev(std::string& problem)
{
    problem = "this build has no udev support (libudev-dev was missing)";
    return nullptr;
}

} // namespace FTD2xx
