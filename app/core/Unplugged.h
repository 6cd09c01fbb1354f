#pragma once

#include "driver/Box.h"

#include <string>

namespace App
{

// Whether a failed box call says the box is no longer attached: libusb's words (real boxes
// and the simulator) and the link's own for a device that is no longer listed. A timeout is
// not among them.
inline bool MeansUnplugged(int status, const std::string& statusText)
{
    return status == Tavik::Box::DEVICE_NOT_OPENED ||
           (status == Tavik::Box::FAILED &&
            (statusText.find("No such device") != std::string::npos ||
             statusText.find("FT_DEVICE_NOT_FOUND") != std::string::npos));
}

} // namespace App
